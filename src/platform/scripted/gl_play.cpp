#include "platform/scripted/gl_play.h"

#include <dlfcn.h>

#include <cstdio>

namespace {

template <typename F>
bool find(void* lib, const char* name, F& fn, char* why, size_t whySize)
{
    fn = reinterpret_cast<F>(dlsym(lib, name));
    if (!fn) snprintf(why, whySize, "no %s", name);
    return fn != nullptr;
}

} // namespace

bool loadDesktopGl(DesktopGl& g, char* why, size_t whySize)
{
    // Local: the recording GL's definitions of the same names stay apart.
    void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
    void* glu = gl ? dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!gl || !glu) {
        snprintf(why, whySize, "%s", dlerror());
        return false;
    }
    return find(gl, "glBegin", g.Begin, why, whySize) && find(gl, "glEnd", g.End, why, whySize) &&
           find(gl, "glVertex3f", g.Vertex3f, why, whySize) &&
           find(gl, "glColor3f", g.Color3f, why, whySize) &&
           find(gl, "glColor4f", g.Color4f, why, whySize) &&
           find(gl, "glClear", g.Clear, why, whySize) &&
           find(gl, "glClearColor", g.ClearColor, why, whySize) &&
           find(gl, "glLoadIdentity", g.LoadIdentity, why, whySize) &&
           find(gl, "glPushMatrix", g.PushMatrix, why, whySize) &&
           find(gl, "glPopMatrix", g.PopMatrix, why, whySize) &&
           find(gl, "glEnable", g.Enable, why, whySize) &&
           find(gl, "glDisable", g.Disable, why, whySize) &&
           find(gl, "glBlendFunc", g.BlendFunc, why, whySize) &&
           find(gl, "glMatrixMode", g.MatrixMode, why, whySize) &&
           find(glu, "gluLookAt", g.LookAt, why, whySize) &&
           find(glu, "gluPerspective", g.Perspective, why, whySize) &&
           find(gl, "glFinish", g.Finish, why, whySize) &&
           find(gl, "glFlush", g.Flush, why, whySize) &&
           find(gl, "glViewport", g.Viewport, why, whySize) &&
           find(gl, "glReadPixels", g.ReadPixels, why, whySize) &&
           find(gl, "glPixelStorei", g.PixelStorei, why, whySize) &&
           find(gl, "glReadBuffer", g.ReadBuffer, why, whySize);
}

namespace {

// One recorded call.
inline void playCall(const DesktopGl& g, const GlCall& c)
{
    const double* a = c.args;
    switch (c.op) {
    case GLREC_BEGIN: g.Begin((GLenum)a[0]); break;
    case GLREC_END: g.End(); break;
    case GLREC_VERTEX3F: g.Vertex3f((float)a[0], (float)a[1], (float)a[2]); break;
    case GLREC_COLOR3F: g.Color3f((float)a[0], (float)a[1], (float)a[2]); break;
    case GLREC_COLOR4F: g.Color4f((float)a[0], (float)a[1], (float)a[2], (float)a[3]); break;
    case GLREC_CLEAR: g.Clear((GLbitfield)a[0]); break;
    case GLREC_CLEARCOLOR: g.ClearColor((float)a[0], (float)a[1], (float)a[2], (float)a[3]); break;
    case GLREC_LOADIDENTITY: g.LoadIdentity(); break;
    case GLREC_PUSHMATRIX: g.PushMatrix(); break;
    case GLREC_POPMATRIX: g.PopMatrix(); break;
    case GLREC_ENABLE: g.Enable((GLenum)a[0]); break;
    case GLREC_DISABLE: g.Disable((GLenum)a[0]); break;
    case GLREC_BLENDFUNC: g.BlendFunc((GLenum)a[0], (GLenum)a[1]); break;
    case GLREC_MATRIXMODE: g.MatrixMode((GLenum)a[0]); break;
    case GLREC_LOOKAT: g.LookAt(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]); break;
    case GLREC_PERSPECTIVE: g.Perspective(a[0], a[1], a[2], a[3]); break;
    case GLREC_SWAP:
    case GLREC_OP_COUNT: break;
    }
}

} // namespace

void playRecordedGl(const DesktopGl& g, size_t first, size_t last)
{
    for (size_t i = first; i < last; i++) playCall(g, glrecCall(i));
}

void playRecordedGlState(const DesktopGl& g, size_t first, size_t last)
{
    // Most calls draw: a look at their ops alone passes over them. Of the
    // colours only the last one outlives the calls.
    const GlOp* ops = glrecOps();
    size_t lastColour = last;
    for (size_t i = first; i < last; i++) {
        switch (ops[i]) {
        case GLREC_BEGIN:
        case GLREC_END:
        case GLREC_VERTEX3F:
        case GLREC_CLEAR:
        case GLREC_SWAP:
        case GLREC_OP_COUNT: break;
        case GLREC_COLOR3F:
        case GLREC_COLOR4F: lastColour = i; break;
        default: playCall(g, glrecCall(i));
        }
    }
    if (lastColour < last) playCall(g, glrecCall(lastColour));
}

void readDesktopPixels(const DesktopGl& g, int width, int height, GLenum format,
                       unsigned char* pixels)
{
    g.Finish();
    g.PixelStorei(GL_PACK_ALIGNMENT, 1);
    g.ReadPixels(0, 0, width, height, format, GL_UNSIGNED_BYTE, pixels);
}

