#include "frame/keys.h"
#include "rig/drive.h"
#include "rig/reset.h"
#include "rig/trailer.h"
#include "rig/truck.h"

#include "test_rig_common.h"

#include <cstdlib>

using namespace rigtest;

namespace {

// A seed whose first three draws all miss the autopilot's tests, so an active
// autopilot keeps its action for one frame.
unsigned quietSeed()
{
    for (unsigned s = 1;; s++) {
        srand(s);
        int a = rand(), b = rand(), c = rand();
        if (a % 100 != 1 && b % 300 != 1 && c % 600 != 1) return s;
    }
}

RigState pausedRig()
{
    RigState rig;
    rig.timeout = 100.0f;
    rig.candrive = true;
    return rig;
}

} // namespace

TEST(RigDrive, SpeedSettlesUnderUp)
{
    KeyGuard keys;
    scriptSetKey(VK_UP, true);
    RigState rig = pausedRig();
    const float dt = 0.05f;
    for (int i = 0; i < 600; i++) {
        driveRig(rig, dt);
        ASSERT_LE(rig.rspd, 30.0f);
    }
    // Throttle 10 dt balances the resistance (r + 10 dt) * 0.5 dt.
    EXPECT_NEAR(rig.rspd, 20.0 - 10.0 * dt, 1e-3);
    EXPECT_FLOAT_EQ(rig.timeout, 15.0f);
}

TEST(RigDrive, SpeedSettlesUnderDown)
{
    KeyGuard keys;
    scriptSetKey(VK_DOWN, true);
    RigState rig = pausedRig();
    const float dt = 0.05f;
    for (int i = 0; i < 600; i++) driveRig(rig, dt);
    // The -7 limit comes before the resistance.
    EXPECT_NEAR(rig.rspd, -7.0 * (1.0 - 0.5 * dt), 1e-4);
}

TEST(RigDrive, PedalsAndLimitsNeedRearContact)
{
    KeyGuard keys;
    const float dt = 0.1f;
    scriptSetKey(VK_UP, true);

    RigState rig = pausedRig();
    rig.candrive = false;
    rig.rspd = 40.0f;
    driveRig(rig, dt);
    EXPECT_NEAR(rig.rspd, 40.0 * (1 - 0.5 * dt), 1e-4); // neither throttle nor clamp

    rig.candrive = true;
    rig.rspd = 40.0f;
    driveRig(rig, dt);
    EXPECT_NEAR(rig.rspd, 30.0 * (1 - 0.5 * dt), 1e-4);

    scriptReleaseKeys();
    scriptSetKey(VK_DOWN, true);
    rig.candrive = false;
    rig.rspd = -10.0f;
    driveRig(rig, dt);
    EXPECT_NEAR(rig.rspd, -10.0 * (1 - 0.5 * dt), 1e-4);

    rig.candrive = true;
    rig.rspd = 5.0f;
    driveRig(rig, dt);
    EXPECT_NEAR(rig.rspd, (5.0 - 10 * dt) * (1 - 0.5 * dt), 1e-4);
}

TEST(RigDrive, Steering)
{
    KeyGuard keys;
    const float dt = 0.1f;
    RigState rig = pausedRig();
    rig.candrive = false; // steering does not depend on contact

    scriptSetKey(VK_LEFT, true);
    driveRig(rig, dt);
    EXPECT_NEAR(rig.rtrn, dt * (1 - dt), 1e-6);
    for (int i = 0; i < 50; i++) driveRig(rig, dt);
    EXPECT_NEAR(rig.rtrn, 0.5 * (1 - dt), 1e-6);

    // Both keys: +dt and -dt cancel, only the decay remains.
    rig.rtrn = 0.2f;
    scriptSetKey(VK_RIGHT, true);
    driveRig(rig, dt);
    EXPECT_NEAR(rig.rtrn, 0.2 * (1 - dt), 1e-6);

    scriptSetKey(VK_LEFT, false);
    for (int i = 0; i < 50; i++) driveRig(rig, dt);
    EXPECT_NEAR(rig.rtrn, -0.5 * (1 - dt), 1e-6);
}

