// The recorded GL calls of a frame turned into what WebGL 1 can draw: the
// matrix calls done here on the CPU, the vertices of quads and triangles with
// their colours, and one entry per change of matrix, depth test, blend or
// primitive. The page then uploads the vertices once and makes a few draws
// (web/hillcar-gl.js); it splits each quad into two triangles through a fixed
// index buffer, so that a quad's four corners are written here only once.
// Only the calls the frame makes are known: quads and triangles, glColor3f and
// glColor4f, the depth test, blending and its function, the clear, the matrix
// stack of the model-view and projection matrices, gluLookAt and
// gluPerspective. A primitive of any other mode is left out.
#pragma once

#include "platform/scripted/gl_record.h"

#include <cstddef>
#include <cstdint>

// One vertex as the page's buffer holds it: the position and the colour as
// given. The draw's matrix places it; the page's shader clamps the colour to
// [0, 1] as GL does, and the colour stays a float up to the pixel as in Mesa.
struct WebVertex {
    float x, y, z;
    float r, g, b, a;
};

enum : int32_t { WEBDRAW_CLEAR = 0, WEBDRAW_TRIANGLES = 1, WEBDRAW_QUADS = 2 };

// One step for the page, read by it as 32-bit words: a clear, or a run of
// triangles or quads from the vertex array under one matrix and one depth and
// blend state. Integers and floats never share a word.
struct WebDraw {
    int32_t kind;
    int32_t first;      // triangles, quads: first vertex
    int32_t count;      // vertex count, a multiple of 3 (triangles) or 4 (quads)
    int32_t depthTest;  // 0 or 1
    int32_t blend;      // 0 or 1
    int32_t blendSrc;   // GL enumerants, as the frame gave them
    int32_t blendDst;
    uint32_t clearMask; // clear: GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT bits
    float clearColour[4];
    float mvp[16];      // projection x model-view, column-major
};

constexpr size_t WEB_MAX_VERTICES = 1 << 18;
constexpr int WEB_MAX_DRAWS = 64;

struct WebFrame {
    WebVertex vertices[WEB_MAX_VERTICES];
    int vertexCount;
    WebDraw draws[WEB_MAX_DRAWS];
    int drawCount;
    long dropped; // vertices and clears past the room, left out
};

constexpr int WEB_STACK_DEPTH = 32;

// The GL state that outlives a frame: matrices and their stacks, the current
// colour, the enables, the blend function and the clear colour. Zero-filled
// it is not GL's initial state: start it with resetTranslator.
struct TranslatorState {
    double modelview[WEB_STACK_DEPTH][16];
    double projection[WEB_STACK_DEPTH][16];
    int modelviewTop;
    int projectionTop;
    bool projectionMode;
    float colour[4];
    bool depthTest;
    bool blend;
    int32_t blendSrc;
    int32_t blendDst;
    float clearColour[4];
    bool stateChanged; // the next triangle starts a new draw
};

// GL's initial state: identity matrices, white, nothing enabled, blend
// (GL_ONE, GL_ZERO), clear colour 0.
void resetTranslator(TranslatorState& state);

// Starts an empty frame.
void beginWebFrame(WebFrame& frame);

// Applies the recorded calls [first, last) to state, appending clears and
// triangles to frame. Inside glBegin .. glEnd only colours and vertices count,
// as in GL; a primitive still open at last is left out.
void translateCalls(TranslatorState& state, size_t first, size_t last, WebFrame& frame);

// Column-major 4x4 matrices as GL builds them; out = a x b.
void multiplyMatrix(const double a[16], const double b[16], double out[16]);
void makeLookAt(const double args[9], double out[16]);
void makePerspective(double fovy, double aspect, double zNear, double zFar, double out[16]);
