#include "rig/truck.h"

#include "test_rig_common.h"

#include <cmath>

using namespace rigtest;

TEST(RigTruck, RestsOnLevelGround)
{
    static Heights ground(2.5f);
    const float h = 2.5f;
    for (float fall : {0.0f, 1.0f}) {
        RigState rig = levelRig(vec3(100, h + 0.3f, 120), 1, 0);
        rig.rafall = rig.rbfall = fall;
        for (int i = 0; i < 50; i++) {
            moveTruck(rig, ground.w, 0.02f);
            // From rest with no fall speed nothing sinks in the first frame,
            // so nothing needs lifting.
            if (fall == 0.0f && i == 0) continue;
            ASSERT_TRUE(rig.canturn) << i;
            ASSERT_TRUE(rig.candrive) << i;
        }
        expectNear(rig.rnos, 100, h + 0.3, 120, 1e-5);
        expectNear(rig.rpos[0], 97, h + 0.3, 120, 1e-5);
        expectNear(rig.rais, 95.5, h + 0.3, 120, 1e-5);
        expectNear(rig.rpos[1], 1, 0, 0, 1e-6);
        expectNear(rig.rpos[2], 0, 0, -1, 1e-6);
        expectNear(rig.rpos[3], 0, 1, 0, 1e-6);
        EXPECT_FLOAT_EQ(rig.rafall, 1.0f);
        EXPECT_FLOAT_EQ(rig.rbfall, 1.0f);
    }
}

// On heights where a float sum of the clearance would differ: a wheel at the
// contact height does not touch, and one a float step lower is lifted to it.
TEST(RigTruck, WheelExactlyOnTheGroundIsNotTouching)
{
    static Heights ground;
    const std::vector<float> heights = splitHeights();
    ASSERT_GT(heights.size(), 100u);
    for (float h : heights) {
        ground.fill(h);
        const float g = contactHeight(h);
        RigState rig = levelRig(vec3(100, g, 100), 1, 0);
        rig.rafall = rig.rbfall = 0.0f;
        moveTruck(rig, ground.w, 0.0f); // nothing falls: the wheels sit exactly at g
        EXPECT_FALSE(rig.canturn) << h;
        EXPECT_FALSE(rig.candrive) << h;
        EXPECT_EQ(rig.rafall, 0.0f) << h;
        EXPECT_EQ(rig.rnos.y, g) << h;

        rig.rnos.y = rig.rpos[0].y = std::nextafter(g, -INFINITY);
        moveTruck(rig, ground.w, 0.0f);
        EXPECT_TRUE(rig.canturn) << h;
        EXPECT_TRUE(rig.candrive) << h;
        EXPECT_EQ(rig.rafall, 1.0f) << h;
        EXPECT_EQ(rig.rbfall, 1.0f) << h;
        // All four wheels at g: level, and both axles exactly there.
        EXPECT_EQ(rig.rnos.y, g) << h;
        EXPECT_EQ(rig.rpos[0].y, g) << h;
        EXPECT_EQ(rig.rpos[2].y, 0.0f) << h;
    }
}

TEST(RigTruck, DroppedTruckFallsNoseFirstAndLands)
{
    static Heights ground(0.0f);
    RigState rig = levelRig(vec3(100, 10, 100), 1, 0);
    rig.rafall = rig.rbfall = rig.vafall = rig.vbfall = 0.0f;
    const float dt = 0.02f;

    moveTruck(rig, ground.w, dt);
    EXPECT_FALSE(rig.canturn);
    EXPECT_FALSE(rig.candrive);
    EXPECT_FLOAT_EQ(rig.rafall, 7 * dt);
    EXPECT_FLOAT_EQ(rig.rbfall, 5.5f * dt);
    EXPECT_FLOAT_EQ(rig.vafall, 4.5f * dt);
    EXPECT_FLOAT_EQ(rig.vbfall, 4.5f * dt);

    for (int i = 0; i < 20; i++) moveTruck(rig, ground.w, dt);
    EXPECT_LT(rig.rpos[1].y, 0.0f); // pitched nose down
    EXPECT_LT(rig.rnos.y, rig.rpos[0].y);
    EXPECT_GT(rig.rpos[3].y, 0.0f);
    EXPECT_NEAR(retDis(rig.rnos, rig.rpos[0]), 3.0, 1e-5);

    for (int i = 0; i < 300; i++) moveTruck(rig, ground.w, dt);
    EXPECT_EQ(rig.rafall, 1.0f);
    EXPECT_EQ(rig.rbfall, 1.0f);
    EXPECT_TRUE(rig.canturn);
    EXPECT_TRUE(rig.candrive);
    EXPECT_NEAR(rig.rnos.y, 0.3, 1e-4);
    EXPECT_NEAR(rig.rpos[0].y, 0.3, 1e-4);
    EXPECT_NEAR(rig.rpos[3].y, 1.0, 1e-4);
}

