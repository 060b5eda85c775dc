// hillcar-gl-snapshot SCRIPT OUT.ppm: runs a replay script, then draws its last
// frame with the desktop's GL (libGL and libGLU, e.g. Mesa on Xvfb) into an
// 800x600 window and writes the picture as a binary PPM. The page draws the
// same frame through its translator; the web tests compare the two pictures.
// The frame is drawn after the start-up projection and twice, so that its
// clear takes the sky colour it chose itself, exactly as the page does.
#include "platform/scripted/gl_record.h"
#include "render/scene.h"
#include "replay/run.h"

#include <GL/gl.h>
#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>
#include <vector>

namespace {

struct RealGl {
    void (*Begin)(GLenum);
    void (*End)();
    void (*Vertex3f)(GLfloat, GLfloat, GLfloat);
    void (*Color3f)(GLfloat, GLfloat, GLfloat);
    void (*Color4f)(GLfloat, GLfloat, GLfloat, GLfloat);
    void (*Clear)(GLbitfield);
    void (*ClearColor)(GLclampf, GLclampf, GLclampf, GLclampf);
    void (*LoadIdentity)();
    void (*PushMatrix)();
    void (*PopMatrix)();
    void (*Enable)(GLenum);
    void (*Disable)(GLenum);
    void (*BlendFunc)(GLenum, GLenum);
    void (*MatrixMode)(GLenum);
    void (*LookAt)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble,
                   GLdouble, GLdouble);
    void (*Perspective)(GLdouble, GLdouble, GLdouble, GLdouble);
    void (*Finish)();
    void (*Viewport)(GLint, GLint, GLsizei, GLsizei);
    void (*ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
    void (*PixelStorei)(GLenum, GLint);
    void (*ReadBuffer)(GLenum);
};

template <typename F>
bool find(void* lib, const char* name, F& fn)
{
    fn = reinterpret_cast<F>(dlsym(lib, name));
    if (!fn) fprintf(stderr, "hillcar-gl-snapshot: no %s\n", name);
    return fn != nullptr;
}

bool loadGl(RealGl& g)
{
    // Local: the recording GL's definitions of the same names stay apart.
    void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
    void* glu = dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!gl || !glu) {
        fprintf(stderr, "hillcar-gl-snapshot: %s\n", dlerror());
        return false;
    }
    return find(gl, "glBegin", g.Begin) && find(gl, "glEnd", g.End) &&
           find(gl, "glVertex3f", g.Vertex3f) && find(gl, "glColor3f", g.Color3f) &&
           find(gl, "glColor4f", g.Color4f) && find(gl, "glClear", g.Clear) &&
           find(gl, "glClearColor", g.ClearColor) && find(gl, "glLoadIdentity", g.LoadIdentity) &&
           find(gl, "glPushMatrix", g.PushMatrix) && find(gl, "glPopMatrix", g.PopMatrix) &&
           find(gl, "glEnable", g.Enable) && find(gl, "glDisable", g.Disable) &&
           find(gl, "glBlendFunc", g.BlendFunc) && find(gl, "glMatrixMode", g.MatrixMode) &&
           find(glu, "gluLookAt", g.LookAt) && find(glu, "gluPerspective", g.Perspective) &&
           find(gl, "glFinish", g.Finish) && find(gl, "glViewport", g.Viewport) &&
           find(gl, "glReadPixels", g.ReadPixels) && find(gl, "glPixelStorei", g.PixelStorei) &&
           find(gl, "glReadBuffer", g.ReadBuffer);
}

void play(const RealGl& g, size_t first, size_t last)
{
    for (size_t i = first; i < last; i++) {
        GlCall c = glrecCall(i);
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
}

bool readScript(const char* path, std::vector<char>& text)
{
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.insert(text.end(), chunk, chunk + n);
    fclose(f);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fputs("usage: hillcar-gl-snapshot SCRIPT OUT.ppm\n", stderr);
        return 2;
    }
    std::vector<char> script;
    if (!readScript(argv[1], script)) {
        fprintf(stderr, "hillcar-gl-snapshot: cannot read %s\n", argv[1]);
        return 2;
    }
    FILE* sink = fopen("/dev/null", "w");
    if (runReplay(script.data(), script.size(), sink, stderr, 0) != 0) return 2;
    fclose(sink);

    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || SDL_GL_LoadLibrary("libGL.so.1") != 0) {
        fprintf(stderr, "hillcar-gl-snapshot: %s\n", SDL_GetError());
        return 1;
    }
    // As the program asks: a compatibility context, double-buffered, 16-bit depth.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_Window* window = SDL_CreateWindow("hillcar-gl-snapshot", 0, 0, 800, 600,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    RealGl g;
    if (!context || SDL_GL_MakeCurrent(window, context) != 0 || !loadGl(g)) {
        fprintf(stderr, "hillcar-gl-snapshot: no GL: %s\n", SDL_GetError());
        return 1;
    }
    g.Viewport(0, 0, 800, 600);

    size_t frameCalls = glrecSize();
    setFixedProjection();
    play(g, frameCalls, glrecSize());
    play(g, 0, frameCalls);
    play(g, 0, frameCalls);
    g.Finish();

    std::vector<unsigned char> rgb(800 * 600 * 3);
    g.ReadBuffer(GL_BACK);
    g.PixelStorei(GL_PACK_ALIGNMENT, 1);
    g.ReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    FILE* out = fopen(argv[2], "wb");
    if (!out) {
        fprintf(stderr, "hillcar-gl-snapshot: cannot write %s\n", argv[2]);
        return 1;
    }
    // GL's rows run from the bottom up, a PPM's from the top down.
    fprintf(out, "P6\n800 600\n255\n");
    for (int y = 599; y >= 0; y--) fwrite(&rgb[(size_t)y * 800 * 3], 1, 800 * 3, out);
    fclose(out);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
