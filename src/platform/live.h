// What a frame of the running program reads, set by the loop before each
// frame: one tick count for every reading the frame makes, and the keys as
// they were when it began. So a frame sees exactly what a recording of it can
// name, whether the values come from the clock and the keyboard or from a
// script being played. Nothing here is tied to one windowing layer.
#pragma once

#include "platform/scripted/rand_model.h"

#include <cstdint>

// The tick count every getTickCount of the coming frame returns.
void setFrameTick(uint32_t tick);
// The keys the coming frame sees held (held[vk] for each virtual key); every
// other key reads as up.
void setFrameKeys(const bool held[256]);
// Where platformRand draws from after the next platformSrand: the C library's
// own rand (the default), or a model of one that a played script names.
void setRandSource(RandSource source);
