// The frame's glBegin, glVertex3f, glColor3f and glColor4f calls go through
// counters on their way to the real GL. Calls made inside the GL and GLU
// libraries are not counted, as the recording GL sees none of those either.
#include "app/gl_count.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>

namespace {
GlCounts counts;
}

void glCountReset()
{
    counts = GlCounts{0, 0, 0};
}

GlCounts glCounted()
{
    return counts;
}

#ifndef _WIN32

// The program is linked with --wrap for the four functions: every call the
// program's own code makes to glBegin reaches __wrap_glBegin, which counts it
// and calls the real one as __real_glBegin.
extern "C" {
void __real_glBegin(GLenum mode);
void __real_glVertex3f(GLfloat x, GLfloat y, GLfloat z);
void __real_glColor3f(GLfloat r, GLfloat g, GLfloat b);
void __real_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);

void __wrap_glBegin(GLenum mode)
{
    counts.begins++;
    __real_glBegin(mode);
}

void __wrap_glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    counts.vertices++;
    __real_glVertex3f(x, y, z);
}

void __wrap_glColor3f(GLfloat r, GLfloat g, GLfloat b)
{
    counts.colors++;
    __real_glColor3f(r, g, b);
}

void __wrap_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    counts.colors++;
    __real_glColor4f(r, g, b, a);
}
}

#else

// mingw-w64's GL/gl.h declares the GL functions dllimport, so every call goes
// through an import pointer, __imp_glBegin and so on. Defining those pointers
// here points the calls at the counters (the import library's own are then
// not linked), and the counters call the real functions, looked up in
// opengl32.dll. The pointer names are the 64-bit ones.
static_assert(sizeof(void*) == 8, "the GL call counters know 64-bit Windows names only");

namespace {
using BeginFn = void(APIENTRY*)(GLenum);
using Vertex3fFn = void(APIENTRY*)(GLfloat, GLfloat, GLfloat);
using Color4fFn = void(APIENTRY*)(GLfloat, GLfloat, GLfloat, GLfloat);

// Through void (*)(), the type the compiler accepts as any function's.
template <typename Fn>
Fn realGl(const char* name)
{
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA("opengl32.dll"), name)));
}

const BeginFn realBegin = realGl<BeginFn>("glBegin");
const Vertex3fFn realVertex3f = realGl<Vertex3fFn>("glVertex3f");
const Vertex3fFn realColor3f = realGl<Vertex3fFn>("glColor3f");
const Color4fFn realColor4f = realGl<Color4fFn>("glColor4f");

void APIENTRY countBegin(GLenum mode)
{
    counts.begins++;
    realBegin(mode);
}

void APIENTRY countVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    counts.vertices++;
    realVertex3f(x, y, z);
}

void APIENTRY countColor3f(GLfloat r, GLfloat g, GLfloat b)
{
    counts.colors++;
    realColor3f(r, g, b);
}

void APIENTRY countColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    counts.colors++;
    realColor4f(r, g, b, a);
}
} // namespace

extern "C" {
BeginFn __imp_glBegin = countBegin;
Vertex3fFn __imp_glVertex3f = countVertex3f;
Vertex3fFn __imp_glColor3f = countColor3f;
Color4fFn __imp_glColor4f = countColor4f;
}

#endif
