#pragma once

#include "frame/world.h"

// Longest frame time any stage receives: the rig's explicit steps are stable
// only for short frames, so a longer stall counts as a quarter of a second.
constexpr float MAX_FRAME_TIME = 0.25f;

// Seconds since the previous call (0 on the first), from the tick count.
float retFrameSpd(FrameClock& clock);
