// The `dump heights` and `dump colors` lines: the heightmap and the colour
// map of the most recent frame, one JSON line each.
#pragma once

#include "frame/world.h"

#include <cstdio>

void replayDumpHeights(FILE* out, const World& world);
void replayDumpColors(FILE* out, const World& world);
