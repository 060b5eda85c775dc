#include "bench_gl.h"

#include "platform/scripted/gl_record.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <dlfcn.h>

namespace {

struct RealGl {
    void (*Begin)(GLenum);
    void (*End)(void);
    void (*Vertex3f)(GLfloat, GLfloat, GLfloat);
    void (*Color3f)(GLfloat, GLfloat, GLfloat);
    void (*Color4f)(GLfloat, GLfloat, GLfloat, GLfloat);
    void (*Clear)(GLbitfield);
    void (*ClearColor)(GLclampf, GLclampf, GLclampf, GLclampf);
    void (*LoadIdentity)(void);
    void (*PushMatrix)(void);
    void (*PopMatrix)(void);
    void (*Enable)(GLenum);
    void (*Disable)(GLenum);
    void (*BlendFunc)(GLenum, GLenum);
    void (*MatrixMode)(GLenum);
    void (*LookAt)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble,
                   GLdouble, GLdouble);
    void (*Perspective)(GLdouble, GLdouble, GLdouble, GLdouble);
    void (*Finish)(void);
    void (*Viewport)(GLint, GLint, GLsizei, GLsizei);
    const GLubyte* (*GetString)(GLenum);
    GLenum (*GetError)(void);
};

RealGl real;
bool realLoaded;

BenchGlMode mode = BENCHGL_COUNT;
long counts[BGL_OP_COUNT];

// One recorded call. GLU's double arguments go to a pool of their own, so the
// common calls (vertex, colour) stay small.
struct Rec {
    BenchGlOp op;
    union {
        float f[4];
        unsigned u[4];
    } a;
};

// A frame makes about 90,000 calls; room for a few frames' worth.
constexpr size_t maxRecs = 1 << 19;
constexpr size_t maxDoubles = 1 << 12;
Rec recs[maxRecs];
double doubles[maxDoubles];
size_t nRecs;
size_t nDoubles;
bool overflowed;

inline Rec* push(BenchGlOp op)
{
    if (nRecs == maxRecs) {
        overflowed = true;
        return nullptr;
    }
    Rec* r = &recs[nRecs++];
    r->op = op;
    return r;
}

inline bool forwarding(BenchGlOp op)
{
    counts[op]++;
    return mode == BENCHGL_FORWARD;
}

inline bool recording()
{
    return mode == BENCHGL_RECORD;
}

void recordU(BenchGlOp op, unsigned u0, unsigned u1 = 0)
{
    if (Rec* r = push(op)) {
        r->a.u[0] = u0;
        r->a.u[1] = u1;
    }
}

void recordF(BenchGlOp op, float f0, float f1, float f2, float f3 = 0)
{
    if (Rec* r = push(op)) {
        r->a.f[0] = f0;
        r->a.f[1] = f1;
        r->a.f[2] = f2;
        r->a.f[3] = f3;
    }
}

void recordD(BenchGlOp op, const double* v, unsigned n)
{
    if (nDoubles + n > maxDoubles) {
        overflowed = true;
        return;
    }
    if (Rec* r = push(op)) {
        r->a.u[0] = (unsigned)nDoubles;
        for (unsigned k = 0; k < n; k++) doubles[nDoubles++] = v[k];
    }
}

template <typename F>
bool lookUp(void* lib, const char* name, F& fn, const char** why)
{
    fn = reinterpret_cast<F>(dlsym(lib, name));
    if (!fn && why) *why = name;
    return fn != nullptr;
}

} // namespace

void benchGlSetMode(BenchGlMode m)
{
    mode = m;
}

BenchGlMode benchGlMode()
{
    return mode;
}

void benchGlResetCounts()
{
    for (long& n : counts) n = 0;
}

long benchGlCount(BenchGlOp op)
{
    return counts[op];
}

long benchGlTotalCalls()
{
    long total = 0;
    for (long n : counts) total += n;
    return total;
}

void benchGlClearRecording()
{
    nRecs = 0;
    nDoubles = 0;
    overflowed = false;
}

size_t benchGlRecordedSize()
{
    return nRecs;
}

bool benchGlRecordOverflowed()
{
    return overflowed;
}

