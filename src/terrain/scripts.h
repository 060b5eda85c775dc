// Terrain scripts: short sequences of terrain actions played one step per frame.
#pragma once

#include "frame/world.h"

// The script that shapes the fresh terrain; loaded by the world generation.
void loadStartupScript(TerrainState& terrain);

// Shift + digit: '1'..'7' load a built-in script, '0' stops the running one.
void loadScript(TerrainState& terrain, int digit);

// One frame of the running script. Returns true when the step applies a
// terrain operation (opnum is then set and the key chain is skipped); a step
// may instead raise dorandom or dosmooth for this frame.
bool stepScript(TerrainState& terrain, int& opnum, bool& dorandom, bool& dosmooth);
