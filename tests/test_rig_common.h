// Shared set-up for the rig tests: a heightmap of the test's own, a rig placed
// level on it, and guards for the global key state and grid spacing.
#pragma once

#include "frame/world.h"
#include "platform/scripted/scripted.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace rigtest {

struct KeyGuard {
    KeyGuard() { scriptReleaseKeys(); }
    ~KeyGuard() { scriptReleaseKeys(); }
};

struct BsizeGuard {
    ~BsizeGuard() { bsize = 4.0f; }
};

struct Heights {
    float w[GRID][GRID];
    explicit Heights(float h = 0.0f) { fill(h); }
    void fill(float h)
    {
        for (auto& row : w)
            for (float& v : row) v = h;
    }
};

inline bool finite(vec3 v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

inline float len(vec3 v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

inline float horizontalDis(vec3 a, vec3 b)
{
    return std::hypot(a.x - b.x, a.z - b.z);
}

// The height a wheel is lifted to over ground h: the clearance 0.3 added in
// double and rounded once to float.
inline float contactHeight(float h)
{
    return (float)((double)h + 0.3);
}

// Ground heights, hundredths from -3 to 3, over which adding 0.3f in float
// would give another contact height (one float step higher: 0.3f lies above
// 0.3). About a fifth of them.
inline std::vector<float> splitHeights()
{
    std::vector<float> hs;
    for (int k = -300; k <= 300; k++) {
        const float h = (float)(k / 100.0);
        if (h + 0.3f != contactHeight(h)) hs.push_back(h);
    }
    return hs;
}

inline void expectNear(vec3 v, double x, double y, double z, double tol)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

// A rig standing level with its nose at `nose`, facing the horizontal unit
// direction (fx, 0, fz), trailer lined up behind, all wheels on the ground
// as far as the flags and fall speeds go.
inline RigState levelRig(vec3 nose, float fx, float fz)
{
    RigState rig;
    vec3 f(fx, 0, fz);
    vec3 side(fz, 0, -fx); // up x forward with up = +y: the body's left
    vec3 up(0, 1, 0);
    rig.rnos = nose;
    rig.rpos[0] = nose - f * 3.0f;
    rig.rpos[1] = f;
    rig.rpos[2] = side;
    rig.rpos[3] = up;
    rig.rais = nose - f * 4.5f;
    rig.vnos[0] = nose - f * 6.5f;
    rig.vpos[0] = nose - f * 9.5f;
    for (positions* p : {&rig.vnos, &rig.vpos}) {
        (*p)[1] = f;
        (*p)[2] = side;
        (*p)[3] = up;
    }
    rig.rafall = rig.rbfall = rig.vafall = rig.vbfall = 1.0f;
    rig.canturn = rig.candrive = true;
    rig.timeout = 15.0f;
    return rig;
}

} // namespace rigtest
