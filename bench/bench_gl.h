// The benchmark's own GL layer. The frame's GL and GLU entry points are
// defined here (the benchmark links neither libGL nor the recording GL), and a
// global mode decides what each call does:
//   COUNT    only counts it: what is left of a frame is the system's own work;
//   RECORD   appends it to a preallocated array, for playback later;
//   FORWARD  calls the real libGL / libGLU function through a pointer.
// The real functions are looked up with dlopen / dlsym, so these definitions
// never clash with the library's.
#pragma once

#include <cstddef>

enum BenchGlMode { BENCHGL_COUNT, BENCHGL_RECORD, BENCHGL_FORWARD };

enum BenchGlOp : unsigned char {
    BGL_BEGIN,
    BGL_END,
    BGL_VERTEX3F,
    BGL_COLOR3F,
    BGL_COLOR4F,
    BGL_CLEAR,
    BGL_CLEARCOLOR,
    BGL_LOADIDENTITY,
    BGL_PUSHMATRIX,
    BGL_POPMATRIX,
    BGL_ENABLE,
    BGL_DISABLE,
    BGL_BLENDFUNC,
    BGL_MATRIXMODE,
    BGL_LOOKAT,
    BGL_PERSPECTIVE,
    BGL_SWAP,
    BGL_OP_COUNT
};

void benchGlSetMode(BenchGlMode mode);
BenchGlMode benchGlMode();

// Calls seen per op since the last benchGlResetCounts (every mode counts).
void benchGlResetCounts();
long benchGlCount(BenchGlOp op);
long benchGlTotalCalls();

// Forget the recorded calls. Calls past the array's room are dropped and
// flagged by benchGlRecordOverflowed.
void benchGlClearRecording();
size_t benchGlRecordedSize();
bool benchGlRecordOverflowed();
// Send the recorded calls to the real GL, in order. Needs benchGlLoadReal.
void benchGlPlayback();

// Look up the real GL and GLU functions (libGL.so.1, libGLU.so.1). Returns
// false, with a reason in *why, when a library or a function is missing.
bool benchGlLoadReal(const char** why);
bool benchGlRealLoaded();

// Real functions the benchmark itself needs around the frame.
void benchGlFinish();
void benchGlViewport(int x, int y, int width, int height);
const char* benchGlRenderer();
// glGetError: 0 when no error is pending.
unsigned benchGlError();
