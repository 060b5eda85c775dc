#pragma once

#include "frame/world.h"

// Markers of the rig's points, wheels, headings and this frame's separations.
void drawRigDebug(const RigState& rig, const bool bumped[5]);
