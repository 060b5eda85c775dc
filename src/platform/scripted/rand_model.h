// Exact models of two C libraries' rand, so that a script draws the same
// numbers, and so builds the same world, whichever library the tool runs on.
#pragma once

#include <cstdint>

enum RandSource : int {
    RAND_PLATFORM, // the C library the tool is linked with
    RAND_GLIBC,    // the GNU C library: additive feedback over 31 words
    RAND_MSVCRT,   // Microsoft's C runtime: a 15-bit linear congruential generator
};

// The GNU C library's default generator (random(3) with its 128-byte state).
struct GlibcRand {
    int32_t state[31];
    int front; // index of the word that receives the sum
    int rear;  // index of the word added to it
};

void seedGlibcRand(GlibcRand& g, uint32_t seed);
int nextGlibcRand(GlibcRand& g); // 0 .. 2^31 - 1

// Microsoft's C runtime generator: one 32-bit word.
struct MsvcrtRand {
    uint32_t holdrand;
};

void seedMsvcrtRand(MsvcrtRand& m, uint32_t seed);
int nextMsvcrtRand(MsvcrtRand& m); // 0 .. 32767

// The generator platformRand draws from, chosen when it is seeded: the C
// library's own rand or one of the models.
struct RandDraw {
    RandSource source;
    GlibcRand glibc;
    MsvcrtRand msvcrt;
};

void seedRandDraw(RandDraw& d, RandSource source, uint32_t seed);
int nextRandDraw(RandDraw& d);
