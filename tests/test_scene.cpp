#include "frame/keys.h"
#include "platform/scripted/gl_record.h"
#include "platform/scripted/scripted.h"
#include "render/scene.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <memory>

namespace {

const vec3 skyBlue(0.5f, 0.8f, 1.0f);

void expectCall(size_t i, GlOp op, std::initializer_list<double> args)
{
    GlCall c = glrecCall(i);
    ASSERT_EQ(c.op, op) << "call " << i;
    ASSERT_EQ(c.argc, (int)args.size()) << "call " << i;
    int k = 0;
    for (double a : args) {
        EXPECT_EQ(c.args[k], a) << "call " << i << " argument " << k;
        k++;
    }
}

void expectVec(vec3 v, vec3 want)
{
    EXPECT_FLOAT_EQ(v.x, want.x);
    EXPECT_FLOAT_EQ(v.y, want.y);
    EXPECT_FLOAT_EQ(v.z, want.z);
}

struct SkyTest : ::testing::Test {
    void SetUp() override { scriptReleaseKeys(); }
    void TearDown() override { scriptReleaseKeys(); }
};

// A terrain whose every height and colour tells its vertex apart.
std::unique_ptr<TerrainState> markedTerrain()
{
    auto t = std::make_unique<TerrainState>();
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            t->w[i][j] = (float)i - 0.5f * (float)j;
            t->c[i][j] = vec3((float)i / 100, (float)j / 100, (float)(i + j) / 400);
        }
    return t;
}

// Colour and vertex calls of terrain corner (a, b) starting at call k.
void expectTerrainCorner(const TerrainState& t, size_t k, int a, int b, float size)
{
    const vec3& c = t.c[a][b];
    expectCall(k, GLREC_COLOR3F, {c.x, c.y, c.z});
    expectCall(k + 1, GLREC_VERTEX3F, {(float)a * size, t.w[a][b], (float)b * size});
}

void expectTerrainCell(const TerrainState& t, int i, int j, float size)
{
    size_t k = 1 + 8 * (size_t)(i * 99 + j);
    expectTerrainCorner(t, k, i, j, size);
    expectTerrainCorner(t, k + 2, i + 1, j, size);
    expectTerrainCorner(t, k + 4, i + 1, j + 1, size);
    expectTerrainCorner(t, k + 6, i, j + 1, size);
}

// The colour each water vertex was sent with, checked the same wherever the
// vertex recurs; -1 marks a vertex never seen.
struct WaterColours {
    vec3 col[11][11];
    int seen[11][11] = {};
};

WaterColours collectWater(float size)
{
    WaterColours out;
    float s = size * 10;
    for (size_t k = 3; k + 1 < glrecSize(); k += 2) {
        GlCall c = glrecCall(k), v = glrecCall(k + 1);
        if (c.op != GLREC_COLOR4F) break;
        EXPECT_EQ(v.op, GLREC_VERTEX3F);
        EXPECT_EQ(c.args[3], (double)0.7f);
        int i = (int)std::lround(v.args[0] / s), j = (int)std::lround(v.args[2] / s);
        vec3 col((float)c.args[0], (float)c.args[1], (float)c.args[2]);
        if (out.seen[i][j]) {
            EXPECT_EQ(col.x, out.col[i][j].x);
            EXPECT_EQ(col.y, out.col[i][j].y);
            EXPECT_EQ(col.z, out.col[i][j].z);
        }
        out.col[i][j] = col;
        out.seen[i][j]++;
    }
    return out;
}

} // namespace

TEST(SceneTerrain, OneBatchOfQuadsCornerByCorner)
{
    auto t = markedTerrain();
    glrecReset();
    drawTerrain(*t);
    GlCounts n = glrecCounts();
    EXPECT_EQ(n.begins, 1);
    EXPECT_EQ(n.vertices, 99 * 99 * 4);
    EXPECT_EQ(n.colors, 99 * 99 * 4);
    ASSERT_EQ(glrecSize(), 2u + 2u * 39204u);
    expectCall(0, GLREC_BEGIN, {GL_QUADS});
    expectCall(glrecSize() - 1, GLREC_END, {});
    expectTerrainCell(*t, 0, 0, 4);
    expectTerrainCell(*t, 0, 1, 4); // j runs inside i
    expectTerrainCell(*t, 1, 0, 4);
    expectTerrainCell(*t, 37, 62, 4);
    expectTerrainCell(*t, 98, 98, 4);
}

