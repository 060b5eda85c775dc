#include "render/bodies.h"

#include "platform/scripted/gl_record.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Prim {
    int mode = -1;
    std::vector<vec3> vertices;
    std::vector<vec3> colours;
    std::vector<size_t> colourAt; // vertices sent before each colour call
};

std::vector<Prim> recordedPrims()
{
    std::vector<Prim> prims;
    bool open = false;
    for (size_t i = 0; i < glrecSize(); i++) {
        GlCall c = glrecCall(i);
        if (c.op == GLREC_BEGIN) {
            EXPECT_FALSE(open);
            open = true;
            prims.emplace_back();
            prims.back().mode = (int)c.args[0];
            continue;
        }
        if (c.op == GLREC_END) {
            EXPECT_TRUE(open);
            open = false;
            continue;
        }
        EXPECT_TRUE(open) << "call outside a primitive";
        if (!open) continue;
        vec3 v((float)c.args[0], (float)c.args[1], (float)c.args[2]);
        if (c.op == GLREC_VERTEX3F) {
            prims.back().vertices.push_back(v);
        } else if (c.op == GLREC_COLOR3F) {
            prims.back().colourAt.push_back(prims.back().vertices.size());
            prims.back().colours.push_back(v);
        }
    }
    EXPECT_FALSE(open);
    return prims;
}

// A rig lined up straight along +x with every axle point at height y.
RigState straightRig(float y)
{
    RigState rig;
    positions frame;
    frame[1] = vec3(1, 0, 0);
    frame[2] = vec3(0, 0, -1); // left of +x when up is +y
    frame[3] = vec3(0, 1, 0);
    rig.rnos = vec3(20, y, 20);
    rig.rpos = frame;
    rig.rpos[0] = vec3(17, y, 20);
    rig.rais = vec3(15.5f, y, 20);
    rig.vnos = frame;
    rig.vnos[0] = vec3(13.5f, y, 20);
    rig.vpos = frame;
    rig.vpos[0] = vec3(10.5f, y, 20);
    return rig;
}

float ground[GRID][GRID];

void fillGround(float h)
{
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) ground[i][j] = h;
}

std::vector<Prim> drawn(const RigState& rig)
{
    glrecReset();
    drawRig(rig, ground);
    return recordedPrims();
}

void expectNear(vec3 v, double x, double y, double z, double tol = 1e-5)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

// A wheel drawn with rotation 0 starts with R0 on the plus face and then, four
// vertices on, R0 on the minus face; R0 is 0.3 up from the hub and R1 is an
// eighth of a turn on towards fwd.
struct WheelSeen {
    vec3 hub, side, fwd;
};

WheelSeen wheelAt(const Prim& p, size_t first, vec3 up)
{
    const vec3* v = &p.vertices[first];
    vec3 mid = (v[0] + v[4]) / 2.0f;
    WheelSeen w;
    w.hub = mid - up * 0.3f;
    w.side = (v[0] - v[4]) / 0.1f;
    // R1 - R0 = 0.3 sin q fwd + 0.3 (cos q - 1) up
    const double q = 0.7853981625;
    vec3 d = (v[1] - v[0]) - up * (float)(0.3 * (std::cos(q) - 1.0));
    w.fwd = d / (float)(0.3 * std::sin(q));
    return w;
}

} // namespace

TEST(Bodies, FourQuadPrimitivesOfTheRightSize)
{
    fillGround(0.0f);
    std::vector<Prim> p = drawn(straightRig(0.3f));
    ASSERT_EQ(p.size(), 4u);
    for (const Prim& q : p) EXPECT_EQ(q.mode, GL_QUADS);
    EXPECT_EQ(p[0].vertices.size(), 13u * 4);
    EXPECT_EQ(p[1].vertices.size(), 4u * 14 * 4);
    EXPECT_EQ(p[2].vertices.size(), 6u * 4);
    EXPECT_EQ(p[3].vertices.size(), (2u + 4 * 14) * 4);
    // One colour per body face; six per wheel; the drawbar's once.
    EXPECT_EQ(p[0].colours.size(), 13u);
    EXPECT_EQ(p[1].colours.size(), 24u);
    EXPECT_EQ(p[2].colours.size(), 6u);
    EXPECT_EQ(p[3].colours.size(), 25u);
    GlCounts c = glrecCounts();
    EXPECT_EQ(c.begins, 4);
    EXPECT_EQ(c.vertices, 52 + 224 + 24 + 232);
}

