#include "platform/scripted/rand_model.h"

#include <cstdlib>

void seedGlibcRand(GlibcRand& g, uint32_t seed)
{
    // A zero seed would leave every word zero; the library takes 1 instead.
    if (seed == 0) seed = 1;
    int32_t word = (int32_t)seed;
    g.state[0] = word;
    for (int i = 1; i < 31; i++) {
        // 16807 * word mod (2^31 - 1) without overflow (Schrage's method), as
        // the library computes it, a seed at or past 2^31 read as negative.
        int64_t hi = word / 127773;
        int64_t lo = word % 127773;
        word = (int32_t)(16807 * lo - 2836 * hi);
        if (word < 0) word += 2147483647;
        g.state[i] = word;
    }
    g.front = 3;
    g.rear = 0;
    // The library throws away the first 310 numbers of every seed.
    for (int k = 0; k < 310; k++) nextGlibcRand(g);
}

int nextGlibcRand(GlibcRand& g)
{
    uint32_t sum = (uint32_t)g.state[g.front] + (uint32_t)g.state[g.rear];
    g.state[g.front] = (int32_t)sum;
    g.front = g.front == 30 ? 0 : g.front + 1;
    g.rear = g.rear == 30 ? 0 : g.rear + 1;
    // The lowest bit is the least random; it is dropped.
    return (int)(sum >> 1);
}

void seedMsvcrtRand(MsvcrtRand& m, uint32_t seed)
{
    m.holdrand = seed;
}

int nextMsvcrtRand(MsvcrtRand& m)
{
    m.holdrand = m.holdrand * 214013u + 2531011u;
    return (int)((m.holdrand >> 16) & 0x7fff);
}

void seedRandDraw(RandDraw& d, RandSource source, uint32_t seed)
{
    d.source = source;
    switch (source) {
    case RAND_GLIBC: seedGlibcRand(d.glibc, seed); break;
    case RAND_MSVCRT: seedMsvcrtRand(d.msvcrt, seed); break;
    default: srand(seed); break;
    }
}

int nextRandDraw(RandDraw& d)
{
    switch (d.source) {
    case RAND_GLIBC: return nextGlibcRand(d.glibc);
    case RAND_MSVCRT: return nextMsvcrtRand(d.msvcrt);
    default: return rand();
    }
}
