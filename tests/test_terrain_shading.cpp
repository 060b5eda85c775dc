#include "platform/scripted/scripted.h"
#include "terrain/shading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace {

const vec3 sky(0.5f, 0.8f, 1.0f);

std::unique_ptr<TerrainState> flatTerrain(float h)
{
    auto t = std::make_unique<TerrainState>();
    for (auto& row : t->w)
        for (float& v : row) v = h;
    t->ptime = -1;
    return t;
}

// A rig whose six shadow points are all far off the grid.
RigState rigAway()
{
    RigState rig;
    rig.rnos = vec3(-1000, 0, -1000);
    rig.rpos[0] = vec3(-1000, 0, -1000);
    rig.vnos[0] = vec3(-1000, 0, -1000);
    rig.vpos[0] = vec3(-1000, 0, -1000);
    return rig;
}

// An eye straight above vertex (i, j), `up` units over height h.
vec3 eyeOver(int i, int j, float h, float up)
{
    return vec3(i * bsize, h + up, j * bsize);
}

void expectColour(vec3 c, double r, double g, double b)
{
    EXPECT_FLOAT_EQ(c.x, (float)r);
    EXPECT_FLOAT_EQ(c.y, (float)g);
    EXPECT_FLOAT_EQ(c.z, (float)b);
}

} // namespace

TEST(TerrainShade, FlatGroundIsShoreAtQuarterLight)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    relaxAndShade(*t, rigAway(), eyeOver(50, 50, 0, 10), sky, false);
    // L = (0 - 0 + 2) / 8 on level ground: 0.7 L + 0.3, 0.7 L + 0.1, 0.1 L.
    for (int i = 45; i <= 55; i++)
        for (int j = 45; j <= 55; j++) expectColour(t->c[i][j], 0.475, 0.275, 0.025);
    // The last row compares with a missing neighbour that reads as 0.
    relaxAndShade(*t, rigAway(), eyeOver(99, 50, 0, 10), sky, false);
    expectColour(t->c[99][50], 0.475, 0.275, 0.025);
    expectColour(t->c[98][50], 0.475, 0.275, 0.025);
}

TEST(TerrainShade, ElevationBands)
{
    scriptReleaseKeys();
    struct Band {
        float h;
        double r, g, b;
    };
    // Level ground everywhere, so L = 0.25 at vertex (50, 50).
    const Band bands[] = {
        {-9.5f, 0.15, 0.0, 0.375},    // deep water
        {-9.0f, 0.475, 0.275, 0.025}, // shore from -9 on
        {0.05f, 0.475, 0.275, 0.025},
        {0.1f, 0.125, 0.4, 0.05},     // grass from 0.1 on
        {9.9f, 0.125, 0.4, 0.05},
        {10.0f, 0.25, 0.25, 0.25},    // rock from 10 on
        {29.9f, 0.25, 0.25, 0.25},
        {30.0f, 0.55, 0.55, 0.55},    // snow from 30 on
        {100.0f, 0.55, 0.55, 0.55},
    };
    for (const Band& b : bands) {
        auto t = flatTerrain(b.h);
        relaxAndShade(*t, rigAway(), eyeOver(50, 50, b.h, 5), sky, false);
        SCOPED_TRACE(b.h);
        expectColour(t->c[50][50], b.r, b.g, b.b);
    }
}

TEST(TerrainShade, SlopeLightFromTheNextVertexAlongI)
{
    scriptReleaseKeys();
    struct Slope {
        float next; // height of vertex (51, 50); (50, 50) stands at 5
        double L;
    };
    const Slope slopes[] = {
        {12.0f, 1.0},   // more than 6 above
        {11.0f, 1.0},   // exactly 6 above: (6 + 2) / 8
        {7.0f, 0.5},
        {4.0f, 0.125},
        {3.5f, 0.1},    // 1/16, raised to the floor
        {3.0f, 0.1},    // exactly 2 below
        {-20.0f, 0.1},
    };
    for (const Slope& s : slopes) {
        auto t = flatTerrain(5.0f);
        t->w[51][50] = s.next;
        // Grass: 0.5 L, 0.8 L + 0.2, 0.2 L.
        relaxAndShade(*t, rigAway(), eyeOver(50, 50, 5, 5), sky, false);
        SCOPED_TRACE(s.next);
        expectColour(t->c[50][50], 0.5 * s.L, 0.8 * s.L + 0.2, 0.2 * s.L);
    }
}

