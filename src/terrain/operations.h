// The ten terrain operations and the digit / Enter key chain that picks one.
#pragma once

#include "frame/world.h"

// Digits, Shift + digits and Enter (or dorandom), in their fixed order.
// Returns the chosen operation, or -1 when none is chosen this frame.
int readTerrainKeys(TerrainState& terrain, bool dorandom);

// One application of operation opnum: 200 random points around a random centre.
void applyTerrainOperation(float (*w)[GRID], int opnum);

// Operation 9's new height for vertex (i, j): the mean of its 5x5 block, a
// vertex off the grid counting as the centre.
float retBlockMean(const float (*w)[GRID], int i, int j);