void benchGlPlayback()
{
    for (size_t i = 0; i < nRecs; i++) {
        const Rec& r = recs[i];
        // Counted like a forwarded call, so playback and the live frame pay
        // the same per-call overhead besides the driver's.
        counts[r.op]++;
        switch (r.op) {
        case BGL_BEGIN: real.Begin(r.a.u[0]); break;
        case BGL_END: real.End(); break;
        case BGL_VERTEX3F: real.Vertex3f(r.a.f[0], r.a.f[1], r.a.f[2]); break;
        case BGL_COLOR3F: real.Color3f(r.a.f[0], r.a.f[1], r.a.f[2]); break;
        case BGL_COLOR4F: real.Color4f(r.a.f[0], r.a.f[1], r.a.f[2], r.a.f[3]); break;
        case BGL_CLEAR: real.Clear(r.a.u[0]); break;
        case BGL_CLEARCOLOR: real.ClearColor(r.a.f[0], r.a.f[1], r.a.f[2], r.a.f[3]); break;
        case BGL_LOADIDENTITY: real.LoadIdentity(); break;
        case BGL_PUSHMATRIX: real.PushMatrix(); break;
        case BGL_POPMATRIX: real.PopMatrix(); break;
        case BGL_ENABLE: real.Enable(r.a.u[0]); break;
        case BGL_DISABLE: real.Disable(r.a.u[0]); break;
        case BGL_BLENDFUNC: real.BlendFunc(r.a.u[0], r.a.u[1]); break;
        case BGL_MATRIXMODE: real.MatrixMode(r.a.u[0]); break;
        case BGL_LOOKAT: {
            const double* d = &doubles[r.a.u[0]];
            real.LookAt(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8]);
            break;
        }
        case BGL_PERSPECTIVE: {
            const double* d = &doubles[r.a.u[0]];
            real.Perspective(d[0], d[1], d[2], d[3]);
            break;
        }
        case BGL_SWAP:
        case BGL_OP_COUNT: break;
        }
    }
}

bool benchGlLoadReal(const char** why)
{
    if (realLoaded) return true;
    // RTLD_LOCAL keeps the libraries' symbols out of the global scope, where
    // they would meet the definitions below.
    void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!gl) {
        if (why) *why = "libGL.so.1 cannot be loaded";
        return false;
    }
    void* glu = dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!glu) {
        if (why) *why = "libGLU.so.1 cannot be loaded";
        return false;
    }
    RealGl r;
    bool ok = lookUp(gl, "glBegin", r.Begin, why) && lookUp(gl, "glEnd", r.End, why) &&
              lookUp(gl, "glVertex3f", r.Vertex3f, why) &&
              lookUp(gl, "glColor3f", r.Color3f, why) &&
              lookUp(gl, "glColor4f", r.Color4f, why) && lookUp(gl, "glClear", r.Clear, why) &&
              lookUp(gl, "glClearColor", r.ClearColor, why) &&
              lookUp(gl, "glLoadIdentity", r.LoadIdentity, why) &&
              lookUp(gl, "glPushMatrix", r.PushMatrix, why) &&
              lookUp(gl, "glPopMatrix", r.PopMatrix, why) &&
              lookUp(gl, "glEnable", r.Enable, why) && lookUp(gl, "glDisable", r.Disable, why) &&
              lookUp(gl, "glBlendFunc", r.BlendFunc, why) &&
              lookUp(gl, "glMatrixMode", r.MatrixMode, why) &&
              lookUp(glu, "gluLookAt", r.LookAt, why) &&
              lookUp(glu, "gluPerspective", r.Perspective, why) &&
              lookUp(gl, "glFinish", r.Finish, why) &&
              lookUp(gl, "glViewport", r.Viewport, why) &&
              lookUp(gl, "glGetString", r.GetString, why) &&
              lookUp(gl, "glGetError", r.GetError, why);
    if (!ok) return false;
    real = r;
    realLoaded = true;
    return true;
}

bool benchGlRealLoaded()
{
    return realLoaded;
}

void benchGlFinish()
{
    real.Finish();
}