TEST(Bodies, TruckFacingXIsLitFromBehind)
{
    fillGround(0.0f);
    std::vector<Prim> p = drawn(straightRig(0.3f));
    ASSERT_EQ(p.size(), 4u);
    const Prim& body = p[0];
    ASSERT_EQ(body.colours.size(), 13u);
    // Shades: 0.5 facing +x, 1.0 facing -x, 0.75 across x.
    const double expect[13][3] = {
        {0.4, 0.4, 0.4},         // floor, unshaded
        {0.15, 0.525, 0.675},    // box roof
        {0.1, 0.4, 0.4},         // box front above the cab
        {0.375, 0.375, 0.525},   // cab roof
        {0.1, 0.15, 0.25},       // windscreen
        {0.25, 0.25, 0.35},      // cab front
        {0.2, 0.8, 0.8},         // box rear
        {0.15, 0.6, 0.6},        // box left
        {0.15, 0.225, 0.375},    // left window
        {0.375, 0.375, 0.525},   // cab left
        {0.15, 0.6, 0.6},        // box right
        {0.15, 0.225, 0.375},    // right window
        {0.375, 0.375, 0.525},   // cab right
    };
    for (int i = 0; i < 13; i++) {
        expectNear(body.colours[i], expect[i][0], expect[i][1], expect[i][2], 1e-6);
        EXPECT_EQ(body.colourAt[i], (size_t)i * 4) << "face " << i;
    }
}

TEST(Bodies, ShadeFollowsTheNormalsXComponent)
{
    fillGround(0.0f);
    RigState rig = straightRig(0.3f);
    // Nose pitched up: f and u both lean, s stays level.
    const vec3 f(0.6f, 0.8f, 0), u(-0.8f, 0.6f, 0);
    rig.rpos[1] = f, rig.rpos[3] = u;
    rig.vpos[1] = f, rig.vpos[3] = u;
    std::vector<Prim> p = drawn(rig);
    ASSERT_EQ(p.size(), 4u);
    // +f: 0.25 * 0.4 + 0.5 = 0.6; -f: 0.9; +u: 0.25 * 1.8 + 0.5 = 0.95.
    expectNear(p[0].colours[1], 0.95 * 0.2, 0.95 * 0.7, 0.95 * 0.9, 1e-6);
    expectNear(p[0].colours[4], 0.6 * 0.2, 0.6 * 0.3, 0.6 * 0.5, 1e-6);
    expectNear(p[0].colours[6], 0.9 * 0.2, 0.9 * 0.8, 0.9 * 0.8, 1e-6);
    expectNear(p[0].colours[7], 0.75 * 0.2, 0.75 * 0.8, 0.75 * 0.8, 1e-6);
    const Prim& tr = p[2];
    ASSERT_EQ(tr.colours.size(), 6u);
    expectNear(tr.colours[0], 0.4, 0.4, 0.4, 1e-7);
    expectNear(tr.colours[1], 0.95 * 0.7, 0.95 * 0.9, 0.95 * 0.2, 1e-6);
    expectNear(tr.colours[2], 0.6 * 0.7, 0.6 * 0.8, 0.6 * 0.2, 1e-6);
    expectNear(tr.colours[3], 0.9 * 0.7, 0.9 * 0.8, 0.9 * 0.2, 1e-6);
    expectNear(tr.colours[4], 0.75 * 0.7, 0.75 * 0.8, 0.75 * 0.2, 1e-6);
    expectNear(tr.colours[5], 0.75 * 0.7, 0.75 * 0.8, 0.75 * 0.2, 1e-6);
}

