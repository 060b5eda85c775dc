// The frame's glBegin, glVertex3f, glColor3f and glColor4f calls go through
// counters on their way to the real GL. Calls made inside the GL and GLU
// libraries are not counted, as the recording GL sees none of those either.
#include "app/gl_count.h"

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


// The program is linked with --wrap for the four functions: every call the
// program's own code makes to glBegin reaches __wrap_glBegin, which counts it
// and calls the real one as __real_glBegin. On Windows the frame's code is
// built with plain GL declarations, so its calls name glBegin too, not the
// import pointer, and the same wrapping works there.
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
