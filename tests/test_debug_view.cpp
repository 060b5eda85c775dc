#include "render/debug_view.h"

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
};

std::vector<Prim> drawnDebug(const RigState& rig, const bool bumped[5])
{
    glrecReset();
    drawRigDebug(rig, bumped);
    std::vector<Prim> prims;
    bool open = false;
    for (size_t i = 0; i < glrecSize(); i++) {
        GlCall c = glrecCall(i);
        if (c.op == GLREC_BEGIN) {
            EXPECT_FALSE(open);
            open = true;
            prims.emplace_back();
            prims.back().mode = (int)c.args[0];
        } else if (c.op == GLREC_END) {
            EXPECT_TRUE(open);
            open = false;
        } else {
            EXPECT_TRUE(open) << "call outside a primitive";
            if (!open) continue;
            vec3 v((float)c.args[0], (float)c.args[1], (float)c.args[2]);
            if (c.op == GLREC_VERTEX3F) prims.back().vertices.push_back(v);
            if (c.op == GLREC_COLOR3F) prims.back().colours.push_back(v);
        }
    }
    EXPECT_FALSE(open);
    return prims;
}

// Lined up along +x at height 0.3; the left side axis is -z.
RigState straightRig()
{
    RigState rig;
    positions frame;
    frame[1] = vec3(1, 0, 0);
    frame[2] = vec3(0, 0, -1);
    frame[3] = vec3(0, 1, 0);
    rig.rnos = vec3(20, 0.3f, 20);
    rig.rpos = frame;
    rig.rpos[0] = vec3(17, 0.3f, 20);
    rig.rais = vec3(15.5f, 0.3f, 20);
    rig.vnos = frame;
    rig.vnos[0] = vec3(13.5f, 0.3f, 20);
    rig.vpos = frame;
    rig.vpos[0] = vec3(10.5f, 0.3f, 20);
    return rig;
}

void expectNear(vec3 v, double x, double y, double z, double tol = 1e-5)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

// Order A starts at (+r, +r) and turns towards -x; order B starts at (+r, -r).
void expectSquare(const std::vector<vec3>& v, size_t at, double x, double y, double z, double r,
                  bool orderB)
{
    ASSERT_LE(at + 4, v.size());
    const double sz = orderB ? -1 : 1;
    expectNear(v[at + 0], x + r, y, z + sz * r);
    expectNear(v[at + 1], x - r, y, z + sz * r);
    expectNear(v[at + 2], x - r, y, z - sz * r);
    expectNear(v[at + 3], x + r, y, z - sz * r);
}

const bool noFlags[5] = {false, false, false, false, false};

} // namespace

TEST(DebugView, FivePrimitivesAndTheirColours)
{
    std::vector<Prim> p = drawnDebug(straightRig(), noFlags);
    ASSERT_EQ(p.size(), 5u);
    const int modes[5] = {GL_QUADS, GL_TRIANGLES, GL_QUADS, GL_TRIANGLES, GL_QUADS};
    const size_t counts[5] = {16, 15, 12, 18, 0};
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(p[i].mode, modes[i]) << i;
        EXPECT_EQ(p[i].vertices.size(), counts[i]) << i;
    }
    const vec3 white(1, 1, 1), yellow(1, 1, 0), pink(1, 0.5f, 0.5f), red(1, 0, 0);
    const std::vector<vec3> expect[5] = {{white, yellow}, {white, pink}, {white, yellow},
                                         {white, pink}, {red}};
    for (int i = 0; i < 5; i++) {
        ASSERT_EQ(p[i].colours.size(), expect[i].size()) << i;
        for (size_t k = 0; k < expect[i].size(); k++)
            expectNear(p[i].colours[k], expect[i][k].x, expect[i][k].y, expect[i][k].z, 0);
    }
}

TEST(DebugView, PointSquaresLieFlatAroundTheRigPoints)
{
    RigState rig = straightRig();
    // Tilt the truck: the squares stay in world x-z all the same.
    rig.rpos[1] = vec3(0.8f, 0.6f, 0);
    rig.rpos[3] = vec3(-0.6f, 0.8f, 0);
    std::vector<Prim> p = drawnDebug(rig, noFlags);
    ASSERT_EQ(p.size(), 5u);
    expectSquare(p[0].vertices, 0, 20, 0.3, 20, 0.2, false);    // nose
    expectSquare(p[0].vertices, 4, 17, 0.3, 20, 0.2, false);    // rear axle
    expectSquare(p[0].vertices, 8, 15.5, 0.3, 20, 0.1, false);  // hitch
    expectSquare(p[0].vertices, 12, 18.5, 0.3, 20, 0.1, true);  // truck centre
    expectSquare(p[2].vertices, 0, 13.5, 0.3, 20, 0.2, false);  // trailer front axle
    expectSquare(p[2].vertices, 4, 10.5, 0.3, 20, 0.2, false);  // trailer rear axle
    expectSquare(p[2].vertices, 8, 12.0, 0.3, 20, 0.1, true);   // trailer centre
    // The heading arrow does tilt with the truck.
    const std::vector<vec3>& t = p[1].vertices;
    ASSERT_EQ(t.size(), 15u);
    expectNear(t[12], 20 - 0.72 + 0.24, 0.3 + 0.96 + 0.18, 20);
    expectNear(t[13], 20 - 0.72, 0.3 + 0.96, 19.9);
    expectNear(t[14], 20 - 0.72, 0.3 + 0.96, 20.1);
}