TEST(Bodies, TruckBodyCorners)
{
    fillGround(0.0f);
    std::vector<Prim> p = drawn(straightRig(0.3f));
    ASSERT_EQ(p.size(), 4u);
    const std::vector<vec3>& v = p[0].vertices;
    // Stations: cab front 20.5, cab back 19.5, box rear 15.5 - 0.2 = 15.3.
    // Left (+s) is z = 19.2, right z = 20.8; heights 0.3 + 0.2 / 0.9 / 1.4 / 1.7.
    expectNear(v[0], 20.5, 0.5, 19.2); // floor
    expectNear(v[1], 20.5, 0.5, 20.8);
    expectNear(v[2], 15.3, 0.5, 20.8);
    expectNear(v[3], 15.3, 0.5, 19.2);
    expectNear(v[16], 20.5, 1.7, 19.2); // windscreen
    expectNear(v[17], 20.5, 1.7, 20.8);
    expectNear(v[18], 20.5, 1.2, 20.8);
    expectNear(v[19], 20.5, 1.2, 19.2);
    expectNear(v[24], 15.3, 0.5, 19.2); // box rear
    expectNear(v[26], 15.3, 2.0, 20.8);
    expectNear(v[32], 19.5, 1.2, 19.2); // left window
    expectNear(v[33], 20.5, 1.2, 19.2);
    expectNear(v[34], 20.5, 1.7, 19.2);
    expectNear(v[35], 19.5, 1.7, 19.2);

    // The cab opens into the box: the only face standing in the cab-back
    // plane is the box front above the cab roof.
    for (size_t q = 0; q < 13; q++) {
        bool allAtM = true;
        for (int k = 0; k < 4; k++) allAtM = allAtM && std::fabs(v[q * 4 + k].x - 19.5) < 1e-5;
        if (!allAtM) continue;
        EXPECT_EQ(q, 2u);
        for (int k = 0; k < 4; k++) EXPECT_GT(v[q * 4 + k].y, 1.69f);
    }
}

TEST(Bodies, TrailerBoxHangsOnItsAxlesButUsesTheBodyFrame)
{
    fillGround(0.0f);
    RigState rig = straightRig(0.3f);
    // The drawbar swings to one side; the body's own frame stays along x.
    rig.vnos[1] = vec3(0.8f, 0, -0.6f);
    rig.vnos[2] = vec3(-0.6f, 0, -0.8f);
    std::vector<Prim> p = drawn(rig);
    ASSERT_EQ(p.size(), 4u);
    const std::vector<vec3>& v = p[2].vertices;
    ASSERT_EQ(v.size(), 24u);
    // Front 13.5 + 0.5 = 14.0, rear 10.5 - 0.5 = 10.0.
    expectNear(v[0], 14.0, 0.5, 19.2);
    expectNear(v[1], 14.0, 0.5, 20.8);
    expectNear(v[2], 10.0, 0.5, 20.8);
    expectNear(v[3], 10.0, 0.5, 19.2);
    expectNear(v[8], 14.0, 2.0, 19.2); // front face
    expectNear(v[10], 14.0, 0.5, 20.8);
    expectNear(v[20], 10.0, 0.5, 20.8); // right side
    expectNear(v[22], 14.0, 2.0, 20.8);
}

TEST(Bodies, DrawbarRunsFromTheTrailerAxleToTheHitch)
{
    fillGround(0.0f);
    RigState rig = straightRig(0.3f);
    // Truck pitched so its up axis leans back: the hitch end follows it.
    rig.rpos[3] = vec3(-0.6f, 0.8f, 0);
    std::vector<Prim> p = drawn(rig);
    ASSERT_EQ(p.size(), 4u);
    const Prim& d = p[3];
    ASSERT_GE(d.colours.size(), 1u);
    expectNear(d.colours[0], 0.3, 0.3, 0.4, 1e-7);
    EXPECT_EQ(d.colourAt[0], 0u);
    ASSERT_GE(d.colourAt.size(), 2u);
    EXPECT_EQ(d.colourAt[1], 8u); // the next colour is the first wheel's
    const std::vector<vec3>& v = d.vertices;
    // Plate: 1.0 wide at the trailer axle, 0.1 at the hitch.
    expectNear(v[0], 13.5, 0.5, 19.5);
    expectNear(v[1], 13.5, 0.5, 20.5);
    expectNear(v[2], 15.5 - 0.12, 0.3 + 0.16, 20.05);
    expectNear(v[3], 15.5 - 0.12, 0.3 + 0.16, 19.95);
    // Web under the centre line.
    expectNear(v[4], 13.5, 0.5, 20);
    expectNear(v[5], 13.5, 0.4, 20);
    expectNear(v[6], 15.5 - 0.09, 0.3 + 0.12, 20);
    expectNear(v[7], 15.5 - 0.12, 0.3 + 0.16, 20);
}

