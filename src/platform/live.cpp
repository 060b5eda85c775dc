#include "platform/live.h"

#include "platform/platform.h"

namespace {
uint32_t frameTick;
bool frameKeys[256];
RandSource randSource = RAND_PLATFORM;
RandDraw randDraw;
} // namespace

void setFrameTick(uint32_t tick)
{
    frameTick = tick;
}

void setFrameKeys(const bool held[256])
{
    for (int vk = 0; vk < 256; vk++) frameKeys[vk] = held[vk];
}

void setFrameKey(int vk, bool held)
{
    if (vk >= 0 && vk < 256) frameKeys[vk] = held;
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
    return nextRandDraw(randDraw);
}

void platformSrand(uint32_t seed)
{
    seedRandDraw(randDraw, randSource, seed);
}
