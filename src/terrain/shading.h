// The per-vertex pass: limits, border, relaxation, slope light, shadows, haze.
#pragma once

#include "frame/world.h"

// Shadow factor in [0.5, 1] that a point at world (px, pz) lays on vertex (gi, gj).
float getShadow(float px, float pz, float gi, float gj);

// Runs over all vertices, i outer and j inner, in place; rewrites every colour.
void relaxAndShade(TerrainState& terrain, const RigState& rig, vec3 tra, vec3 clearcol,
                   bool dosmooth);
