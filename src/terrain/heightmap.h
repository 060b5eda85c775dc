// The heightmap's layout and generation, ground sampling, and the grid-spacing keys.
#pragma once

#include "frame/world.h"

// Terrain height under world point p (only x and z are read), interpolated from
// the given heightmap with the current bsize; 0 outside cells 1..97.
float getGround(vec3 p, const float (*w)[GRID]);

// First frame only: random heights, the low start patch, the start-up script;
// clears init.
void generateWorld(TerrainState& terrain);

// Numpad plus and minus: grow or shrink bsize by 1.5 on release.
void stepGridKeys(TerrainState& terrain);
