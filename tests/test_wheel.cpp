#include "render/wheel.h"

#include "platform/scripted/gl_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Sent {
    std::vector<vec3> vertices;
    std::vector<float> greys;        // the grey of each colour call
    std::vector<size_t> colourAt;    // vertex count when each colour was set
    long begins = 0, ends = 0;
};

Sent sendWheel(vec3 fwd, vec3 side, vec3 up, vec3 hub, float rot)
{
    glrecReset();
    drawWheel(fwd, side, up, hub, rot);
    Sent out;
    for (size_t i = 0; i < glrecSize(); i++) {
        GlCall c = glrecCall(i);
        if (c.op == GLREC_VERTEX3F) {
            out.vertices.push_back(vec3((float)c.args[0], (float)c.args[1], (float)c.args[2]));
        } else if (c.op == GLREC_COLOR3F) {
            EXPECT_EQ(c.args[0], c.args[1]);
            EXPECT_EQ(c.args[0], c.args[2]);
            out.greys.push_back((float)c.args[0]);
            out.colourAt.push_back(out.vertices.size());
        } else if (c.op == GLREC_BEGIN) {
            out.begins++;
        } else if (c.op == GLREC_END) {
            out.ends++;
        }
    }
    return out;
}

Sent referenceWheel(float rot)
{
    return sendWheel(vec3(1, 0, 0), vec3(0, 0, 1), vec3(0, 1, 0), vec3(0, 0, 0), rot);
}

const double q = 0.7853981625;

// Angle of a vertex of the reference wheel, measured from +y towards +x,
// in whole eighths of a turn 0..7.
int eighth(vec3 v)
{
    double a = std::atan2((double)v.x, (double)v.y);
    int k = (int)std::lround(a / (M_PI / 4));
    return ((k % 8) + 8) % 8;
}

} // namespace

TEST(Wheel, ReferenceWheelFirstVerticesAndRim)
{
    Sent s = referenceWheel(0.0f);
    ASSERT_EQ(s.vertices.size(), 56u);
    EXPECT_EQ(s.begins, 0);
    EXPECT_EQ(s.ends, 0);

    EXPECT_NEAR(s.vertices[0].x, 0.0, 1e-7);
    EXPECT_NEAR(s.vertices[0].y, 0.3, 1e-7);
    EXPECT_NEAR(s.vertices[0].z, 0.05, 1e-7);
    EXPECT_NEAR(s.vertices[1].x, 0.3 * std::sin(q), 1e-6);
    EXPECT_NEAR(s.vertices[1].y, 0.3 * std::cos(q), 1e-6);
    EXPECT_NEAR(s.vertices[1].x, 0.2121, 1e-4);
    EXPECT_NEAR(s.vertices[1].z, 0.05, 1e-7);

    for (const vec3& v : s.vertices) {
        EXPECT_NEAR(std::hypot((double)v.x, (double)v.y), 0.3, 1e-6);
        EXPECT_NEAR(std::fabs(v.z), 0.05, 1e-7);
        // Every vertex sits on one of the eight rim angles.
        double a = std::atan2((double)v.x, (double)v.y);
        double steps = a / q;
        EXPECT_NEAR(steps, std::round(steps), 1e-5);
    }
}

TEST(Wheel, ColoursBeforeTheirQuads)
{
    Sent s = referenceWheel(0.0f);
    const float greys[6] = {0.2f, 0.25f, 0.2f, 0.3f, 0.2f, 0.35f};
    const size_t before[6] = {0, 8, 20, 28, 36, 44}; // quads 1, 3, 6, 8, 10, 12
    ASSERT_EQ(s.greys.size(), 6u);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(s.greys[i], greys[i]) << i;
        EXPECT_EQ(s.colourAt[i], before[i]) << i;
    }
}

TEST(Wheel, FacesAndTreadCloseTheDrum)
{
    Sent s = referenceWheel(0.0f);
    ASSERT_EQ(s.vertices.size(), 56u);
    int sideQuads = 0;
    int treadUse[8] = {};
    float treadGrey[8] = {};
    size_t colour = 0;
    for (int quad = 0; quad < 14; quad++) {
        while (colour + 1 < s.colourAt.size() && s.colourAt[colour + 1] <= (size_t)quad * 4) colour++;
        const vec3* v = &s.vertices[quad * 4];
        int plus = 0;
        for (int k = 0; k < 4; k++) plus += v[k].z > 0;
        if (plus == 4 || plus == 0) {
            // A side-face part: four distinct rim points, colour 0.2.
            sideQuads++;
            EXPECT_EQ(s.greys[colour], 0.2f) << quad;
            bool seen[8] = {};
            for (int k = 0; k < 4; k++) {
                EXPECT_FALSE(seen[eighth(v[k])]) << quad;
                seen[eighth(v[k])] = true;
            }
            continue;
        }
        ASSERT_EQ(plus, 2) << quad;
        // A tread segment: two neighbouring rim angles, each on both faces.
        int a = eighth(v[0]), b = eighth(v[1]);
        EXPECT_EQ(eighth(v[2]), b) << quad;
        EXPECT_EQ(eighth(v[3]), a) << quad;
        int d = ((b - a) % 8 + 8) % 8;
        ASSERT_TRUE(d == 1 || d == 7) << quad;
        int seg = d == 1 ? a : b; // segment k joins eighths k and k+1
        treadUse[seg]++;
        treadGrey[seg] = s.greys[colour];
    }
    EXPECT_EQ(sideQuads, 6);
    // Segments 0..2 span R0..R3; 3 is R3-R4, 7 is R-1-R0; 4..6 run from R4 to R-1.
    const float expectGrey[8] = {0.25f, 0.25f, 0.25f, 0.3f, 0.35f, 0.35f, 0.35f, 0.3f};
    for (int k = 0; k < 8; k++) {
        EXPECT_EQ(treadUse[k], 1) << k;
        EXPECT_EQ(treadGrey[k], expectGrey[k]) << k;
    }
}