TEST(RigTruck, FallIsSlowBelowTheWater)
{
    static Heights ground(-50.0f);
    const float dt = 0.1f;
    struct Case {
        float y, drop;
    } cases[] = {
        {-5.0f, 2.0f * dt * 0.2f},
        {-0.1f, 2.0f * dt}, // at the surface, not below it
        {5.0f, 2.0f * dt},
    };
    for (const Case& c : cases) {
        RigState rig = levelRig(vec3(100, c.y, 100), 1, 0);
        rig.rafall = rig.rbfall = rig.vafall = rig.vbfall = 2.0f;
        rig.vnos[0].y = rig.vpos[0].y = c.y;
        moveTruck(rig, ground.w, dt);
        EXPECT_NEAR(rig.rnos.y, c.y - c.drop, 1e-5) << c.y;
        EXPECT_NEAR(rig.rpos[0].y, c.y - c.drop, 1e-5) << c.y;
        EXPECT_NEAR(rig.vnos[0].y, c.y - c.drop, 1e-6) << c.y;
        EXPECT_NEAR(rig.vpos[0].y, c.y - c.drop, 1e-6) << c.y;
        // The fall speed grows at the full rate even under water.
        EXPECT_FLOAT_EQ(rig.rafall, 2.0f + 7 * dt);
        EXPECT_FLOAT_EQ(rig.rbfall, 2.0f + 5.5f * dt);
        EXPECT_FALSE(rig.canturn);
    }
}

TEST(RigTruck, SlidesAlongTheWorldEdge)
{
    static Heights ground(0.0f);
    const float r = std::sqrt(0.5f);
    const float dt = 0.05f;

    // Low x edge, heading towards -x and +z.
    RigState rig = levelRig(vec3(-4.9f, 0.3f, 200), -r, r);
    rig.rspd = 10.0f;
    float z = rig.rnos.z;
    for (int i = 0; i < 200; i++) {
        moveTruck(rig, ground.w, dt);
        ASSERT_EQ(rig.rnos.x, -5.0f) << i;
        ASSERT_GT(rig.rnos.z, z) << i;
        z = rig.rnos.z;
    }
    EXPECT_GT(rig.rpos[1].z, 0.99f); // turned to run along the edge

    // High z edge at bsize * 99 + 5, heading towards +x and +z.
    rig = levelRig(vec3(200, 0.3f, 400.9f), r, r);
    rig.rspd = 10.0f;
    float x = rig.rnos.x;
    for (int i = 0; i < 20; i++) {
        moveTruck(rig, ground.w, dt);
        ASSERT_EQ(rig.rnos.z, 401.0f) << i;
        ASSERT_GT(rig.rnos.x, x) << i;
        x = rig.rnos.x;
    }

    // The edge moves with the grid spacing.
    BsizeGuard restore;
    bsize = 6.0f;
    rig = levelRig(vec3(598, 0.3f, 300), 1, 0);
    rig.rspd = 30.0f;
    for (int i = 0; i < 10; i++) moveTruck(rig, ground.w, dt);
    EXPECT_EQ(rig.rnos.x, 599.0f);
    EXPECT_NEAR(rig.rnos.z, 300.0f, 1e-4);
}

TEST(RigTruck, SteeringNeedsFrontContact)
{
    static Heights ground(0.0f);
    const float dt = 0.05f;
    for (bool canturn : {false, true}) {
        RigState rig = levelRig(vec3(100, 10, 100), 1, 0); // in the air
        rig.rafall = rig.rbfall = 0.0f;
        rig.canturn = canturn;
        rig.rtrn = 0.5f;
        rig.rspd = 10.0f;
        moveTruck(rig, ground.w, dt);
        if (canturn) {
            // Heading (1, 0, -0.5) normalised: to the left of +x.
            EXPECT_NEAR(rig.rnos.x, 100 + 10 * dt * 2 / std::sqrt(5.0), 1e-4);
            EXPECT_NEAR(rig.rnos.z, 100 - 10 * dt / std::sqrt(5.0), 1e-4);
        } else {
            EXPECT_NEAR(rig.rnos.x, 100 + 10 * dt, 1e-4);
            EXPECT_EQ(rig.rnos.z, 100.0f);
        }
        EXPECT_NEAR(rig.rrot, 10 * dt, 1e-6);
    }
}