TEST(RigDrive, PausedAutopilotCountsDownWithoutDrawing)
{
    KeyGuard keys;
    RigState rig;
    rig.timeout = 1.0f;
    rig.aimind = 4;
    rig.rtrn = 0.4f;
    rig.rspd = 10.0f;
    rig.candrive = true;
    const float dt = 0.25f;

    srand(77);
    int next = rand();
    srand(77);
    driveRig(rig, dt);
    EXPECT_EQ(rand(), next);
    EXPECT_EQ(rig.aimind, 0);
    EXPECT_FLOAT_EQ(rig.timeout, 0.75f);
    EXPECT_NEAR(rig.rtrn, 0.4 * (1 - dt), 1e-6);
    EXPECT_NEAR(rig.rspd, 10.0 * (1 - 0.5 * dt), 1e-5);

    for (int i = 0; i < 3; i++) driveRig(rig, dt);
    EXPECT_FLOAT_EQ(rig.timeout, 0.0f);
    // At exactly 0 the autopilot is active: the next frame draws.
    srand(77);
    driveRig(rig, dt);
    EXPECT_NE(rand(), next);
    EXPECT_FLOAT_EQ(rig.timeout, 0.0f);
}

TEST(RigDrive, AutopilotDrawChain)
{
    KeyGuard keys;
    int branch[4] = {};
    for (unsigned seed = 1; seed <= 30000; seed++) {
        srand(seed);
        int r[5];
        for (int& v : r) v = rand();

        // The documented chain, each draw only after the previous test missed.
        int expected = 5, used;
        if (r[0] % 100 == 1) {
            expected = 1, used = 1, branch[0]++;
        } else if (r[1] % 300 == 1) {
            expected = r[2] % 4, used = 3, branch[1]++;
        } else if (r[2] % 600 == 1) {
            expected = r[3] % 7, used = 4, branch[2]++;
        } else {
            used = 3, branch[3]++;
        }

        RigState rig;
        rig.timeout = 0.0f;
        rig.aimind = 5;
        srand(seed);
        driveRig(rig, 0.01f);
        ASSERT_EQ(rig.aimind, expected) << "seed " << seed;
        ASSERT_EQ(rand(), r[used]) << "seed " << seed;
    }
    for (int n : branch) EXPECT_GT(n, 0);
}

TEST(RigDrive, AutopilotActions)
{
    KeyGuard keys;
    const unsigned seed = quietSeed();
    const float dt = 0.1f;
    // aimind: speed sign, steering sign.
    const int table[7][2] = {{0, 0}, {1, 0}, {1, -1}, {1, 1}, {-1, 0}, {-1, -1}, {-1, 1}};
    for (int a = 0; a < 7; a++) {
        RigState rig;
        rig.timeout = -1.0f;
        rig.candrive = true;
        rig.aimind = a;
        srand(seed);
        driveRig(rig, dt);
        ASSERT_EQ(rig.aimind, a);
        EXPECT_NEAR(rig.rspd, table[a][0] * 10 * dt * (1 - 0.5 * dt), 1e-5) << a;
        EXPECT_NEAR(rig.rtrn, table[a][1] * dt * (1 - dt), 1e-6) << a;
    }
}

TEST(RigDrive, ArrowPausesAutopilotFromNextFrame)
{
    KeyGuard keys;
    const float dt = 0.1f;
    RigState rig;
    rig.timeout = 0.0f;
    rig.candrive = true;
    rig.aimind = 1;
    srand(quietSeed());
    scriptSetKey(VK_LEFT, true);

    // This frame the pick and the key act together.
    driveRig(rig, dt);
    EXPECT_EQ(rig.aimind, 1);
    EXPECT_FLOAT_EQ(rig.timeout, 15.0f);
    EXPECT_NEAR(rig.rspd, 10 * dt * (1 - 0.5 * dt), 1e-5);
    EXPECT_NEAR(rig.rtrn, dt * (1 - dt), 1e-6);

    scriptReleaseKeys();
    float before = rig.rspd;
    driveRig(rig, dt);
    EXPECT_EQ(rig.aimind, 0);
    EXPECT_FLOAT_EQ(rig.timeout, 15.0f - dt);
    EXPECT_NEAR(rig.rspd, before * (1 - 0.5 * dt), 1e-5);

    // Any arrow restarts the hold-off.
    rig.timeout = 3.0f;
    scriptSetKey(VK_DOWN, true);
    driveRig(rig, dt);
    EXPECT_FLOAT_EQ(rig.timeout, 15.0f);
}

