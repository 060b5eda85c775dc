#pragma once

#include "frame/world.h"

// Numpad 0 held: line the rig up behind the truck's nose and stand it upright.
void resetRig(RigState& rig);
