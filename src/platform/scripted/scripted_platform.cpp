// The scripted platform sets the frame's inputs that a live program's loop
// sets from its clock and keyboard, and records the buffer swap.
#include "platform/live.h"
#include "platform/platform.h"
#include "platform/scripted/gl_record.h"
#include "platform/scripted/scripted.h"

void scriptSetKey(int vk, bool held)
{
    setFrameKey(vk, held);
}

void scriptReleaseKeys()
{
    for (int vk = 0; vk < 256; vk++) setFrameKey(vk, false);
}

void scriptSetTick(uint32_t tick)
{
    setFrameTick(tick);
}

void scriptSetRand(RandSource source)
{
    setRandSource(source);
}

void swapBuffers(DeviceContext*)
{
    glrecSwap();
}
