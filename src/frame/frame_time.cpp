#include "frame/frame_time.h"

#include "platform/platform.h"

float retFrameSpd(FrameClock& clock)
{
    if (!clock.started) {
        clock.started = true;
        clock.timeLast = getTickCount();
        clock.timeNow = clock.timeLast;
    }
    clock.timeNow = getTickCount();
    // The integer difference is exact at any uptime and survives the 32-bit
    // wrap; seconds since system start in a float would not.
    uint32_t ms = clock.timeNow - clock.timeLast;
    clock.timeLast = clock.timeNow;
    float dt = (float)(ms * 0.001);
    return dt > MAX_FRAME_TIME ? MAX_FRAME_TIME : dt;
}
