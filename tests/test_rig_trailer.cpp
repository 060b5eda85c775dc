#include "frame/keys.h"
#include "rig/drive.h"
#include "rig/reset.h"
#include "rig/trailer.h"
#include "rig/truck.h"

#include "test_rig_common.h"

#include <cmath>

using namespace rigtest;

namespace {

vec3 unit(double x, double y, double z)
{
    double l = std::sqrt(x * x + y * y + z * z);
    return vec3((float)(x / l), (float)(y / l), (float)(z / l));
}

// Truck level at height 0.3 facing +x: nose (100, 100), rear axle (97, 100),
// hitch (95.5, 100), centre T (98.5, 100) in x and z.
RigState truckFacingX(vec3 trailerFront, vec3 trailerRear)
{
    RigState rig = levelRig(vec3(100, 0.3f, 100), 1, 0);
    rig.vnos[0] = trailerFront;
    rig.vpos[0] = trailerRear;
    return rig;
}

void expectFlags(const bool bumped[5], std::initializer_list<int> set)
{
    for (int i = 0; i < 5; i++) {
        bool want = false;
        for (int s : set) want = want || s == i;
        EXPECT_EQ(bumped[i], want) << "bumped[" << i << "]";
    }
}

} // namespace

TEST(RigTrailer, Rule1KeepsFrontAxleFromTruckCentre)
{
    static Heights ground(0.0f);
    RigState rig = truckFacingX(vec3(98.5f, 0.3f, 102), vec3(98.5f, 0.3f, 105));
    bool bumped[5] = {};
    coupleTrailer(rig, ground.w, 0.1f, bumped);
    expectFlags(bumped, {0});
    // Pushed to (98.5, 102.3), 2.3 from T, then hung on the drawbar.
    vec3 e = unit(-3, 0, -2.3);
    expectNear(rig.vnos[1], e.x, e.y, e.z, 1e-5);
    EXPECT_NEAR(horizontalDis(rig.vnos[0], rig.rais), 2.0, 1e-5);
}

TEST(RigTrailer, Rules2To4KeepRearAxleFromTruck)
{
    static Heights ground(0.0f);
    struct Case {
        int rule;
        vec3 front, rear;
        double ex, ez; // vpos[1] direction after the push and the drawbar
    } cases[] = {
        // Rear axle 1.0 beside T, pushed to (98.5, 101.7); front axle hangs at (93.5, 100).
        {1, vec3(90, 0.3f, 100), vec3(98.5f, 0.3f, 101), -5, -1.7},
        // 1.0 beside the nose, pushed to (100, 101.7); front axle at (97.5, 100).
        {2, vec3(104, 0.3f, 100), vec3(100, 0.3f, 101), -2.5, -1.7},
        // 1.0 beside the rear axle, pushed to (97, 101.7).
        {3, vec3(90, 0.3f, 100), vec3(97, 0.3f, 101), -3.5, -1.7},
    };
    for (const Case& c : cases) {
        RigState rig = truckFacingX(c.front, c.rear);
        bool bumped[5] = {};
        coupleTrailer(rig, ground.w, 0.1f, bumped);
        expectFlags(bumped, {c.rule});
        vec3 e = unit(c.ex, 0, c.ez);
        expectNear(rig.vpos[1], e.x, e.y, e.z, 1e-5);
        EXPECT_NEAR(horizontalDis(rig.vpos[0], rig.vnos[0]), 3.0, 1e-5);
    }
}

TEST(RigTrailer, Rule5ShiftsTrailerWithoutTurningIt)
{
    static Heights ground(0.0f);
    // Trailer across the truck's line, its centre 1.0 behind the hitch.
    RigState rig = truckFacingX(vec3(94.5f, 0.3f, 101.5f), vec3(94.5f, 0.3f, 98.5f));
    bool bumped[5] = {};
    coupleTrailer(rig, ground.w, 0.1f, bumped);
    expectFlags(bumped, {4});

    // Centre moved to 1.3 behind the hitch (94.2, 100), still across: front
    // (94.2, 101.5), rear (94.2, 98.5). Then the drawbar and the body.
    double fx = 94.2, fz = 101.5, rx = 94.2, rz = 98.5;
    vec3 bar = unit(95.5 - fx, 0, 100 - fz);
    expectNear(rig.vnos[1], bar.x, bar.y, bar.z, 1e-5);
    double nx = 95.5 - 2 * bar.x, nz = 100 - 2 * bar.z;
    vec3 body = unit(nx - rx, 0, nz - rz);
    expectNear(rig.vpos[1], body.x, body.y, body.z, 1e-5);
    expectNear(rig.vnos[0], nx, 0.3, nz, 1e-4);
    expectNear(rig.vpos[0], nx - 3 * body.x, 0.3, nz - 3 * body.z, 1e-4);
}

