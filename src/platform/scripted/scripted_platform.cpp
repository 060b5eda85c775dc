#include "platform/scripted/gl_record.h"
#include "platform/platform.h"
#include "platform/scripted/scripted.h"

#include <cstdlib>

namespace {
bool heldKeys[256];
uint32_t scriptTick;
RandSource randSource = RAND_PLATFORM;
RandSource seededSource = RAND_PLATFORM;
GlibcRand glibcRand;
MsvcrtRand msvcrtRand;
} // namespace

void scriptSetKey(int vk, bool held)
{
    if (vk >= 0 && vk < 256) heldKeys[vk] = held;
}

void scriptReleaseKeys()
{
    for (bool& k : heldKeys) k = false;
}

void scriptSetTick(uint32_t tick)
{
    scriptTick = tick;
}

short getKeyState(int vk)
{
    if (vk < 0 || vk >= 256) return 0;
    return heldKeys[vk] ? (short)0x80 : (short)0;
}

uint32_t getTickCount()
{
    return scriptTick;
}

void swapBuffers(DeviceContext*)
{
    glrecSwap();
}

void scriptSetRand(RandSource source)
{
    randSource = source;
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
