// The recording GL: linked in place of libGL and libGLU by tests and
// hillcar-replay, it keeps every GL call of the current frame in order.
#pragma once

#include <cstddef>
#include <cstdio>

enum GlOp : unsigned char {
    GLREC_BEGIN,
    GLREC_END,
    GLREC_VERTEX3F,
    GLREC_COLOR3F,
    GLREC_COLOR4F,
    GLREC_CLEAR,
    GLREC_CLEARCOLOR,
    GLREC_LOADIDENTITY,
    GLREC_PUSHMATRIX,
    GLREC_POPMATRIX,
    GLREC_ENABLE,
    GLREC_DISABLE,
    GLREC_BLENDFUNC,
    GLREC_MATRIXMODE,
    GLREC_LOOKAT,
    GLREC_PERSPECTIVE,
    GLREC_SWAP,
    GLREC_OP_COUNT
};

struct GlCall {
    GlOp op;
    int argc;
    const double* args; // floats widened exactly; enums as their values
};

struct GlCounts {
    long begins;
    long vertices;
    long colors; // glColor3f and glColor4f
};

// Forget the calls recorded so far (the start of a frame).
void glrecReset();
// Record the buffer swap (called by the scripted platform).
void glrecSwap();

size_t glrecSize();
GlCall glrecCall(size_t i);
// The ops of the calls kept so far, in order: glrecSize() of them.
const GlOp* glrecOps();
GlCounts glrecCounts();
// The GL name of an op, as hillcar-replay prints it ("glVertex3f", "swap").
const char* glrecName(GlOp op);
// Print the recorded calls as the JSON array of replay's `dump gl`.
void glrecWriteJson(FILE* out);
