#include "frame/keys.h"
#include "platform/scripted/scripted.h"
#include "terrain/heightmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<TerrainState> freshTerrain(float h)
{
    auto t = std::make_unique<TerrainState>();
    for (auto& row : t->w)
        for (float& v : row) v = h;
    return t;
}

// One press and release of a latched key: held for a few frames, then a
// frame that finds it up.
void pressAndRelease(TerrainState& t, int vk)
{
    scriptSetKey(vk, true);
    for (int f = 0; f < 5; f++) stepGridKeys(t);
    scriptSetKey(vk, false);
    stepGridKeys(t);
}

} // namespace

TEST(TerrainGround, VertexGivesItsOwnHeight)
{
    auto t = freshTerrain(0);
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) t->w[i][j] = 0.37f * i - 0.91f * j + 0.013f * i * j;
    const int cells[][2] = {{1, 1}, {5, 5}, {50, 73}, {97, 97}, {97, 1}, {1, 97}};
    for (const auto& c : cells) {
        int i = c[0], j = c[1];
        EXPECT_EQ(getGround(vec3(i * 4.0f, 0, j * 4.0f), t->w), t->w[i][j]) << i << "," << j;
    }
}

TEST(TerrainGround, OuterCellsAndOffGridGiveZero)
{
    auto t = freshTerrain(7.0f);
    const float z = 200.0f;
    EXPECT_EQ(getGround(vec3(3.99f, 0, z), t->w), 0.0f);    // cell 0
    EXPECT_EQ(getGround(vec3(4.0f, 0, z), t->w), 7.0f);     // cell 1
    EXPECT_EQ(getGround(vec3(391.99f, 0, z), t->w), 7.0f);  // cell 97
    EXPECT_EQ(getGround(vec3(392.0f, 0, z), t->w), 0.0f);   // cell 98
    EXPECT_EQ(getGround(vec3(500.0f, 0, z), t->w), 0.0f);
    EXPECT_EQ(getGround(vec3(-0.5f, 0, z), t->w), 0.0f);    // truncates to cell 0
    EXPECT_EQ(getGround(vec3(-30.0f, 0, z), t->w), 0.0f);
    // The same along z.
    EXPECT_EQ(getGround(vec3(z, 0, 3.99f), t->w), 0.0f);
    EXPECT_EQ(getGround(vec3(z, 0, 4.0f), t->w), 7.0f);
    EXPECT_EQ(getGround(vec3(z, 0, 392.0f), t->w), 0.0f);
    EXPECT_EQ(getGround(vec3(z, 0, -1.0f), t->w), 0.0f);
    // Points far away or broken never index the grid.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(getGround(vec3(1e30f, 0, z), t->w), 0.0f);
    EXPECT_EQ(getGround(vec3(-1e30f, 0, -1e30f), t->w), 0.0f);
    EXPECT_EQ(getGround(vec3(inf, 0, z), t->w), 0.0f);
    EXPECT_EQ(getGround(vec3(z, 0, nan), t->w), 0.0f);
}

TEST(TerrainGround, InterpolatesWithinACell)
{
    auto t = freshTerrain(0);
    // Corners of cell (10, 20): (10,20)=2, (11,20)=6, (10,21)=-4, (11,21)=8.
    t->w[10][20] = 2; t->w[11][20] = 6; t->w[10][21] = -4; t->w[11][21] = 8;
    // The centre is the mean of the corners: 12 / 4.
    EXPECT_FLOAT_EQ(getGround(vec3(42.0f, 0, 82.0f), t->w), 3.0f);
    // Along x on the near edge: a quarter of the way from 2 to 6.
    EXPECT_FLOAT_EQ(getGround(vec3(41.0f, 0, 80.0f), t->w), 3.0f);
    // Along z on the near edge: three quarters of the way from 2 to -4.
    EXPECT_FLOAT_EQ(getGround(vec3(40.0f, 0, 83.0f), t->w), -2.5f);
    // fx = 0.25, fz = 0.5: a = 3, b = -1, result 1, whatever the point's y.
    EXPECT_FLOAT_EQ(getGround(vec3(41.0f, 0, 82.0f), t->w), 1.0f);
    EXPECT_FLOAT_EQ(getGround(vec3(41.0f, -80.0f, 82.0f), t->w), 1.0f);
    EXPECT_FLOAT_EQ(getGround(vec3(41.0f, 999.0f, 82.0f), t->w), 1.0f);
}

