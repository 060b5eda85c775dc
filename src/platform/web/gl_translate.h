// The recorded GL calls of a frame turned into what WebGL 1 can draw: the
// matrix calls done here on the CPU, quads split into triangles, colours per
// vertex, and one entry per change of matrix, depth test or blend. The page
// then uploads the vertices once and makes a few draws (web/hillcar-gl.js).
// Only the calls the frame makes are known: quads and triangles, glColor3f and
// glColor4f, the depth test, blending and its function, the clear, the matrix
// stack of the model-view and projection matrices, gluLookAt and
// gluPerspective. A primitive of any other mode is left out.
#pragma once

#include "platform/scripted/gl_record.h"

#include <cstddef>
#include <cstdint>

// One vertex as the page's buffer holds it: the position as given (the draw's
// matrix places it) and the colour clamped and rounded to bytes.
struct WebVertex {
    float x, y, z;
    uint8_t r, g, b, a;
};

enum : int32_t { WEBDRAW_CLEAR = 0, WEBDRAW_TRIANGLES = 1 };

// One step for the page, read by it as 32-bit words: a clear, or a run of
// triangles from the vertex array under one matrix and one depth and blend
// state. Integers and floats never share a word.
struct WebDraw {
    int32_t kind;
    int32_t first;      // triangles: first vertex
    int32_t count;      // triangles: vertex count, a multiple of 3
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
    long dropped; // vertices or draws past the room, left out
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
    // The primitive being built: its mode and the vertices given so far (a
    // quad waits for its fourth).
    int32_t beginMode; // -1 outside glBegin
    WebVertex pending[4];
    int pendingCount;
    bool stateChanged; // the next triangle starts a new draw
};

// GL's initial state: identity matrices, white, nothing enabled, blend
// (GL_ONE, GL_ZERO), clear colour 0.
void resetTranslator(TranslatorState& state);

// Starts an empty frame.
void beginWebFrame(WebFrame& frame);

// Applies the recorded calls [first, last) to state, appending clears and
// triangles to frame.
void translateCalls(TranslatorState& state, size_t first, size_t last, WebFrame& frame);

// Column-major 4x4 matrices as GL builds them; out = a x b.
void multiplyMatrix(const double a[16], const double b[16], double out[16]);
void makeLookAt(const double args[9], double out[16]);
void makePerspective(double fovy, double aspect, double zNear, double zFar, double out[16]);
