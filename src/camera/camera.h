#pragma once

#include "frame/world.h"

// V key, the eye, target and up of the current view, the eye's ground
// clearance, and the view transform.
void placeCamera(CameraState& camera, const RigState& rig, const float (*w)[GRID]);