TEST(SceneTerrain, FollowsTheGridSpacing)
{
    auto t = markedTerrain();
    bsize = 0.79f;
    glrecReset();
    drawTerrain(*t);
    bsize = 4.0f;
    expectTerrainCell(*t, 57, 3, 0.79f);
    expectTerrainCell(*t, 98, 97, 0.79f);
    // The far corner stands at 99 spacings.
    GlCall last = glrecCall(glrecSize() - 4);
    EXPECT_FLOAT_EQ((float)last.args[0], 99 * 0.79f);
    EXPECT_FLOAT_EQ((float)last.args[2], 99 * 0.79f);
}

TEST(SceneWater, BlendingWrapsOneBatchOfHundredQuads)
{
    glrecReset();
    drawWater(vec3(50, 50, 50), skyBlue);
    GlCounts n = glrecCounts();
    EXPECT_EQ(n.begins, 1);
    EXPECT_EQ(n.vertices, 400);
    EXPECT_EQ(n.colors, 400);
    ASSERT_EQ(glrecSize(), 805u);
    expectCall(0, GLREC_ENABLE, {GL_BLEND});
    expectCall(1, GLREC_BLENDFUNC, {GL_SRC_ALPHA, GL_SRC_COLOR});
    expectCall(2, GLREC_BEGIN, {GL_QUADS});
    expectCall(803, GLREC_END, {});
    expectCall(804, GLREC_DISABLE, {GL_BLEND});

    // Quad (2, 7), 27th in the batch: corners (2,7), (3,7), (3,8), (2,8), 40 apart.
    size_t k = 3 + 8 * 27;
    const float y = -0.1f;
    expectCall(k + 1, GLREC_VERTEX3F, {80, y, 280});
    expectCall(k + 3, GLREC_VERTEX3F, {120, y, 280});
    expectCall(k + 5, GLREC_VERTEX3F, {120, y, 320});
    expectCall(k + 7, GLREC_VERTEX3F, {80, y, 320});
    // The plane reaches 100 spacings, one beyond the terrain.
    expectCall(802, GLREC_VERTEX3F, {360, y, 400});
}

TEST(SceneWater, HazeByDistanceFromTheEye)
{
    // Eye at water level at a corner: vertex (i, 0) lies 40·i away.
    glrecReset();
    drawWater(vec3(0, -0.1f, 0), skyBlue);
    WaterColours w = collectWater(4);
    for (int i = 0; i < 11; i++)
        for (int j = 0; j < 11; j++) ASSERT_GT(w.seen[i][j], 0);
    const vec3 water(0.2f, 0.4f, 0.8f);
    for (vec3 c : {w.col[0][0], w.col[1][0], w.col[0][1]}) {
        // Within 40 units (and at exactly 40) the water colour stands unchanged.
        EXPECT_EQ(c.x, water.x);
        EXPECT_EQ(c.y, water.y);
        EXPECT_EQ(c.z, water.z);
    }
    expectVec(w.col[3][0], vec3(0.35f, 0.6f, 0.9f)); // 120 away: half way
    expectVec(w.col[0][3], vec3(0.35f, 0.6f, 0.9f));
    expectVec(w.col[5][0], skyBlue); // exactly 200
    expectVec(w.col[6][0], skyBlue);
    expectVec(w.col[10][10], skyBlue);
    // 40·sqrt(2) away: haze (56.57 - 40) / 160.
    float g = (float)((40 * std::sqrt(2.0) - 40) / 160);
    expectVec(w.col[1][1], vec3(0.2f + 0.3f * g, 0.4f + 0.4f * g, 0.8f + 0.2f * g));
}

TEST(SceneWater, FadesToAnySky)
{
    glrecReset();
    drawWater(vec3(200, 30, 200), vec3(0, 0, 0));
    WaterColours w = collectWater(4);
    expectVec(w.col[5][5], vec3(0.2f, 0.4f, 0.8f)); // 30.0001 below the eye
    expectVec(w.col[0][0], vec3(0, 0, 0));

    // A wide grid: s = 135, and the plane spans 1350.
    bsize = 13.5f;
    glrecReset();
    drawWater(vec3(0, 10, 0), skyBlue);
    bsize = 4.0f;
    EXPECT_EQ(glrecCall(802).args[0], 1215.0);
    EXPECT_EQ(glrecCall(802).args[2], 1350.0);
    w = collectWater(13.5f);
    expectVec(w.col[0][0], vec3(0.2f, 0.4f, 0.8f));
    expectVec(w.col[2][0], skyBlue); // 270 away
}