TEST(RigReset, LinesUpBehindNose)
{
    KeyGuard keys;
    RigState rig = levelRig(vec3(100, 0.3f, 100), 1, 0);
    // Trailer swung out, body tilted, assorted motion state.
    rig.vnos[0] = vec3(90, 2, 110);
    rig.vpos[0] = vec3(80, -1, 120);
    rig.rpos[3] = vec3(0.3f, 0.9f, 0.1f);
    rig.vnos[3] = vec3(0, -1, 0);
    rig.rtrn = 0.3f, rig.rspd = 12.0f, rig.rrot = 5.0f, rig.vrot = 4.0f;
    rig.rafall = 3.0f, rig.vbfall = 2.0f, rig.canturn = false;
    RigState before = rig;

    resetRig(rig); // key up: nothing
    expectNear(rig.vnos[0], 90, 2, 110, 0);
    expectNear(rig.rpos[3], 0.3f, 0.9f, 0.1f, 0);

    scriptSetKey(VK_NUMPAD0, true);
    resetRig(rig);
    expectNear(rig.rpos[0], 97, 0.3f, 100, 1e-6);
    expectNear(rig.rais, 95.5, 0.3f, 100, 1e-6);
    expectNear(rig.vnos[0], 93.5, 0.3f, 100, 1e-6);
    expectNear(rig.vpos[0], 90.5, 0.3f, 100, 1e-6);
    for (const positions* p : {&rig.rpos, &rig.vnos, &rig.vpos}) expectNear((*p)[3], 0, 1, 0, 0);

    expectNear(rig.rnos, 100, 0.3f, 100, 0);
    expectNear(rig.rpos[1], 1, 0, 0, 0);
    expectNear(rig.rpos[2], 0, 0, -1, 0);
    expectNear(rig.vnos[1], 1, 0, 0, 0);
    EXPECT_EQ(rig.rtrn, before.rtrn);
    EXPECT_EQ(rig.rspd, before.rspd);
    EXPECT_EQ(rig.rrot, before.rrot);
    EXPECT_EQ(rig.vrot, before.vrot);
    EXPECT_EQ(rig.rafall, before.rafall);
    EXPECT_EQ(rig.vbfall, before.vbfall);
    EXPECT_EQ(rig.canturn, before.canturn);
    EXPECT_EQ(rig.candrive, before.candrive);
}

TEST(RigReset, FullUpdateOnLevelGroundKeepsTheLine)
{
    KeyGuard keys;
    static Heights ground(0.0f);
    RigState rig = levelRig(vec3(100, 0.3f, 100), 1, 0);
    rig.timeout = 100.0f;
    rig.vnos[0] = vec3(95, 0.3f, 105); // trailer at an angle
    rig.vpos[0] = vec3(96, 0.3f, 109);
    scriptSetKey(VK_NUMPAD0, true);

    bool bumped[5] = {};
    resetRig(rig);
    driveRig(rig, 0.02f);
    moveTruck(rig, ground.w, 0.02f);
    coupleTrailer(rig, ground.w, 0.02f, bumped);

    for (vec3 p : {rig.rpos[0], rig.rais, rig.vnos[0], rig.vpos[0]}) {
        EXPECT_NEAR(p.z, 100, 1e-4);
        EXPECT_NEAR(p.y, 0.3, 1e-4);
    }
    EXPECT_NEAR(rig.rnos.x - rig.rpos[0].x, 3.0, 1e-4);
    EXPECT_NEAR(rig.rnos.x - rig.rais.x, 4.5, 1e-4);
    EXPECT_NEAR(rig.rnos.x - rig.vnos[0].x, 6.5, 1e-3);
    EXPECT_NEAR(rig.rnos.x - rig.vpos[0].x, 9.5, 1e-3);
    for (bool b : bumped) EXPECT_FALSE(b);
}

TEST(RigReset, RightsARigOnItsRoof)
{
    KeyGuard keys;
    static Heights ground(0.0f);
    for (bool reset : {false, true}) {
        RigState rig = levelRig(vec3(100, 0.3f, 100), 1, 0);
        for (positions* p : {&rig.rpos, &rig.vnos, &rig.vpos}) {
            (*p)[2] = vec3(0, 0, 1);
            (*p)[3] = vec3(0, -1, 0);
        }
        scriptSetKey(VK_NUMPAD0, reset);
        bool bumped[5] = {};
        resetRig(rig);
        moveTruck(rig, ground.w, 0.02f);
        coupleTrailer(rig, ground.w, 0.02f, bumped);
        for (const positions* p : {&rig.rpos, &rig.vnos, &rig.vpos}) {
            if (reset)
                EXPECT_NEAR((*p)[3].y, 1.0, 1e-4);
            else
                EXPECT_LT((*p)[3].y, 0.0f); // stays on its roof untouched
        }
    }
}
