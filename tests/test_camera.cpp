#include "camera/camera.h"
#include "platform/scripted/gl_record.h"
#include "platform/scripted/scripted.h"
#include "terrain/heightmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

float flatGround[GRID][GRID];

// A level plateau at height h: getGround reads h anywhere over cells 1..97.
void fillGround(float (*w)[GRID], float h)
{
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) w[i][j] = h;
}

// A rig standing level in the middle of the map, heading along +x.
RigState levelRig()
{
    RigState rig;
    rig.rnos = vec3(200, 0, 200);
    rig.rpos[0] = vec3(190, 0, 200);
    rig.vnos[0] = vec3(180, 0, 200);
    rig.vpos[0] = vec3(170, 0, 200);
    return rig;
}

CameraState cameraAt(int view, vec3 eye)
{
    CameraState cam;
    cam.view = view;
    cam.tra = eye;
    return cam;
}

// The arguments of the one gluLookAt the camera makes.
const double* lookAtOf(CameraState& cam, const RigState& rig, const float (*w)[GRID])
{
    glrecReset();
    placeCamera(cam, rig, w);
    EXPECT_EQ(glrecSize(), 1u);
    GlCall call = glrecCall(0);
    EXPECT_EQ(call.op, GLREC_LOOKAT);
    EXPECT_EQ(call.argc, 9);
    return call.args;
}

void expectArgs(const double* a, vec3 eye, vec3 target, vec3 up)
{
    const float want[9] = {eye.x, eye.y, eye.z, target.x, target.y, target.z, up.x, up.y, up.z};
    for (int k = 0; k < 9; k++) {
        EXPECT_NEAR(a[k], want[k], 1e-4) << "argument " << k;
        // Float components widened, not recomputed in double.
        EXPECT_EQ(a[k], (double)(float)a[k]) << "argument " << k;
    }
}

void expectVec(vec3 v, float x, float y, float z, float tol = 1e-4f)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

struct CameraTest : ::testing::Test {
    void SetUp() override
    {
        scriptReleaseKeys();
        fillGround(flatGround, 0);
    }
    void TearDown() override { scriptReleaseKeys(); }
};

} // namespace

TEST_F(CameraTest, VKeyStepsOnReleaseOnly)
{
    RigState rig = levelRig();
    CameraState cam;
    ASSERT_EQ(cam.view, 6);
    scriptSetKey('V', true);
    for (int k = 0; k < 3; k++) {
        placeCamera(cam, rig, flatGround);
        EXPECT_EQ(cam.view, 6);
        EXPECT_TRUE(cam.vBtn);
    }
    scriptSetKey('V', false);
    placeCamera(cam, rig, flatGround);
    EXPECT_EQ(cam.view, 7);
    EXPECT_FALSE(cam.vBtn);
    placeCamera(cam, rig, flatGround);
    EXPECT_EQ(cam.view, 7);
}

TEST_F(CameraTest, VKeyWrapsAndTenPressesReturn)
{
    RigState rig = levelRig();
    CameraState cam;
    cam.view = 9;
    scriptSetKey('V', true);
    placeCamera(cam, rig, flatGround);
    scriptSetKey('V', false);
    placeCamera(cam, rig, flatGround);
    EXPECT_EQ(cam.view, 0);

    int seen[10] = {};
    for (int press = 0; press < 10; press++) {
        scriptSetKey('V', true);
        placeCamera(cam, rig, flatGround);
        scriptSetKey('V', false);
        placeCamera(cam, rig, flatGround);
        ASSERT_GE(cam.view, 0);
        ASSERT_LE(cam.view, 9);
        seen[cam.view]++;
    }
    EXPECT_EQ(cam.view, 0);
    for (int v = 0; v < 10; v++) EXPECT_EQ(seen[v], 1) << "view " << v;
}

TEST_F(CameraTest, LeashHoldsThirtyAndHeightTwenty)
{
    RigState rig = levelRig();
    rig.rnos = vec3(20, 0, 20);
    // Already 30 away: only the height floor acts.
    CameraState cam = cameraAt(0, vec3(20, 0, 50));
    const double* a = lookAtOf(cam, rig, flatGround);
    expectVec(cam.tra, 20, 20, 50);
    expectArgs(a, vec3(20, 20, 50), vec3(20, 0, 20), vec3(0, 1, 0));

    // Too far: pulled in along the line of sight, then lifted to 20.
    rig.rnos = vec3(200, 0, 200);
    cam = cameraAt(0, vec3(200, 0, 280));
    placeCamera(cam, rig, flatGround);
    expectVec(cam.tra, 200, 20, 230);

    // High above: 30 along the slant line, no floor needed.
    cam = cameraAt(0, vec3(200, 80, 260)); // 100 away on a 3-4-5 slope
    placeCamera(cam, rig, flatGround);
    expectVec(cam.tra, 200, 24, 218);
}