TEST_F(SkyTest, ClearColourIsTheSkyWithAlphaZero)
{
    SkyState sky;
    sky.clearcol = vec3(0.25f, 0.125f, 0.75f);
    glrecReset();
    setClearColour(sky);
    ASSERT_EQ(glrecSize(), 1u);
    expectCall(0, GLREC_CLEARCOLOR, {0.25, 0.125, 0.75, 0});
}

TEST_F(SkyTest, ShiftRCyclesWithDebounce)
{
    SkyState sky;
    scriptSetKey('R', true);
    scriptSetKey(VK_SHIFT, true);
    // btntime starts at 1.0: the first frame steps at once.
    stepSkyKeys(sky, 0.15f);
    expectVec(sky.clearcol, vec3(0, 0, 0));
    EXPECT_EQ(sky.btntime, 0.0f);
    stepSkyKeys(sky, 0.15f); // 0.15 gathered
    stepSkyKeys(sky, 0.15f); // 0.3 gathered, not yet tested
    expectVec(sky.clearcol, vec3(0, 0, 0));
    stepSkyKeys(sky, 0.15f);
    expectVec(sky.clearcol, vec3(1, 1, 1));
    EXPECT_EQ(sky.btntime, 0.0f);
    for (int k = 0; k < 3; k++) stepSkyKeys(sky, 0.15f);
    expectVec(sky.clearcol, skyBlue);
    for (int k = 0; k < 3; k++) stepSkyKeys(sky, 0.15f);
    expectVec(sky.clearcol, vec3(0, 0, 0));
}

TEST_F(SkyTest, DebounceNeedsMoreThanTheLimit)
{
    SkyState sky;
    sky.btntime = 0.0f;
    scriptSetKey('R', true);
    scriptSetKey(VK_SHIFT, true);
    stepSkyKeys(sky, 0.1f);
    stepSkyKeys(sky, 0.1f);
    EXPECT_EQ(sky.btntime, 0.2f); // reached the limit, not beyond it
    stepSkyKeys(sky, 0.1f);
    expectVec(sky.clearcol, skyBlue);
    stepSkyKeys(sky, 0.1f);
    expectVec(sky.clearcol, vec3(0, 0, 0));
}

TEST_F(SkyTest, CycleReadsTheRedComponent)
{
    scriptSetKey('R', true);
    scriptSetKey(VK_SHIFT, true);
    struct {
        float red;
        vec3 next;
    } cases[] = {
        {0.05f, vec3(1, 1, 1)}, {0.0999f, vec3(1, 1, 1)}, {0.1f, skyBlue},
        {0.55f, vec3(0, 0, 0)}, {0.5999f, vec3(0, 0, 0)}, {0.6f, skyBlue},
        {0.3f, skyBlue},        {1.0f, skyBlue},
    };
    for (auto& c : cases) {
        SkyState sky;
        sky.clearcol = vec3(c.red, 0.9f, 0.9f);
        stepSkyKeys(sky, 0.0f);
        EXPECT_EQ(sky.clearcol.x, c.next.x) << "red " << c.red;
        EXPECT_EQ(sky.clearcol.y, c.next.y) << "red " << c.red;
        EXPECT_EQ(sky.clearcol.z, c.next.z) << "red " << c.red;
    }
}

TEST_F(SkyTest, RAloneDrawsBlueThenGreenThenRed)
{
    srand(1234);
    float b = (float)(rand() % 10000) / 10000;
    float g = (float)(rand() % 10000) / 10000;
    float r = (float)(rand() % 10000) / 10000;
    float b2 = (float)(rand() % 10000) / 10000;

    srand(1234);
    SkyState sky;
    sky.btntime = 0.07f;
    scriptSetKey('R', true);
    stepSkyKeys(sky, 0.1f);
    EXPECT_EQ(sky.clearcol.x, r);
    EXPECT_EQ(sky.clearcol.y, g);
    EXPECT_EQ(sky.clearcol.z, b);
    EXPECT_EQ(sky.btntime, 0.07f);
    stepSkyKeys(sky, 0.1f); // every frame while held
    EXPECT_EQ(sky.clearcol.z, b2);
    EXPECT_EQ(sky.btntime, 0.07f);

    scriptSetKey('R', false);
    stepSkyKeys(sky, 0.1f);
    EXPECT_EQ(sky.btntime, 1.0f);

    // Shift alone is not the cycle key: nothing but the reset.
    vec3 before = sky.clearcol;
    sky.btntime = 0.0f;
    scriptSetKey(VK_SHIFT, true);
    stepSkyKeys(sky, 0.1f);
    EXPECT_EQ(sky.btntime, 1.0f);
    EXPECT_EQ(sky.clearcol.x, before.x);
}
