#pragma once

#include "frame/world.h"

// Autopilot, arrow keys, steering and speed.
void driveRig(RigState& rig, float dt);
