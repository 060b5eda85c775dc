#pragma once

#include "frame/world.h"

// Push the trailer clear of the truck (setting bumped), hang it on the hitch,
// put it on the ground and rebuild its frames.
void coupleTrailer(RigState& rig, const float (*w)[GRID], float dt, bool bumped[5]);