TEST(TerrainShade, LimitsAndBorderWithoutSmoothing)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    t->w[40][40] = 150.0f;
    t->w[60][60] = -130.0f;
    t->w[40][41] = 100.0f;
    t->w[20][30] = -99.5f;
    for (int k = 0; k < GRID; k++) {
        t->w[0][k] = 30.0f;
        t->w[99][k] = -40.0f;
        t->w[k][0] = 250.0f;
        t->w[k][99] = 5.0f;
    }
    relaxAndShade(*t, rigAway(), vec3(200, 50, 200), sky, false);
    EXPECT_EQ(t->w[40][40], 100.0f);
    EXPECT_EQ(t->w[60][60], -100.0f);
    EXPECT_EQ(t->w[40][41], 100.0f);
    EXPECT_EQ(t->w[20][30], -99.5f);
    for (int k = 0; k < GRID; k++) {
        ASSERT_EQ(t->w[0][k], 0.0f);
        ASSERT_EQ(t->w[99][k], 0.0f);
        ASSERT_EQ(t->w[k][0], 0.0f);
        ASSERT_EQ(t->w[k][99], 0.0f);
    }
}

TEST(TerrainShade, SmoothingRelaxesBorderToOne)
{
    // Asked for by F or by dosmooth: the same tenth of the way to the mean.
    for (int viaKey = 0; viaKey < 2; viaKey++) {
        scriptReleaseKeys();
        auto t = flatTerrain(0);
        t->w[1][50] = 50.0f;
        if (viaKey) scriptSetKey('F', true);
        relaxAndShade(*t, rigAway(), vec3(200, 50, 200), sky, !viaKey);
        scriptReleaseKeys();
        EXPECT_FLOAT_EQ(t->w[0][50], 1.0f) << viaKey;
        // Its neighbours along the border saw only zeros.
        EXPECT_EQ(t->w[0][49], 0.0f);
    }

    // Without either, the border stays at 0 and interior heights stand.
    auto t = flatTerrain(0);
    t->w[1][50] = 50.0f;
    t->w[0][50] = 30.0f;
    relaxAndShade(*t, rigAway(), vec3(200, 50, 200), sky, false);
    EXPECT_EQ(t->w[0][50], 0.0f);
    EXPECT_EQ(t->w[1][50], 50.0f);
}

TEST(TerrainShade, RelaxationReadsThisPassBehindAndTheOldAhead)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    t->w[1][50] = 50.0f;
    t->w[2][49] = 20.0f;
    relaxAndShade(*t, rigAway(), vec3(200, 50, 200), sky, true);
    // (0, 50) sees 50 ahead: 0.1 * 50 / 5. (1, 49) sees 20 and 50 ahead:
    // 0.1 * 70 / 5. Then (1, 50) sees those two new values behind it and
    // zeros ahead: 50 + 0.1 * ((50 + 0 + 0 + 1 + 1.4) / 5 - 50).
    EXPECT_FLOAT_EQ(t->w[0][50], 1.0f);
    EXPECT_FLOAT_EQ(t->w[1][49], 1.4f);
    EXPECT_FLOAT_EQ(t->w[1][50], 46.048f);
}

TEST(TerrainShade, RelaxationSeesUnlimitedNeighboursAhead)
{
    scriptReleaseKeys();
    // An interior vertex limited to 100 with +i and +j neighbours at 200
    // (not yet limited) and the two behind it at 100: 100 + 0.1 (140 - 100).
    auto t = flatTerrain(100.0f);
    t->w[51][50] = 200.0f;
    t->w[50][51] = 200.0f;
    relaxAndShade(*t, rigAway(), vec3(200, 50, 200), sky, true);
    EXPECT_FLOAT_EQ(t->w[50][50], 104.0f);
    // The next pass limits it again before relaxing it.
    relaxAndShade(*t, rigAway(), vec3(200, 50, 200), sky, false);
    EXPECT_EQ(t->w[50][50], 100.0f);

    // Starting at 150, the vertex is limited in its own turn, but the two
    // behind it relaxed toward its old 150 first: (100 + 150 + 3 * 100) / 5
    // is 110, so they stand at 101, and the mean becomes 702 / 5.
    auto u = flatTerrain(100.0f);
    u->w[50][50] = 150.0f;
    u->w[51][50] = 200.0f;
    u->w[50][51] = 200.0f;
    relaxAndShade(*u, rigAway(), vec3(200, 50, 200), sky, true);
    EXPECT_FLOAT_EQ(u->w[49][50], 101.0f);
    EXPECT_FLOAT_EQ(u->w[50][49], 101.0f);
    EXPECT_FLOAT_EQ(u->w[50][50], 104.04f);
}

