#include "platform/scripted/gl_record.h"
#include "platform/platform.h"
#include "platform/scripted/scripted.h"

namespace {
bool heldKeys[256];
uint32_t scriptTick;
RandSource randSource = RAND_PLATFORM;
RandDraw randDraw;
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
    return nextRandDraw(randDraw);
}

void platformSrand(uint32_t seed)
{
    seedRandDraw(randDraw, randSource, seed);
}