TEST(Bodies, WheelsStandAtTheirAxleEnds)
{
    fillGround(2.0f);
    RigState rig = straightRig(2.3f); // wheels just touching: no offset
    std::vector<Prim> p = drawn(rig);
    ASSERT_EQ(p.size(), 4u);
    const vec3 up(0, 1, 0);
    const double truckHubs[4][2] = {{20, 19.2}, {20, 20.8}, {17, 20.8}, {17, 19.2}};
    for (int k = 0; k < 4; k++) {
        WheelSeen w = wheelAt(p[1], k * 56, up);
        expectNear(w.hub, truckHubs[k][0], 2.3, truckHubs[k][1]);
        expectNear(w.side, 0, 0, -1, 1e-4);
        expectNear(w.fwd, 1, 0, 0, 1e-4);
    }
    const double trailerHubs[4][2] = {{13.5, 19.2}, {13.5, 20.8}, {10.5, 20.8}, {10.5, 19.2}};
    for (int k = 0; k < 4; k++) {
        WheelSeen w = wheelAt(p[3], 8 + k * 56, up);
        expectNear(w.hub, trailerHubs[k][0], 2.3, trailerHubs[k][1]);
        expectNear(w.side, 0, 0, -1, 1e-4);
    }
}

TEST(Bodies, SteeringTurnsTheFrontWheelsButNotTheirHubs)
{
    fillGround(0.0f);
    RigState rig = straightRig(0.3f);
    rig.rtrn = 0.5f;
    std::vector<Prim> p = drawn(rig);
    ASSERT_EQ(p.size(), 4u);
    const vec3 up(0, 1, 0);
    const double n = std::sqrt(1.25);
    for (int k = 0; k < 2; k++) {
        WheelSeen w = wheelAt(p[1], k * 56, up);
        expectNear(w.hub, 20, 0.3, k == 0 ? 19.2 : 20.8);
        // 26.57 degrees to the left (towards -z) of the body's heading.
        expectNear(w.fwd, 1 / n, 0, -0.5 / n, 1e-4);
        EXPECT_NEAR(std::atan2(-w.fwd.z, w.fwd.x) * 180 / M_PI, 26.57, 0.01);
        // The axle turns with it: up x heading.
        expectNear(w.side, -0.5 / n, 0, -1 / n, 1e-4);
    }
    for (int k = 2; k < 4; k++) {
        WheelSeen w = wheelAt(p[1], k * 56, up);
        expectNear(w.fwd, 1, 0, 0, 1e-4);
        expectNear(w.side, 0, 0, -1, 1e-4);
    }
}

TEST(Bodies, SuspensionTravelIsClampedBothWays)
{
    const vec3 up(0, 1, 0);
    // Flat ground under a rig whose axle points are all at 0.3.
    struct Case {
        float ground;
        double hubY;
    } cases[] = {
        {0.0f, 0.3},    // touching: no offset
        {0.1f, 0.4},    // 0.1 to go: within travel
        {0.8f, 0.48},   // ground 0.5 above the centre: rises 0.18 only
        {-30.0f, 0.12}, // far below: drops 0.18 only
    };
    for (const Case& c : cases) {
        fillGround(c.ground);
        std::vector<Prim> p = drawn(straightRig(0.3f));
        ASSERT_EQ(p.size(), 4u);
        for (int k = 0; k < 4; k++) {
            EXPECT_NEAR(wheelAt(p[1], k * 56, up).hub.y, c.hubY, 1e-5) << c.ground << " truck " << k;
            EXPECT_NEAR(wheelAt(p[3], 8 + k * 56, up).hub.y, c.hubY, 1e-5) << c.ground << " trailer " << k;
        }
    }
}

