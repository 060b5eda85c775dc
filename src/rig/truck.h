#pragma once

#include "frame/world.h"

// Move the truck, let the four axle points fall, put the truck on the ground
// and rebuild its frame and hitch.
void moveTruck(RigState& rig, const float (*w)[GRID], float dt);
