#include "platform/live.h"

#include "platform/platform.h"

#include <cstdlib>

namespace {
uint32_t frameTick;
bool frameKeys[256];
RandSource randSource = RAND_PLATFORM;
RandSource seededSource = RAND_PLATFORM;
GlibcRand glibcRand;
MsvcrtRand msvcrtRand;
} // namespace

void setFrameTick(uint32_t tick)
{
    frameTick = tick;
}

void setFrameKeys(const bool held[256])
{
    for (int vk = 0; vk < 256; vk++) frameKeys[vk] = held[vk];
}

void setRandSource(RandSource source)
{
    randSource = source;
}

short getKeyState(int vk)
{
    if (vk < 0 || vk >= 256) return 0;
    return frameKeys[vk] ? (short)0x80 : (short)0;
}

uint32_t getTickCount()
{
    return frameTick;
}

int platformRand()
{
    switch (seededSource) {
    case RAND_GLIBC: return nextGlibcRand(glibcRand);
    case RAND_MSVCRT: return nextMsvcrtRand(msvcrtRand);
    default: return rand();
    }
}

void platformSrand(uint32_t seed)
{
    seededSource = randSource;
    switch (seededSource) {
    case RAND_GLIBC: seedGlibcRand(glibcRand, seed); break;
    case RAND_MSVCRT: seedMsvcrtRand(msvcrtRand, seed); break;
    default: srand(seed); break;
    }
}
