#include "geometry/vec3.h"

#include <cmath>

namespace {

// Squares summed and rooted in double, so any nonzero float difference has a
// length above 0 even where its float squares would underflow.
float retLen(vec3 d)
{
    double sum = (double)d.x * d.x + (double)d.y * d.y + (double)d.z * d.z;
    return (float)std::sqrt(sum);
}

} // namespace

float retDis(vec3 a, vec3 b)
{
    return retLen(b - a);
}

vec3 retNrm(vec3 a, vec3 b)
{
    vec3 d = b - a;
    float len = retLen(d);
    if (len > 0.0f) return d / len;
    return vec3(1.0f, 0.0f, 0.0f); // also catches a NaN length
}
