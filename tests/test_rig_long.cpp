#include "frame/keys.h"
#include "rig/drive.h"
#include "rig/reset.h"
#include "rig/trailer.h"
#include "rig/truck.h"

#include "test_rig_common.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace rigtest;

namespace {

// Rolling hills, a steep ridge, a pit under the water and a spike.
void variedGround(Heights& g)
{
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            float h = 8.0f * std::sin(i * 0.3f) * std::cos(j * 0.23f);
            if (i >= 20 && i <= 22) h += 25.0f;
            if (i >= 8 && i <= 14 && j >= 10 && j <= 16) h = -30.0f;
            g.w[i][j] = h;
        }
    g.w[12][4] = 60.0f;
}

void checkRig(const RigState& r, int frame, bool coupled)
{
    SCOPED_TRACE(frame);
    for (vec3 p : {r.rnos, r.rais})
        ASSERT_TRUE(finite(p));
    for (const positions* p : {&r.rpos, &r.vnos, &r.vpos})
        for (int i = 0; i < 4; i++) ASSERT_TRUE(finite((*p)[i]));
    for (float v : {r.rtrn, r.rspd, r.rrot, r.vrot, r.rafall, r.rbfall, r.vafall, r.vbfall, r.timeout})
        ASSERT_TRUE(std::isfinite(v));

    ASSERT_NEAR(retDis(r.rnos, r.rpos[0]), 3.0, 1e-3);
    ASSERT_NEAR(retDis(r.rpos[0], r.rais), 1.5, 1e-3);
    ASSERT_NEAR(retDis(r.rnos, r.rais), 4.5, 1e-3);
    ASSERT_NEAR(len(r.rpos[1]), 1.0, 1e-3);
    ASSERT_NEAR(len(r.rpos[2]), 1.0, 1e-3);

    float edge = bsize * 99 + 5;
    ASSERT_GE(r.rnos.x, -5.0f);
    ASSERT_GE(r.rnos.z, -5.0f);
    ASSERT_LE(r.rnos.x, edge);
    ASSERT_LE(r.rnos.z, edge);
    ASSERT_LE(std::fabs(r.rtrn), 0.5f);

    if (!coupled) return;
    // The ground lift changes heights only, so seen from above the drawbar
    // and the body are never longer than their lengths.
    ASSERT_LE(horizontalDis(r.vnos[0], r.rais), 2.0f + 1e-3f);
    ASSERT_LE(horizontalDis(r.vpos[0], r.vnos[0]), 3.0f + 1e-3f);
}

} // namespace

TEST(RigLongDrive, ConstraintsHoldOverVariedGround)
{
    KeyGuard keys;
    BsizeGuard restore;
    static Heights ground;
    variedGround(ground);
    static RigState rig;
    rig = RigState();
    srand(2024);

    struct Segment {
        int frames;
        std::initializer_list<int> keys;
        float bsize;
    } plan[] = {
        {300, {VK_UP}, 4.0f},
        {200, {VK_UP, VK_LEFT}, 4.0f},
        {150, {VK_UP, VK_RIGHT}, 4.0f},
        {100, {VK_DOWN}, 4.0f},
        {120, {VK_DOWN, VK_LEFT}, 4.0f},
        {30, {VK_NUMPAD0, VK_LEFT}, 4.0f},
        {250, {VK_UP, VK_LEFT, VK_RIGHT}, 4.0f},
        {1400, {}, 4.0f}, // hold-off runs out; the autopilot drives
        {300, {VK_UP, VK_RIGHT}, 6.0f},
        {200, {VK_UP}, 1.5f},
        {300, {VK_DOWN, VK_RIGHT}, 4.0f},
        {400, {VK_UP}, 4.0f},
    };
    const float dts[] = {0.004f, 0.016f, 0.033f, 0.1f, 0.016f, 0.25f, 0.016f};

    int frame = 0;
    double travelled = 0;
    float lowest = 1e9f, highest = -1e9f;
    for (const Segment& s : plan) {
        scriptReleaseKeys();
        for (int k : s.keys) scriptSetKey(k, true);
        bsize = s.bsize;
        for (int i = 0; i < s.frames; i++, frame++) {
            float dt = dts[frame % 7];
            bool bumped[5] = {};
            resetRig(rig);
            driveRig(rig, dt);
            moveTruck(rig, ground.w, dt);
            checkRig(rig, frame, false);
            coupleTrailer(rig, ground.w, dt, bumped);
            checkRig(rig, frame, true);
            if (HasFatalFailure()) return;
            travelled += std::fabs(rig.rspd * dt);
            lowest = std::min(lowest, rig.rnos.y);
            highest = std::max(highest, rig.rnos.y);
        }
    }
    // The drive was not a standstill on flat ground.
    EXPECT_GT(travelled, 300.0);
    EXPECT_GT(highest - lowest, 5.0f);
}