void benchGlViewport(int x, int y, int width, int height)
{
    real.Viewport(x, y, width, height);
}

const char* benchGlRenderer()
{
    const GLubyte* s = real.GetString(GL_RENDERER);
    return s ? reinterpret_cast<const char*>(s) : "(unknown)";
}

unsigned benchGlError()
{
    return real.GetError();
}

// The buffer swap of the scripted platform. Presenting the image is not part
// of what is measured, so a live frame ends at the caller's glFinish instead.
void glrecSwap()
{
    if (forwarding(BGL_SWAP)) return;
    if (recording()) recordU(BGL_SWAP, 0);
}

// The entry points the frame calls.
extern "C" {

void glBegin(GLenum m)
{
    if (forwarding(BGL_BEGIN)) real.Begin(m);
    else if (recording()) recordU(BGL_BEGIN, m);
}

void glEnd(void)
{
    if (forwarding(BGL_END)) real.End();
    else if (recording()) recordU(BGL_END, 0);
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (forwarding(BGL_VERTEX3F)) real.Vertex3f(x, y, z);
    else if (recording()) recordF(BGL_VERTEX3F, x, y, z);
}

void glColor3f(GLfloat r, GLfloat g, GLfloat b)
{
    if (forwarding(BGL_COLOR3F)) real.Color3f(r, g, b);
    else if (recording()) recordF(BGL_COLOR3F, r, g, b);
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    if (forwarding(BGL_COLOR4F)) real.Color4f(r, g, b, a);
    else if (recording()) recordF(BGL_COLOR4F, r, g, b, a);
}

void glClear(GLbitfield mask)
{
    if (forwarding(BGL_CLEAR)) real.Clear(mask);
    else if (recording()) recordU(BGL_CLEAR, mask);
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a)
{
    if (forwarding(BGL_CLEARCOLOR)) real.ClearColor(r, g, b, a);
    else if (recording()) recordF(BGL_CLEARCOLOR, r, g, b, a);
}

void glLoadIdentity(void)
{
    if (forwarding(BGL_LOADIDENTITY)) real.LoadIdentity();
    else if (recording()) recordU(BGL_LOADIDENTITY, 0);
}

void glPushMatrix(void)
{
    if (forwarding(BGL_PUSHMATRIX)) real.PushMatrix();
    else if (recording()) recordU(BGL_PUSHMATRIX, 0);
}

void glPopMatrix(void)
{
    if (forwarding(BGL_POPMATRIX)) real.PopMatrix();
    else if (recording()) recordU(BGL_POPMATRIX, 0);
}

void glEnable(GLenum cap)
{
    if (forwarding(BGL_ENABLE)) real.Enable(cap);
    else if (recording()) recordU(BGL_ENABLE, cap);
}

void glDisable(GLenum cap)
{
    if (forwarding(BGL_DISABLE)) real.Disable(cap);
    else if (recording()) recordU(BGL_DISABLE, cap);
}

void glBlendFunc(GLenum s, GLenum d)
{
    if (forwarding(BGL_BLENDFUNC)) real.BlendFunc(s, d);
    else if (recording()) recordU(BGL_BLENDFUNC, s, d);
}

void glMatrixMode(GLenum m)
{
    if (forwarding(BGL_MATRIXMODE)) real.MatrixMode(m);
    else if (recording()) recordU(BGL_MATRIXMODE, m);
}

void gluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz,
               GLdouble ux, GLdouble uy, GLdouble uz)
{
    if (forwarding(BGL_LOOKAT)) {
        real.LookAt(ex, ey, ez, cx, cy, cz, ux, uy, uz);
    } else if (recording()) {
        const double v[9] = {ex, ey, ez, cx, cy, cz, ux, uy, uz};
        recordD(BGL_LOOKAT, v, 9);
    }
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    if (forwarding(BGL_PERSPECTIVE)) {
        real.Perspective(fovy, aspect, zNear, zFar);
    } else if (recording()) {
        const double v[4] = {fovy, aspect, zNear, zFar};
        recordD(BGL_PERSPECTIVE, v, 4);
    }
}

} // extern "C"