TEST_F(CameraTest, LeashOnTheNoseMovesAlongMinusX)
{
    RigState rig = levelRig();
    CameraState cam = cameraAt(0, rig.rnos);
    placeCamera(cam, rig, flatGround);
    expectVec(cam.tra, 170, 20, 200);
}

TEST_F(CameraTest, FollowerKeepsItsBand)
{
    static float w[GRID][GRID];
    fillGround(w, 5);
    RigState rig = levelRig();

    CameraState cam = cameraAt(8, vec3(250, 0, 200)); // 50 away
    placeCamera(cam, rig, w);
    expectVec(cam.tra, 230, 5.0f + 1.3f, 200);

    cam = cameraAt(8, vec3(197, 0, 204)); // 5 away
    placeCamera(cam, rig, w);
    expectVec(cam.tra, 194, 5.0f + 1.3f, 208);

    // Inside the band only the height is set.
    cam = cameraAt(8, vec3(180, 10, 200));
    placeCamera(cam, rig, w);
    expectVec(cam.tra, 180, 5.0f + 1.3f, 200);
}

TEST_F(CameraTest, FollowerMeasuresInSpaceThenSetsHeight)
{
    // 50 away on a 3-4-5 slope: pulled to 30 along the slant line, and only
    // then put on the ground.
    RigState rig = levelRig();
    CameraState cam = cameraAt(8, vec3(200, 40, 230));
    placeCamera(cam, rig, flatGround);
    expectVec(cam.tra, 200, 1.3f, 218);
}

TEST_F(CameraTest, RoadsideStaysWhileTruckApproaches)
{
    RigState rig = levelRig();
    srand(4242);
    int next = rand();
    srand(4242);
    // Ahead, level with the nose, and exactly 25 behind (the test is strict).
    vec3 spots[] = {vec3(260, 10, 205), vec3(200, 10, 190), vec3(175, 10, 200)};
    for (vec3 spot : spots) {
        CameraState cam = cameraAt(4, spot);
        const double* a = lookAtOf(cam, rig, flatGround);
        expectVec(cam.tra, spot.x, spot.y, spot.z, 0);
        expectArgs(a, spot, rig.rnos, vec3(0, 1, 0));
    }
    // No random draw was spent.
    EXPECT_EQ(rand(), next);
}

TEST_F(CameraTest, RoadsideJumpsAheadOncePassed)
{
    RigState rig = levelRig();
    rig.rnos.y = 4;
    srand(99);
    float z = (float)(rand() % 31 - 15);
    float y = (float)(rand() % 15);
    float x = (float)(rand() % 31 - 15);
    int after = rand();

    srand(99);
    CameraState cam = cameraAt(4, vec3(170, 10, 200)); // 30 behind
    placeCamera(cam, rig, flatGround);
    float wantY = 4 + y < 1 ? 1 : 4 + y;
    expectVec(cam.tra, 225 + x, wantY, 200 + z, 0);
    EXPECT_EQ(rand(), after);

    // Next frame the camera is 25 ahead again: it stays.
    vec3 kept = cam.tra;
    placeCamera(cam, rig, flatGround);
    expectVec(cam.tra, kept.x, kept.y, kept.z, 0);
}

TEST_F(CameraTest, RoadsideFloorAfterJump)
{
    RigState rig = levelRig();
    rig.rnos.y = -30; // deep in a valley: nose + 0..14 is below 1
    rig.rpos[1] = vec3(0, 0, 1);
    srand(7);
    float z = (float)(rand() % 31 - 15);
    rand();
    float x = (float)(rand() % 31 - 15);
    srand(7);
    CameraState cam = cameraAt(4, vec3(200, 50, 150)); // 50 behind along +z
    placeCamera(cam, rig, flatGround);
    expectVec(cam.tra, 200 + x, 1, 225 + z, 0);
}

TEST_F(CameraTest, HighAndFarSitsAt150)
{
    RigState rig = levelRig();
    CameraState cam = cameraAt(9, vec3(490, 50, 200));
    const double* a = lookAtOf(cam, rig, flatGround);
    // 150 back along the horizontal-and-down line from the eye, then at 150.
    double len = std::sqrt(300.0 * 300.0 + 50.0 * 50.0);
    expectArgs(a, vec3((float)(190 + 150 * 300 / len), 150, 200), rig.rpos[0], vec3(0, 1, 0));
    EXPECT_EQ(cam.tra.y, 150.0f);

    static float w[GRID][GRID];
    fillGround(w, 100);
    cam = cameraAt(9, vec3(0, 0, 0));
    placeCamera(cam, rig, w);
    EXPECT_EQ(cam.tra.y, 150.0f);
}

