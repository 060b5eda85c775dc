#pragma once

#include "geometry/vec3.h"

// One octagonal wheel, 14 quads, sent into a GL_QUADS primitive the caller has
// opened.
void drawWheel(vec3 fwd, vec3 side, vec3 up, vec3 hub, float rot);
