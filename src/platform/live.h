// What a frame reads, set before each frame: one tick count for every reading
// the frame makes, and the keys as they were when it began. A program's loop
// sets them from the clock and the keyboard, or from a script it plays; the
// scripted platform of tests and hillcar-replay sets them from its script. So
// a frame sees exactly what a recording of it can name. Nothing here is tied
// to one windowing layer.
#pragma once

#include "platform/scripted/rand_model.h"

#include <cstdint>

// The tick count every getTickCount of the coming frame returns.
void setFrameTick(uint32_t tick);
// The keys the coming frame sees held (held[vk] for each virtual key); every
// other key reads as up.
void setFrameKeys(const bool held[256]);
// One key of them (0..255; others are ignored).
void setFrameKey(int vk, bool held);
// Where platformRand draws from after the next platformSrand: the C library's
// own rand (the default), or a model of one that a played script names.
void setRandSource(RandSource source);