TEST(RigTrailer, CoincidingPointIsPushedTowardsMinusX)
{
    static Heights ground(0.0f);
    // Truck facing +z: T = (100, 98.5), hitch (100, 95.5). Front axle exactly on T.
    RigState rig = levelRig(vec3(100, 0.3f, 100), 0, 1);
    rig.vnos[0] = vec3(100, 0.3f, 98.5f);
    rig.vpos[0] = vec3(110, 0.3f, 90);
    bool bumped[5] = {};
    coupleTrailer(rig, ground.w, 0.1f, bumped);
    expectFlags(bumped, {0});
    vec3 e = unit(2.3, 0, -3); // from (97.7, 98.5) to the hitch
    expectNear(rig.vnos[1], e.x, e.y, e.z, 1e-5);
}

TEST(RigTrailer, SeparationBrakesOnlyWithRearContact)
{
    static Heights ground(0.0f);
    const float dt = 0.1f;
    for (bool candrive : {true, false}) {
        // One rule.
        RigState rig = truckFacingX(vec3(98.5f, 0.3f, 102), vec3(98.5f, 0.3f, 105));
        rig.candrive = candrive;
        rig.rspd = 10.0f;
        bool bumped[5] = {};
        coupleTrailer(rig, ground.w, dt, bumped);
        EXPECT_NEAR(rig.rspd, candrive ? 10 * (1 - 2.5 * dt) : 10.0, 1e-5);

        // Rules 1 and 4 together brake twice.
        rig = truckFacingX(vec3(98.5f, 0.3f, 102), vec3(97, 0.3f, 101));
        rig.candrive = candrive;
        rig.rspd = 10.0f;
        bool both[5] = {};
        coupleTrailer(rig, ground.w, dt, both);
        expectFlags(both, {0, 3});
        double f = 1 - 2.5 * dt;
        EXPECT_NEAR(rig.rspd, candrive ? 10 * f * f : 10.0, 1e-5);
    }
    // No rule, no braking.
    RigState rig = truckFacingX(vec3(93.5f, 0.3f, 100), vec3(90.5f, 0.3f, 100));
    rig.rspd = 10.0f;
    bool none[5] = {};
    coupleTrailer(rig, ground.w, dt, none);
    expectFlags(none, {});
    EXPECT_EQ(rig.rspd, 10.0f);
}

TEST(RigTrailer, AxlesSettleOnTheGround)
{
    static Heights ground(0.0f);
    RigState rig = truckFacingX(vec3(93.5f, -1, 100), vec3(90.5f, -1, 100));
    rig.vafall = rig.vbfall = 5.0f;
    bool bumped[5] = {};
    coupleTrailer(rig, ground.w, 0.02f, bumped);
    EXPECT_NEAR(rig.vnos[0].y, 0.3, 1e-6);
    EXPECT_NEAR(rig.vpos[0].y, 0.3, 1e-6);
    EXPECT_EQ(rig.vafall, 1.0f);
    EXPECT_EQ(rig.vbfall, 1.0f);
    // The drawbar climbs from the sunken axle to the hitch: forward (2, 1.3, 0)
    // normalised, and the forward axes keep that pitch after the lift.
    vec3 bar = unit(2, 1.3, 0);
    expectNear(rig.vnos[1], bar.x, bar.y, bar.z, 1e-5);
    for (const positions* p : {&rig.vnos, &rig.vpos}) {
        const positions& f = *p;
        // Both wheels at 0.3: the side is level, pointing left of +x, and up
        // is forward x (0, 0, -1) = (-f.y, f.x, 0).
        expectNear(f[2], 0, 0, -1, 1e-5);
        expectNear(f[3], -f[1].y, f[1].x, 0, 1e-5);
    }

    // Above the ground: no contact, fall speeds untouched.
    rig = truckFacingX(vec3(93.5f, 2, 100), vec3(90.5f, 2, 100));
    rig.rnos.y = rig.rpos[0].y = rig.rais.y = 2.0f;
    rig.vafall = rig.vbfall = 3.0f;
    coupleTrailer(rig, ground.w, 0.02f, bumped);
    EXPECT_EQ(rig.vafall, 3.0f);
    EXPECT_EQ(rig.vbfall, 3.0f);
    EXPECT_NEAR(rig.vpos[0].y, 2.0, 1e-6);
}

// Each wheel adds the clearance in double and rounds once. On heights where a
// float sum would differ, a sunken trailer is lifted exactly to the contact
// height and stays level (one side summed in float would tilt its side axis),
// and a trailer standing at that height touches nothing.
TEST(RigTrailer, ContactHeightOnHeightsWhereAFloatSumDiffers)
{
    static Heights ground;
    const std::vector<float> heights = splitHeights();
    ASSERT_GT(heights.size(), 100u);
    for (float h : heights) {
        ground.fill(h);
        const float g = contactHeight(h);
        RigState rig = levelRig(vec3(100, h, 100), 1, 0);
        rig.vafall = rig.vbfall = 3.0f;
        bool bumped[5] = {};
        coupleTrailer(rig, ground.w, 0.0f, bumped);
        for (const positions* p : {&rig.vnos, &rig.vpos}) {
            EXPECT_EQ((*p)[0].y, g) << h;
            EXPECT_EQ((*p)[2].y, 0.0f) << h;
        }
        EXPECT_EQ(rig.vafall, 1.0f) << h;
        EXPECT_EQ(rig.vbfall, 1.0f) << h;

        rig = levelRig(vec3(100, g, 100), 1, 0);
        rig.vafall = rig.vbfall = 3.0f;
        coupleTrailer(rig, ground.w, 0.0f, bumped);
        EXPECT_EQ(rig.vafall, 3.0f) << h;
        EXPECT_EQ(rig.vbfall, 3.0f) << h;
        EXPECT_EQ(rig.vpos[0].y, g) << h;
    }
}