TEST_F(CameraTest, CabViewsFollowTheTiltedFrame)
{
    RigState rig = levelRig();
    rig.rnos = vec3(100, 5, 120);
    rig.rpos[1] = vec3(0, -0.6f, 0.8f); // nose down
    rig.rpos[2] = vec3(1, 0, 0);
    rig.rpos[3] = vec3(0, 0.8f, 0.6f);
    rig.vpos[0] = vec3(100, 3, 100);
    rig.vpos[3] = vec3(0, 1, 0);

    CameraState cam = cameraAt(1, vec3());
    expectArgs(lookAtOf(cam, rig, flatGround), vec3(100, 6.82f, 120.74f),
               vec3(100, 6.22f, 121.54f), vec3(0, 0.8f, 0.6f));

    cam = cameraAt(2, vec3());
    // 1.2 left, 2 back, 0.5 up
    expectArgs(lookAtOf(cam, rig, flatGround), vec3(101.2f, 6.6f, 118.7f),
               vec3(101.2f, 6.0f, 119.5f), vec3(0, 0.8f, 0.6f));

    cam = cameraAt(3, vec3());
    expectArgs(lookAtOf(cam, rig, flatGround), vec3(100, 8.04f, 119.78f), vec3(100, 4.5f, 100),
               vec3(0, 0.8f, 0.6f));
}

TEST_F(CameraTest, MountedViewsUseWorldUp)
{
    RigState rig = levelRig();
    rig.rpos[0] = vec3(80, 2, 60);
    rig.rpos[2] = vec3(0, 0, 1);
    rig.vpos[0] = vec3(50, 1, 50);

    CameraState cam = cameraAt(5, vec3());
    expectArgs(lookAtOf(cam, rig, flatGround), vec3(50, 41, 50), vec3(80, 2, 60), vec3(0, 1, 0));
    cam = cameraAt(6, vec3());
    expectArgs(lookAtOf(cam, rig, flatGround), vec3(50, 4, 50), rig.rnos, vec3(0, 1, 0));
    cam = cameraAt(7, vec3());
    expectArgs(lookAtOf(cam, rig, flatGround), vec3(80, 5, 70), vec3(80, 2, 60), vec3(0, 1, 0));
}

TEST_F(CameraTest, ClearanceLiftsTheEyeOfEveryView)
{
    // The rig sunk 30 below a plateau: every view that would leave the eye
    // under the ground is lifted to 0.3 above it, the rest stay higher.
    static float w[GRID][GRID];
    fillGround(w, 30);
    RigState rig = levelRig();
    for (int view = 0; view < 10; view++) {
        srand(11);
        CameraState cam = cameraAt(view, vec3(215, 0, 220));
        placeCamera(cam, rig, w);
        vec3 e = cam.tra;
        ASSERT_GT(e.x, 4);
        ASSERT_LT(e.x, 392);
        ASSERT_GT(e.z, 4);
        ASSERT_LT(e.z, 392);
        EXPECT_GE(e.y, 30.3f) << "view " << view;
        EXPECT_GE(e.y, getGround(e, w) + 0.3f) << "view " << view;
    }
    // Rigid views low on the rig end exactly at the clearance, x and z kept.
    CameraState cam = cameraAt(6, vec3());
    placeCamera(cam, rig, w);
    expectVec(cam.tra, 170, 30.0f + 0.3f, 200, 0);
    cam = cameraAt(7, vec3());
    placeCamera(cam, rig, w);
    expectVec(cam.tra, 190, 30.0f + 0.3f, 210, 0);
}

TEST_F(CameraTest, ClearanceFollowsTheSlope)
{
    // Heights rising 1 per cell along x: halfway across cell 50 the ground
    // reads 50.5.
    static float w[GRID][GRID];
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) w[i][j] = (float)i;
    RigState rig = levelRig();
    rig.vpos[0] = vec3(202, 10, 120);
    CameraState cam = cameraAt(6, vec3());
    placeCamera(cam, rig, w);
    expectVec(cam.tra, 202, 50.8f, 120);
    // Over the outermost cells the ground reads 0, so the mount stands.
    rig.vpos[0] = vec3(2, 10, 120);
    cam = cameraAt(6, vec3());
    placeCamera(cam, rig, w);
    expectVec(cam.tra, 2, 13, 120, 0);
}