TEST(TerrainGrid, PlusGrowsOnReleaseUpToOneStepPastTen)
{
    scriptReleaseKeys();
    auto t = freshTerrain(0);
    // Held for many frames: no change until it is released.
    scriptSetKey(VK_ADD, true);
    for (int f = 0; f < 50; f++) stepGridKeys(*t);
    EXPECT_EQ(bsize, 4.0f);
    EXPECT_TRUE(t->addBtn);
    scriptSetKey(VK_ADD, false);
    stepGridKeys(*t);
    EXPECT_EQ(bsize, 6.0f);
    EXPECT_FALSE(t->addBtn);
    stepGridKeys(*t); // further frames with the key up do nothing
    EXPECT_EQ(bsize, 6.0f);

    const float expected[] = {9.0f, 13.5f, 13.5f, 13.5f};
    for (float e : expected) {
        pressAndRelease(*t, VK_ADD);
        EXPECT_EQ(bsize, e);
        EXPECT_FALSE(t->addBtn);
    }
    bsize = 4.0f;
    scriptReleaseKeys();
}

TEST(TerrainGrid, MinusShrinksOnReleaseDownToOneStepBelowOne)
{
    scriptReleaseKeys();
    auto t = freshTerrain(0);
    const double expected[] = {8.0 / 3, 16.0 / 9, 32.0 / 27, 64.0 / 81, 64.0 / 81, 64.0 / 81};
    for (double e : expected) {
        pressAndRelease(*t, VK_SUBTRACT);
        EXPECT_NEAR(bsize, e, 1e-6);
        EXPECT_FALSE(t->subBtn);
    }
    EXPECT_NEAR(bsize, 0.790, 0.0005);
    bsize = 4.0f;
    scriptReleaseKeys();
}

TEST(TerrainGrid, BothReleasedTogetherApplyPlusFirst)
{
    scriptReleaseKeys();
    auto t = freshTerrain(0);
    // At 0.790 plus grows to 1.185 and minus, now above 1, brings it back;
    // the other order would leave 1.185.
    bsize = (float)(64.0 / 81);
    const float start = bsize;
    scriptSetKey(VK_ADD, true);
    scriptSetKey(VK_SUBTRACT, true);
    stepGridKeys(*t);
    scriptReleaseKeys();
    stepGridKeys(*t);
    EXPECT_NEAR(bsize, start, 1e-6);

    // At 13.5 plus does nothing and minus gives 9; minus first would end at 13.5.
    bsize = 13.5f;
    scriptSetKey(VK_ADD, true);
    scriptSetKey(VK_SUBTRACT, true);
    stepGridKeys(*t);
    scriptReleaseKeys();
    stepGridKeys(*t);
    EXPECT_EQ(bsize, 9.0f);
    bsize = 4.0f;
}

TEST(TerrainWorld, GenerationFillsInOrderAndLoadsTheStartupScript)
{
    auto t = freshTerrain(0);
    const unsigned seed = 4242;
    srand(seed);
    std::vector<int> draws(10101);
    for (int& d : draws) d = rand();

    srand(seed);
    generateWorld(*t);
    EXPECT_FALSE(t->init);
    // Exactly 10,000 + 100 draws were taken.
    EXPECT_EQ(rand(), draws[10100]);

    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            float h = t->w[i][j];
            int k = (i < 10 && j < 10) ? 10000 + i * 10 + j : i * 100 + j;
            double want = (i < 10 && j < 10) ? (draws[k] % 1000) * 0.003
                                             : (draws[k] % 1000) * 0.1 - 50.0;
            ASSERT_NEAR(h, want, 1e-5) << i << "," << j;
        }

    // The start-up script is ready to play from its first step.
    EXPECT_EQ(t->ptime, 0);
    EXPECT_EQ(t->ptim2, 0);
    EXPECT_EQ(t->pro[0], 11);
    EXPECT_EQ(t->pam[0], 250);
}
