#pragma once

#include "frame/world.h"

// The truck's cab and box, its wheels, the trailer's box, the drawbar and the
// trailer's wheels.
void drawRig(const RigState& rig, const float (*w)[GRID]);