TEST(TerrainShade, SmoothingOverAWholeMapFollowsRowOrder)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    auto want = flatTerrain(0);
    srand(321);
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++)
            t->w[i][j] = want->w[i][j] = (rand() % 3001) / 10.0f - 150.0f;

    // Vertex by vertex, i outer, in place: limit, border, a tenth of the way
    // to the mean of the five, neighbours off the grid reading 0.
    auto& v = want->w;
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            float h = std::min(100.0f, std::max(-100.0f, v[i][j]));
            if (i == 0 || i == 99 || j == 0 || j == 99) h = 0;
            double sum = h;
            sum += i < 99 ? v[i + 1][j] : 0.0f;
            sum += j < 99 ? v[i][j + 1] : 0.0f;
            sum += i > 0 ? v[i - 1][j] : 0.0f;
            sum += j > 0 ? v[i][j - 1] : 0.0f;
            v[i][j] = (float)(h + 0.1 * (sum / 5 - h));
        }

    relaxAndShade(*t, rigAway(), vec3(200, 50, 200), sky, true);
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) ASSERT_EQ(t->w[i][j], v[i][j]) << i << "," << j;
}

TEST(TerrainShade, SlopeLightReadsTheNeighbourAsThePassFoundIt)
{
    scriptReleaseKeys();
    // With smoothing, (50, 50) relaxes to 0.1 * 6.3 / 5 = 0.126 (grass) and
    // its +i neighbour, relaxed later in the pass, ends near 5.8; the light
    // compares with the 6.3 it had: more than 6 above, so full light.
    auto t = flatTerrain(0);
    t->w[51][50] = 6.3f;
    relaxAndShade(*t, rigAway(), eyeOver(50, 50, 0, 10), sky, true);
    EXPECT_FLOAT_EQ(t->w[50][50], 0.126f);
    EXPECT_LT(t->w[51][50], 6.0f);
    expectColour(t->c[50][50], 0.5, 1.0, 0.2);
}

TEST(TerrainShade, ShadowFactor)
{
    // On the vertex, half light; one cell away along an axis or diagonally,
    // full light; in between, the distance in cells.
    EXPECT_FLOAT_EQ(getShadow(200.0f, 200.0f, 50.0f, 50.0f), 0.5f);
    EXPECT_FLOAT_EQ(getShadow(204.0f, 200.0f, 50.0f, 50.0f), 1.0f);
    EXPECT_FLOAT_EQ(getShadow(200.0f, 196.0f, 50.0f, 50.0f), 1.0f);
    EXPECT_FLOAT_EQ(getShadow(204.0f, 204.0f, 50.0f, 50.0f), 1.0f);
    EXPECT_FLOAT_EQ(getShadow(201.0f, 200.0f, 50.0f, 50.0f), 0.5f);  // a quarter cell
    EXPECT_FLOAT_EQ(getShadow(203.0f, 200.0f, 50.0f, 50.0f), 0.75f);
    EXPECT_NEAR(getShadow(202.4f, 196.8f, 50.0f, 50.0f), 1.0, 1e-5);  // (0.6, 0.8)
    EXPECT_FLOAT_EQ(getShadow(201.2f, 198.8f, 50.0f, 50.0f), 0.5f);  // (0.3, 0.3)
    EXPECT_NEAR(getShadow(201.2f, 202.0f, 50.0f, 50.0f), std::sqrt(0.34), 1e-5); // (0.3, 0.5)
    EXPECT_NEAR(getShadow(202.4f, 202.4f, 50.0f, 50.0f), std::sqrt(0.72), 1e-5);
    EXPECT_FLOAT_EQ(getShadow(-5000.0f, 3.0f, 0.0f, 0.0f), 1.0f);
    EXPECT_FLOAT_EQ(getShadow(208.0f, 200.0f, 50.0f, 50.0f), 1.0f);
    // Converted to cells with the current spacing.
    bsize = 6.0f;
    EXPECT_FLOAT_EQ(getShadow(300.0f, 300.0f, 50.0f, 50.0f), 0.5f);
    EXPECT_FLOAT_EQ(getShadow(304.5f, 300.0f, 50.0f, 50.0f), 0.75f);
    bsize = 4.0f;
}

TEST(TerrainShade, RigPointsShadeTheVerticesUnderThem)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    RigState rig = rigAway();
    rig.rnos = vec3(200, 0, 200); // on vertex (50, 50)
    relaxAndShade(*t, rig, eyeOver(50, 50, 0, 10), sky, false);
    // L = 0.25 * 0.5 on the vertex; neighbours and diagonals unshaded.
    expectColour(t->c[50][50], 0.7 * 0.125 + 0.3, 0.7 * 0.125 + 0.1, 0.1 * 0.125);
    expectColour(t->c[51][50], 0.475, 0.275, 0.025);
    expectColour(t->c[50][49], 0.475, 0.275, 0.025);
    expectColour(t->c[51][51], 0.475, 0.275, 0.025);

    // Three points on one vertex multiply, below the 0.1 floor of the slope.
    rig.rpos[0] = vec3(200, 0, 200); // the truck's middle lands there too
    relaxAndShade(*t, rig, eyeOver(50, 50, 0, 10), sky, false);
    const double L = 0.25 * 0.125;
    expectColour(t->c[50][50], 0.7 * L + 0.3, 0.7 * L + 0.1, 0.1 * L);
}