TEST(Wheel, TurningByAnEighthMovesEachRimPointToTheNext)
{
    Sent a = referenceWheel(0.0f);
    Sent b = referenceWheel((float)q);
    ASSERT_EQ(a.vertices.size(), 56u);
    ASSERT_EQ(b.vertices.size(), 56u);
    for (size_t i = 0; i < 56; i++) {
        EXPECT_EQ(eighth(b.vertices[i]), (eighth(a.vertices[i]) + 1) % 8) << i;
        EXPECT_NEAR(b.vertices[i].z, a.vertices[i].z, 1e-7);
    }
    // The colours are sent in the same places, so the pattern turns with it.
    EXPECT_EQ(a.greys, b.greys);
    EXPECT_EQ(a.colourAt, b.colourAt);
}

TEST(Wheel, AxesScaleAndPlaceTheDrum)
{
    // Wheel in the y-z plane around (1, 2, 3): fwd twice as long, side 3 long.
    const vec3 hub(1, 2, 3);
    Sent s = sendWheel(vec3(0, 0, 2), vec3(3, 0, 0), vec3(0, 1, 0), hub, 0.5f);
    ASSERT_EQ(s.vertices.size(), 56u);
    for (const vec3& v : s.vertices) {
        double ez = (v.z - hub.z) / 0.6, ey = (v.y - hub.y) / 0.3;
        EXPECT_NEAR(ez * ez + ey * ey, 1.0, 1e-5);
        EXPECT_NEAR(std::fabs(v.x - hub.x), 0.15, 1e-6);
    }
}

TEST(Wheel, RimPointsAreBuiltInSinglePrecisionInTheStatedOrder)
{
    // Reference for R(a) and its plus vertex, written out from the formula:
    // S = (fwd*sin)*0.3, C = (up*cos)*0.3, R = (hub + C) + S, offset in double.
    const vec3 fwd(0.8f, 0.1f, -0.6f), side(0.6f, 0.0f, 0.8f), up(0.07f, 0.99f, -0.05f);
    // A hub near the origin keeps the low bits of the rim terms visible.
    const vec3 hub(0.011f, -0.023f, 0.0047f);
    const float rot = 17.3f;
    Sent s = sendWheel(fwd, side, up, hub, rot);
    ASSERT_EQ(s.vertices.size(), 56u);
    const double angles[4] = {0.0, 0.7853981625, 1.570796325, 2.3561944875};
    for (int k = 0; k < 4; k++) {
        double a = (double)rot + angles[k];
        float sn = (float)std::sin(a), cs = (float)std::cos(a);
        float Sx = fwd.x * sn * 0.3f, Sy = fwd.y * sn * 0.3f, Sz = fwd.z * sn * 0.3f;
        float Cx = up.x * cs * 0.3f, Cy = up.y * cs * 0.3f, Cz = up.z * cs * 0.3f;
        float Rx = (hub.x + Cx) + Sx, Ry = (hub.y + Cy) + Sy, Rz = (hub.z + Cz) + Sz;
        EXPECT_EQ(s.vertices[k].x, (float)(Rx + side.x * 0.05)) << k;
        EXPECT_EQ(s.vertices[k].y, (float)(Ry + side.y * 0.05)) << k;
        EXPECT_EQ(s.vertices[k].z, (float)(Rz + side.z * 0.05)) << k;
        EXPECT_EQ(s.vertices[4 + k].x, (float)(Rx - side.x * 0.05)) << k;
        EXPECT_EQ(s.vertices[4 + k].z, (float)(Rz - side.z * 0.05)) << k;
    }
    // The last quad starts on R4: the half turn is 3.14159265, not pi.
    double a4 = (double)rot + 3.14159265;
    float sn = (float)std::sin(a4), cs = (float)std::cos(a4);
    float Rx = (hub.x + up.x * cs * 0.3f) + fwd.x * sn * 0.3f;
    EXPECT_EQ(s.vertices[52].x, (float)(Rx - side.x * 0.05));
}
