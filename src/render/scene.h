// Terrain, water and sky.
#pragma once

#include "frame/world.h"

// R and Shift + R.
void stepSkyKeys(SkyState& sky, float dt);
// The depth test and the projection, set once at start-up: resizing the
// window changes neither the aspect nor the viewport.
void setFixedProjection();
// The colour the next frame is cleared with.
void setClearColour(const SkyState& sky);
// One batch of 99 x 99 quads coloured from the colour map.
void drawTerrain(const TerrainState& terrain);
// The translucent water plane, hazed from the eye.
void drawWater(vec3 tra, vec3 clearcol);
