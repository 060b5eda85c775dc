// Counts of the frame's glBegin, glVertex3f and glColor calls as the program
// draws, for the trace: the same counts hillcar-replay's recording GL keeps.
// The calls still go to the real GL; the link routes them through counters
// (gl_count.cpp).
#pragma once

#include "platform/scripted/gl_record.h"

void glCountReset();
GlCounts glCounted();
