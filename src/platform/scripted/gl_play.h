// The desktop's GL and GLU, found at run time, and the recording GL's calls
// played into them. A binary that links the recording GL defines glBegin and
// the rest itself, so the real ones are reached through this table only:
// libGL and libGLU are opened privately, and their names never meet ours.
// Linux only (dlopen).
#pragma once

#include "platform/scripted/gl_record.h"

#include <GL/gl.h>

#include <cstddef>

struct DesktopGl {
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
    void (*Flush)();
    void (*Viewport)(GLint, GLint, GLsizei, GLsizei);
    void (*ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
    void (*PixelStorei)(GLenum, GLint);
    void (*ReadBuffer)(GLenum);
};

// Opens libGL.so.1 and libGLU.so.1 and fills the table. False with the
// reason in why (the loader's message, or "no glFoo") when one is missing.
bool loadDesktopGl(DesktopGl& gl, char* why, size_t whySize);

// Sends the recorded calls first..last-1 to the desktop's GL, as the frame
// made them.
void playRecordedGl(const DesktopGl& gl, size_t first, size_t last);

// Leaves the desktop's GL in the state the calls first..last-1 leave it in,
// without drawing: the matrices, the switches, the blend function, the clear
// colour and the current colour are set, while glBegin..glEnd, the vertices
// and glClear are left out. A frame drawn after it looks as it would after
// the whole calls, at a small part of their cost.
void playRecordedGlState(const DesktopGl& gl, size_t first, size_t last);

// The picture drawn so far, bottom row first as GL gives it: width x height
// pixels, rows packed, of 3 bytes (R, G, B) for GL_RGB or 4 (B, G, R, and
// one unused) for GL_BGRA. Waits for the drawing to end.
void readDesktopPixels(const DesktopGl& gl, int width, int height, GLenum format,
                       unsigned char* pixels);