TEST(DebugView, WheelTrianglesPointOutwardsAndFrontOnesSteer)
{
    RigState rig = straightRig();
    std::vector<Prim> p = drawnDebug(rig, noFlags);
    ASSERT_EQ(p.size(), 5u);
    const std::vector<vec3>& t = p[1].vertices;
    ASSERT_EQ(t.size(), 15u);
    // Front left: 0.4 long along x, tip 0.2 beyond the wheel at z 19.2.
    expectNear(t[0], 20.2, 0.3, 19.2);
    expectNear(t[1], 20, 0.3, 19);
    expectNear(t[2], 19.8, 0.3, 19.2);
    // Front right tip at z 21; rear ones around x 17.
    expectNear(t[4], 20, 0.3, 21);
    expectNear(t[6], 17.2, 0.3, 19.2);
    expectNear(t[10], 17, 0.3, 21);

    rig.rtrn = 0.5f;
    p = drawnDebug(rig, noFlags);
    ASSERT_EQ(p.size(), 5u);
    const std::vector<vec3>& s = p[1].vertices;
    ASSERT_EQ(s.size(), 15u);
    for (int wheel = 0; wheel < 4; wheel++) {
        vec3 axis = s[wheel * 3] - s[wheel * 3 + 2];
        EXPECT_NEAR(std::hypot(axis.x, axis.z), 0.4, 1e-5) << wheel;
        double deg = std::atan2(-axis.z, axis.x) * 180 / M_PI; // to the left is -z
        EXPECT_NEAR(deg, wheel < 2 ? 26.565 : 0.0, 0.01) << wheel;
    }
    // The tips do not move with the steering.
    expectNear(s[1], 20, 0.3, 19);
    expectNear(s[4], 20, 0.3, 21);
}

TEST(DebugView, TrailerMarkersUseTheirOwnFrames)
{
    RigState rig = straightRig();
    // Drawbar swung: forward (0.8, 0, -0.6), left side (-0.6, 0, -0.8).
    rig.vnos[1] = vec3(0.8f, 0, -0.6f);
    rig.vnos[2] = vec3(-0.6f, 0, -0.8f);
    std::vector<Prim> p = drawnDebug(rig, noFlags);
    ASSERT_EQ(p.size(), 5u);
    const std::vector<vec3>& t = p[3].vertices;
    ASSERT_EQ(t.size(), 18u);
    // Front left: centre (13.5, 20) + 0.8 (-0.6, -0.8) = (13.02, 19.36).
    expectNear(t[0], 13.02 + 0.16, 0.3, 19.36 - 0.12);
    expectNear(t[1], 13.5 - 0.6, 0.3, 20 - 0.8);
    expectNear(t[2], 13.02 - 0.16, 0.3, 19.36 + 0.12);
    // Rear right with the body frame: tip at z 21.
    expectNear(t[10], 10.5, 0.3, 21);
    // Heading arrows at 1.2, first the drawbar's, then the body's.
    expectNear(t[12], 13.5 + 0.24, 1.5, 20 - 0.18);
    expectNear(t[15], 10.8, 1.5, 20);
    expectNear(t[16], 10.5, 1.5, 19.9);
}

TEST(DebugView, RedMarkersShowEachSeparation)
{
    RigState rig = straightRig();
    // Points the five rules name: T, U and the axle points.
    const vec3 T(18.5f, 0.3f, 20), U(12, 0.3f, 20);
    const vec3 pairs[5][2] = {{T, rig.vnos[0]}, {T, rig.vpos[0]}, {rig.rnos, rig.vpos[0]},
                              {rig.rpos[0], rig.vpos[0]}, {rig.rais, U}};
    for (int flag = 0; flag < 5; flag++) {
        bool bumped[5] = {false, false, false, false, false};
        bumped[flag] = true;
        std::vector<Prim> p = drawnDebug(rig, bumped);
        ASSERT_EQ(p.size(), 5u);
        const std::vector<vec3>& v = p[4].vertices;
        ASSERT_EQ(v.size(), 8u) << flag;
        for (int k = 0; k < 2; k++) {
            const vec3 c = pairs[flag][k];
            expectSquare(v, k * 4, c.x, c.y + 0.1, c.z, 0.3, true);
        }
    }

    // All five at once: in flag order, ten squares.
    const bool all[5] = {true, true, true, true, true};
    std::vector<Prim> p = drawnDebug(rig, all);
    ASSERT_EQ(p.size(), 5u);
    ASSERT_EQ(p[4].vertices.size(), 40u);
    ASSERT_EQ(p[4].colours.size(), 1u);
    for (int flag = 0; flag < 5; flag++)
        for (int k = 0; k < 2; k++) {
            const vec3 c = pairs[flag][k];
            expectSquare(p[4].vertices, (flag * 2 + k) * 4, c.x, c.y + 0.1, c.z, 0.3, true);
        }
}

TEST(DebugView, SquareCornersAreFormedInDouble)
{
    RigState rig = straightRig();
    // Near the origin float and double sums of these offsets part ways.
    rig.rnos = vec3(0.01f, 0.0100000026f, 0.01f);
    const bool nose[5] = {false, false, true, false, false};
    std::vector<Prim> p = drawnDebug(rig, nose);
    ASSERT_EQ(p.size(), 5u);
    const vec3 a = p[0].vertices[0];
    EXPECT_EQ(a.x, (float)((double)rig.rnos.x + 0.2));
    EXPECT_EQ(a.y, rig.rnos.y);
    EXPECT_EQ(a.z, (float)((double)rig.rnos.z + 0.2));
    ASSERT_EQ(p[4].vertices.size(), 8u);
    const vec3 r = p[4].vertices[0];
    EXPECT_EQ(r.x, (float)((double)rig.rnos.x + 0.3));
    EXPECT_EQ(r.y, (float)((double)rig.rnos.y + 0.1));
    EXPECT_EQ(r.z, (float)((double)rig.rnos.z - 0.3));
}
