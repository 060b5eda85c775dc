// The trace: one JSON line of world state after every frame, its fields in
// the order replay.md gives. hillcar-replay prints it; the program's --trace
// writes the very same bytes. Nothing here calls the platform or GL.
#pragma once

#include "frame/world.h"
#include "platform/scripted/gl_record.h"

#include <cstdint>
#include <cstdio>

// One trace line (with its newline) for a frame that has just run on world.
void replayWriteTrace(FILE* out, uint64_t frame, uint32_t tick, const World& world,
                      const FrameValues& values, GlCounts gl);