TEST(TerrainShade, PassShadowsAgreeWithGetShadowEverywhere)
{
    // Casters on and off the grid, at edges, between vertices, at several
    // spacings: every vertex's light must be the product of all six factors.
    // The eye is put over each caster in turn so that the vertices around it
    // are free of haze; there the blue of the shore band is exactly 0.1 L.
    scriptReleaseKeys();
    const float spacings[] = {4.0f, (float)(64.0 / 81), 13.5f};
    for (float s : spacings) {
        bsize = s;
        RigState rig;
        rig.rnos = vec3(0.3f * s, 0, 98.6f * s);
        rig.rpos[0] = vec3(1.7f * s, 0, 97.2f * s);
        rig.vnos[0] = vec3(-0.8f * s, 0, 40.5f * s);
        rig.vpos[0] = vec3(99.9f * s, 0, 40.0f * s);
        const float px[6] = {rig.rnos.x, rig.rpos[0].x, (rig.rnos.x + rig.rpos[0].x) / 2,
                             rig.vnos[0].x, rig.vpos[0].x, (rig.vnos[0].x + rig.vpos[0].x) / 2};
        const float pz[6] = {rig.rnos.z, rig.rpos[0].z, (rig.rnos.z + rig.rpos[0].z) / 2,
                             rig.vnos[0].z, rig.vpos[0].z, (rig.vnos[0].z + rig.vpos[0].z) / 2};
        int shaded = 0;
        for (int k = 0; k < 6; k++) {
            auto t = flatTerrain(0);
            vec3 eye(px[k], 30, pz[k]);
            relaxAndShade(*t, rig, eye, sky, false);
            for (int i = 0; i < GRID; i++)
                for (int j = 0; j < GRID; j++) {
                    if (retDis(eye, vec3(i * s, 0, j * s)) > 40.0f) continue;
                    float L = 0.25f;
                    for (int n = 0; n < 6; n++) L *= getShadow(px[n], pz[n], (float)i, (float)j);
                    if (L < 0.25f) shaded++;
                    ASSERT_EQ(t->c[i][j].z, (float)(0.1 * L)) << s << " " << i << "," << j;
                }
        }
        EXPECT_GT(shaded, 8) << s;
    }
    bsize = 4.0f;
}

TEST(TerrainShade, DistanceHaze)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    // D = 40: no haze.
    relaxAndShade(*t, rigAway(), eyeOver(50, 50, 0, 40), sky, false);
    expectColour(t->c[50][50], 0.475, 0.275, 0.025);
    // D = 120: halfway to the sky.
    relaxAndShade(*t, rigAway(), eyeOver(50, 50, 0, 120), sky, false);
    expectColour(t->c[50][50], (0.475 + 0.5) / 2, (0.275 + 0.8) / 2, (0.025 + 1.0) / 2);
    // D = 200: exactly the sky colour, and so beyond.
    relaxAndShade(*t, rigAway(), eyeOver(50, 50, 0, 200), sky, false);
    EXPECT_EQ(t->c[50][50].x, sky.x);
    EXPECT_EQ(t->c[50][50].y, sky.y);
    EXPECT_EQ(t->c[50][50].z, sky.z);
    EXPECT_EQ(t->c[50][50 + 1].z, sky.z);
}

TEST(TerrainShade, ScriptTint)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    t->ptime = 0;
    t->w[51][50] = 10.0f; // full light on (50, 50)
    relaxAndShade(*t, rigAway(), eyeOver(50, 50, 0, 10), sky, false);
    expectColour(t->c[50][50], 0.8, 0.8, 1.0);
    // Whatever the height: level ground at 0 has L = 0.25.
    expectColour(t->c[50][48], 0.35, 0.35, 0.475);

    // At D = 120 the tint is darkened by V = 0.5 and then faded by 0.5.
    relaxAndShade(*t, rigAway(), eyeOver(50, 50, 0, 120), sky, false);
    expectColour(t->c[50][50], 0.5 * 0.4 + 0.5 * 0.5, 0.5 * 0.4 + 0.5 * 0.8,
                 0.5 * 0.5 + 0.5 * 1.0);

    // The tint covers any band, and only while a script plays.
    auto snow = flatTerrain(50.0f);
    snow->ptime = 3;
    relaxAndShade(*snow, rigAway(), eyeOver(50, 50, 50, 10), sky, false);
    expectColour(snow->c[50][50], 0.35, 0.35, 0.475);
    snow->ptime = -1;
    relaxAndShade(*snow, rigAway(), eyeOver(50, 50, 50, 10), sky, false);
    expectColour(snow->c[50][50], 0.55, 0.55, 0.55);
}
