// Small vector products the rig stages share.
#pragma once

#include "geometry/vec3.h"

// Right-handed cross product; the rig's up axis is forward x side and its side
// axis up x forward, neither renormalised.
inline vec3 retCross(vec3 a, vec3 b)
{
    return vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

inline float retDot(vec3 a, vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