TEST(Bodies, EachWheelFindsItsOwnGroundAlongItsBodysUpAxis)
{
    // Ground rising 0.1 per grid step along z: 0.48 under the left wheels
    // (z 19.2) and 0.52 under the right ones (z 20.8) at a spacing of 4.
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) ground[i][j] = 0.1f * j;
    RigState rig = straightRig(0.8f);
    // The trailer body rolls a little about x; its hubs move along that axis.
    const vec3 tilt(0, 0.8f, 0.6f);
    rig.vpos[3] = tilt;
    std::vector<Prim> p = drawn(rig);
    ASSERT_EQ(p.size(), 4u);
    const vec3 up(0, 1, 0);
    // Wheel order: front left, front right, rear right, rear left.
    const double truckY[4] = {0.78, 0.82, 0.82, 0.78};
    for (int k = 0; k < 4; k++) EXPECT_NEAR(wheelAt(p[1], k * 56, up).hub.y, truckY[k], 1e-5) << k;
    // Rear trailer wheels: d = -0.02 (left) and +0.02 (right), along tilt.
    WheelSeen right = wheelAt(p[3], 8 + 2 * 56, tilt);
    WheelSeen left = wheelAt(p[3], 8 + 3 * 56, tilt);
    expectNear(right.hub, 10.5, 0.8 + 0.02 * 0.8, 20.8 + 0.02 * 0.6);
    expectNear(left.hub, 10.5, 0.8 - 0.02 * 0.8, 19.2 - 0.02 * 0.6);
}

TEST(Bodies, OffTheGridTheGroundIsZero)
{
    fillGround(5.0f);
    RigState rig = straightRig(0.25f);
    // Move the whole rig to negative x, beyond the sampled cells.
    vec3 shift(-100, 0, 0);
    rig.rnos = rig.rnos + shift;
    rig.rpos[0] = rig.rpos[0] + shift;
    rig.rais = rig.rais + shift;
    rig.vnos[0] = rig.vnos[0] + shift;
    rig.vpos[0] = rig.vpos[0] + shift;
    std::vector<Prim> p = drawn(rig);
    ASSERT_EQ(p.size(), 4u);
    const vec3 up(0, 1, 0);
    for (int k = 0; k < 4; k++) {
        EXPECT_NEAR(wheelAt(p[1], k * 56, up).hub.y, 0.3, 1e-5) << k;
        EXPECT_NEAR(wheelAt(p[3], 8 + k * 56, up).hub.y, 0.3, 1e-5) << k;
    }
}

TEST(Bodies, CornersAndShadesRoundAsTheRigDoes)
{
    fillGround(0.0f);
    RigState rig = straightRig(0.3f);
    const vec3 f(0.9871f, 0.1234f, -0.1017f), s(0.1013f, 0.0007f, 0.9949f), u(-0.1229f, 0.9924f, 0.0134f);
    rig.rnos = vec3(0.0123f, 0.3377f, 0.0458f);
    rig.rpos[1] = f, rig.rpos[2] = s, rig.rpos[3] = u;
    // Trailer facing almost -x: its rear face is lit at about half strength.
    const vec3 tf(-0.987f, 0.1605f, 0);
    rig.vpos[1] = tf;
    std::vector<Prim> p = drawn(rig);
    ASSERT_EQ(p.size(), 4u);
    // Anchor, then forward, side and up terms, one float addition at a time.
    vec3 corner = ((rig.rnos + f * 0.5f) + s * 0.8f) + u * 0.2f;
    EXPECT_EQ(p[0].vertices[0].x, corner.x);
    EXPECT_EQ(p[0].vertices[0].y, corner.y);
    EXPECT_EQ(p[0].vertices[0].z, corner.z);
    vec3 right = ((rig.rnos + f * 0.5f) - s * 0.8f) + u * 1.4f; // windscreen, second corner
    EXPECT_EQ(p[0].vertices[17].x, right.x);
    EXPECT_EQ(p[0].vertices[17].y, right.y);
    EXPECT_EQ(p[0].vertices[17].z, right.z);
    // Shade kept as a float, each channel that float times the double base.
    float rear = (float)(((double)tf.x + 1.0) * 0.25 + 0.5);
    EXPECT_EQ(p[2].colours[3].x, (float)(rear * 0.7));
    EXPECT_EQ(p[2].colours[3].y, (float)(rear * 0.8));
    EXPECT_EQ(p[2].colours[3].z, (float)(rear * 0.2));
    float front = (float)((1.0 + (0.0 - (double)tf.x)) * 0.25 + 0.5);
    EXPECT_EQ(p[2].colours[2].x, (float)(front * 0.7));
}
