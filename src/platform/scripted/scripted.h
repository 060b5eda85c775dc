// The scripted platform: key state and tick count set by the caller instead of
// read from a keyboard and a clock. Used by tests, benchmarks and hillcar-replay.
#pragma once

#include "platform/scripted/rand_model.h"

#include <cstdint>

// Hold or release one virtual key (0..255; others are ignored).
void scriptSetKey(int vk, bool held);
// Release every key.
void scriptReleaseKeys();
// The value every tick-count reading returns until the next call.
void scriptSetTick(uint32_t tick);
// Where platformRand draws from: the C library's rand (the default) or a
// model of one. Takes effect at the next platformSrand.
void scriptSetRand(RandSource source);