TEST(RigTrailer, OneWheelOnACrossSlope)
{
    static Heights ground;
    for (float k : {0.5f, -0.5f}) {
        // Ground k (z - 100): the trailer's wheels at z -/+ 0.8 stand at
        // -/+ 0.8 k, so only the uphill wheel of each axle reaches the ground.
        for (int i = 0; i < GRID; i++)
            for (int j = 0; j < GRID; j++) ground.w[i][j] = k * (4.0f * j - 100);
        RigState rig = truckFacingX(vec3(93.5f, 0.3f, 100), vec3(90.5f, 0.3f, 100));
        rig.vafall = rig.vbfall = 3.0f;
        bool bumped[5] = {};
        coupleTrailer(rig, ground.w, 0.02f, bumped);
        double lift = 0.8 * std::fabs(k); // the uphill wheel rises by this much
        double leftY = 0.3 + (k < 0 ? lift : 0), rightY = 0.3 + (k > 0 ? lift : 0);
        vec3 side = unit(0, leftY - rightY, -1.6);
        for (const positions* p : {&rig.vnos, &rig.vpos}) {
            EXPECT_NEAR((*p)[0].y, 0.3 + lift / 2, 1e-5) << k;
            expectNear((*p)[2], side.x, side.y, side.z, 1e-5);
        }
        EXPECT_EQ(rig.vafall, 1.0f) << k;
        EXPECT_EQ(rig.vbfall, 1.0f) << k;
    }
}

TEST(RigTrailer, FollowsInLineDrivingStraight)
{
    static Heights ground(0.0f);
    for (float speed : {10.0f, -5.0f}) {
        RigState rig = levelRig(vec3(100, 0.3f, 100), 1, 0);
        rig.rspd = speed;
        for (int i = 0; i < 100; i++) {
            float rrot = rig.rrot, vrot = rig.vrot;
            bool bumped[5] = {};
            moveTruck(rig, ground.w, 0.02f);
            coupleTrailer(rig, ground.w, 0.02f, bumped);
            expectFlags(bumped, {});
            // Close, not equal: the trailer's fall each frame tilts the drawbar a little.
            ASSERT_NEAR(rig.vrot - vrot, rig.rrot - rrot, 5e-4) << i;
        }
        EXPECT_NEAR(rig.vrot, speed * 2.0, 1e-3);
        EXPECT_NEAR(rig.vnos[0].z, 100, 1e-4);
        EXPECT_NEAR(rig.vpos[0].z, 100, 1e-4);
        EXPECT_NEAR(rig.rnos.x - rig.vpos[0].x, 9.5, 1e-3);
    }
}

TEST(RigTrailer, FirstFrameAfterStartUp)
{
    KeyGuard keys;
    static Heights ground(0.0f);
    for (float dt : {0.0f, 0.016f}) {
        RigState rig; // as the frame driver builds it
        bool bumped[5] = {};
        resetRig(rig);
        driveRig(rig, dt);
        moveTruck(rig, ground.w, dt);
        coupleTrailer(rig, ground.w, dt, bumped);

        const double r = std::sqrt(0.5);
        expectNear(rig.rnos, 20, 0.3, 20, 1e-5);
        expectNear(rig.rpos[1], r, 0, r, 1e-6);
        expectNear(rig.rpos[0], 20 - 3 * r, 0.3, 20 - 3 * r, 1e-5);
        expectNear(rig.rais, 20 - 4.5 * r, 0.3, 20 - 4.5 * r, 1e-5);
        expectNear(rig.rpos[3], 0, 1, 0, 1e-6);
        EXPECT_TRUE(rig.canturn);
        EXPECT_TRUE(rig.candrive);

        expectFlags(bumped, {});
        // Pulled from the origin into line behind the hitch.
        EXPECT_NEAR(horizontalDis(rig.vnos[0], rig.rais), 2.0, 1e-3);
        EXPECT_NEAR(horizontalDis(rig.vpos[0], rig.rais), 5.0, 1e-3);
        EXPECT_NEAR(rig.vnos[0].x, rig.vnos[0].z, 1e-4);
        EXPECT_NEAR(rig.vpos[0].x, rig.vpos[0].z, 1e-4);
        EXPECT_LT(rig.vpos[0].x, rig.vnos[0].x);
        EXPECT_NEAR(rig.vnos[0].y, 0.3, 1e-5);
        EXPECT_NEAR(rig.vpos[0].y, 0.3, 1e-5);
    }
}
