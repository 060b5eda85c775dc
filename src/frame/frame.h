// The frame driver.
#pragma once

#include "frame/world.h"
#include "platform/platform.h"

// One whole frame on the given world, the stages in their fixed order; returns
// the frame's per-frame values for whoever watches (hillcar-replay, tests).
FrameValues runFrame(World& world, DeviceContext* dc);

// The program's world: built on first use, never freed.
World& theWorld();

// The program's world and grid spacing as they were before the first frame,
// for a run that starts again from a script's seed (hillcar-replay, a drive
// opened in the page).
void resetWorld();

// The per-frame values of the most recent goGLprog frame.
const FrameValues& lastFrameValues();

// One frame of the program's world; the message loop calls it whenever no
// event waits.
void goGLprog(DeviceContext* dc);