TEST(RigTruck, SlopeChangesSpeed)
{
    static Heights ground(0.0f);
    const float dt = 0.05f;
    struct Case {
        float fy, speedChange;
    } cases[] = {
        {-0.5f, 2 * dt}, {0.5f, -2 * dt}, {0.3f, 0}, {-0.3f, 0}, {0.25f, 0}, {-0.9f, 6 * dt},
    };
    for (const Case& k : cases) {
        float fx = std::sqrt(1 - k.fy * k.fy);
        RigState rig = levelRig(vec3(100, 10, 100), 1, 0);
        rig.rpos[1] = vec3(fx, k.fy, 0);
        rig.rpos[0] = rig.rnos - rig.rpos[1] * 3.0f;
        rig.candrive = rig.canturn = false; // acts with the wheels in the air too
        rig.rspd = 5.0f;
        moveTruck(rig, ground.w, dt);
        EXPECT_NEAR(rig.rspd, 5.0f + k.speedChange, 1e-5) << k.fy;
    }
}

namespace {

// Ground k * (x - 200) * (z - 200) + h: bilinear, so the grid reproduces it
// exactly. A truck centred on (200, 200) facing +x has its front-left and
// rear-right wheels at -1.2 k and the other two at +1.2 k.
void saddle(Heights& g, float h, float k)
{
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) g.w[i][j] = h + k * (4.0f * i - 200) * (4.0f * j - 200);
}

} // namespace

TEST(RigTruck, ThreePointSupportOnTiesChoosesRearRight)
{
    static Heights ground;
    const float h = 1.0f;
    for (float k : {0.05f, -0.05f}) {
        saddle(ground, h, k);
        RigState rig = levelRig(vec3(201.5f, h - 5, 200), 1, 0); // below: every wheel lifts
        moveTruck(rig, ground.w, 0.01f);

        // Rear-right goes to 2M - Q: FL and FR keep their ground heights, so
        // the nose stays at h + 0.3; the rear axle sits 2.4 k higher before
        // the frame is rebuilt 3.0 from the nose.
        double dy = 2.4 * k;
        EXPECT_NEAR(rig.rnos.y, h + 0.3, 1e-4) << k;
        EXPECT_NEAR(rig.rpos[0].y, h + 0.3 + 3 * dy / std::sqrt(9 + dy * dy), 1e-4) << k;
        EXPECT_NEAR(rig.rnos.x, 201.5, 1e-5);
        EXPECT_NEAR(rig.rnos.z, 200, 1e-5);
        EXPECT_NEAR(retDis(rig.rnos, rig.rpos[0]), 3.0, 1e-5);
    }
}

TEST(RigTruck, WheelOverAHoleDoesNotPullTheTruckDown)
{
    BsizeGuard restore;
    bsize = 1.0f; // so the hole reaches under one wheel only
    static Heights ground;
    const float h = 2.0f;
    struct Case {
        int hi, hj;  // the hole vertex
        float noseZ; // places the wheel exactly over it
    } cases[] = {
        {50, 50, 50.8f}, // front-left
        {50, 50, 49.2f}, // front-right
        {47, 50, 50.8f}, // rear-left
        {47, 50, 49.2f}, // rear-right
    };
    for (const Case& c : cases) {
        ground.fill(h);
        ground.w[c.hi][c.hj] = h - 10;
        RigState rig = levelRig(vec3(50, h + 0.3f, c.noseZ), 1, 0);
        for (int i = 0; i < 100; i++) {
            moveTruck(rig, ground.w, 0.05f);
            ASSERT_NEAR(rig.rnos.y, h + 0.3, 1e-3) << c.hi << " " << c.noseZ << " " << i;
            ASSERT_NEAR(rig.rpos[0].y, h + 0.3, 1e-3) << c.hi << " " << c.noseZ << " " << i;
        }
        // Level the whole time, so no slope set it rolling.
        EXPECT_EQ(rig.rspd, 0.0f);
        EXPECT_NEAR(rig.rnos.x, 50, 1e-4);
        EXPECT_GT(rig.rpos[3].y, 0.999f);
        EXPECT_TRUE(rig.canturn);
        EXPECT_TRUE(rig.candrive);
    }
}

TEST(RigTruck, OffTheGridTheGroundIsZero)
{
    static Heights ground(20.0f);
    // Cell 0 (x below 4) samples nothing: the truck stands at 0.3 there.
    RigState rig = levelRig(vec3(3.0f, 5, 200), 0, 1);
    for (int i = 0; i < 200; i++) moveTruck(rig, ground.w, 0.05f);
    EXPECT_NEAR(rig.rnos.y, 0.3, 1e-4);
    EXPECT_NEAR(rig.rpos[0].y, 0.3, 1e-4);
}
