// Worlds for the benchmarks, shaped the way a run shapes them.
#pragma once

#include "frame/world.h"

#include <cstdint>

// Frame time handed to the stages when they run outside a frame: 60 per second.
constexpr float benchDt = 1.0f / 60.0f;
constexpr uint32_t benchTickStep = 16; // milliseconds between scripted frames

// A generated heightmap reshaped by the start-up script played to its end (its
// operations and smoothing passes, with the rig driving over it), then one
// application of each terrain operation and a few plain passes. No script is
// left playing. Seeds rand() first, so every call gives the same world.
void shapeWorld(World& world);

// Runs n whole frames of the given world with the keys as they are, each
// 16 ms after the one before (tick is the scripted tick count, advanced here).
// The GL calls go wherever the current GL mode sends them.
void runFrames(World& world, int n, uint32_t& tick);
