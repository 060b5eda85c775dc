#include "frame/keys.h"
#include "platform/scripted/scripted.h"
#include "terrain/operations.h"
#include "terrain/scripts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<TerrainState> flatTerrain(float h)
{
    auto t = std::make_unique<TerrainState>();
    for (auto& row : t->w)
        for (float& v : row) v = h;
    return t;
}

// The spray of one application, replayed from the same seed: the centre,
// the vertex each point hits (with the r it draws when it draws one), and the
// generator's next value afterwards.
struct Spray {
    double cx, cz;
    std::vector<int> hi, hj;
    std::vector<double> r;
    int hits[GRID][GRID];
    int next;
};

Spray replaySpray(unsigned seed, bool drawsR)
{
    Spray s = {};
    srand(seed);
    // The centre is kept as a pair of floats.
    s.cx = (float)((rand() % 1000) / 10.0);
    s.cz = (float)((rand() % 1000) / 10.0);
    for (int n = 0; n < 200; n++) {
        double angle = (rand() % 10000) / 10000.0 * 6.2831853;
        double radius = (rand() % 10000) / 10000.0 * 15.0;
        double x = s.cx + std::cos(angle) * radius;
        double z = s.cz + std::sin(angle) * radius;
        // Truncation toward zero: the strip (-1, 0) lands on index 0.
        if (x <= -1.0 || z <= -1.0 || x >= 100.0 || z >= 100.0) continue;
        int i = (int)x, j = (int)z;
        s.hi.push_back(i);
        s.hj.push_back(j);
        s.r.push_back(drawsR ? (rand() % 10000) / 10000.0 : 0.0);
        s.hits[i][j]++;
    }
    s.next = rand();
    return s;
}

// A seed whose spray is centred within half a cell of the grid's corner.
unsigned cornerSeed()
{
    for (unsigned seed = 1;; seed++) {
        srand(seed);
        int a = rand() % 1000, b = rand() % 1000;
        if (a <= 5 && b <= 5) return seed;
    }
}

} // namespace

TEST(TerrainOps, OffGridPointsAreSkippedWithoutDrawing)
{
    // Centred at the corner, most points miss; those that hit draw r in turn,
    // so the heights match the replay only if the misses drew nothing.
    auto t = flatTerrain(0);
    const unsigned seed = cornerSeed();
    Spray s = replaySpray(seed, true);
    ASSERT_LT(s.hi.size(), 120u);
    ASSERT_GT(s.hi.size(), 20u);

    double want[GRID][GRID] = {};
    bool stripHit = false;
    for (size_t n = 0; n < s.hi.size(); n++) {
        want[s.hi[n]][s.hj[n]] += s.r[n];
        if (s.hi[n] == 0 || s.hj[n] == 0) stripHit = true;
    }
    EXPECT_TRUE(stripHit);

    srand(seed);
    applyTerrainOperation(t->w, 0);
    EXPECT_EQ(rand(), s.next);
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) ASSERT_NEAR(t->w[i][j], want[i][j], 1e-5) << i << "," << j;
}

TEST(TerrainOps, EachOperationMovesTheHitVerticesItsOwnWay)
{
    const unsigned seed = 2024;
    Spray s = replaySpray(seed, true);
    const float start = 20.0f;
    for (int op = 0; op <= 8; op++) {
        auto t = flatTerrain(start);
        srand(seed);
        applyTerrainOperation(t->w, op);
        EXPECT_EQ(rand(), s.next) << "op " << op;

        double biggest = 0;
        for (int i = 0; i < GRID; i++)
            for (int j = 0; j < GRID; j++) {
                double h = t->w[i][j];
                int k = s.hits[i][j];
                if (k == 0) {
                    ASSERT_EQ(h, start) << "op " << op;
                    continue;
                }
                double d = h - start;
                switch (op) {
                case 0: case 3: case 6: { // raise by up to 1, 10, 50 per hit
                    double most = op == 0 ? 1 : op == 3 ? 10 : 50;
                    ASSERT_GE(d, 0.0);
                    ASSERT_LT(d, most * k);
                    break;
                }
                case 1: case 4: case 7: { // lower by up to 1, 10, 50 per hit
                    double most = op == 1 ? 1 : op == 4 ? 10 : 50;
                    ASSERT_LE(d, 0.0);
                    ASSERT_GT(d, -most * k);
                    break;
                }
                default: { // pull toward 0 by up to 10 %, 50 %, 100 % per hit
                    double keep = op == 2 ? 0.9 : op == 5 ? 0.5 : 0.0;
                    ASSERT_LE(h, start);
                    ASSERT_GE(h, start * std::pow(keep, k) - 1e-4);
                }
                }
                biggest = std::max(biggest, std::fabs(d));
                // Within 15 cells of the centre, give or take the truncation.
                ASSERT_LT(std::hypot(i - s.cx, j - s.cz), 15.0 + std::sqrt(2.0));
            }
        // With well over a hundred uniform draws the largest single change is
        // close to the operation's full strength.
        const double full[] = {1, 1, 2, 10, 10, 10, 50, 50, 20};
        EXPECT_GT(biggest, 0.9 * full[op]) << "op " << op;
    }
}

TEST(TerrainOps, AverageOfTheBlockAroundAVertex)
{
    auto t = flatTerrain(0);
    // At the corner the 16 missing vertices count as the corner itself:
    // (16 * 25 + 25 + 8 * 0) / 25.
    t->w[0][0] = 25.0f;
    EXPECT_FLOAT_EQ(retBlockMean(t->w, 0, 0), 17.0f);
    // Inside, the block is just its 25 vertices.
    t->w[50][50] = 10.0f;
    t->w[52][48] = 15.0f;
    t->w[53][50] = 1000.0f; // outside the block
    EXPECT_FLOAT_EQ(retBlockMean(t->w, 50, 50), 1.0f);
    // On the last row, the two rows beyond (10 vertices) are missing.
    t->w[99][40] = 5.0f;
    t->w[98][40] = 10.0f;
    EXPECT_FLOAT_EQ(retBlockMean(t->w, 99, 40), (5 * 11 + 10) / 25.0f);

    // A flat block leaves its centre as it was.
    const float levels[] = {-37.5f, 0.25f, 3.0f, 64.0f};
    for (float v : levels) {
        auto f = flatTerrain(v);
        EXPECT_EQ(retBlockMean(f->w, 0, 0), v);
        EXPECT_EQ(retBlockMean(f->w, 40, 60), v);
    }
}

TEST(TerrainOps, AveragingDrawsNoAmountAndLeavesFlatGroundAlone)
{
    const unsigned seed = 31;
    Spray s = replaySpray(seed, false);
    auto t = flatTerrain(12.5f);
    srand(seed);
    applyTerrainOperation(t->w, 9);
    EXPECT_EQ(rand(), s.next);
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) ASSERT_EQ(t->w[i][j], 12.5f);

    // Raised where the spray lands, 0 elsewhere: the hit vertices move to a
    // mean between the two, the others are never written.
    auto mesa = flatTerrain(0);
    for (size_t n = 0; n < s.hi.size(); n++) mesa->w[s.hi[n]][s.hj[n]] = 50.0f;
    srand(seed);
    applyTerrainOperation(mesa->w, 9);
    int lowered = 0;
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            float h = mesa->w[i][j];
            if (!s.hits[i][j]) {
                ASSERT_EQ(h, 0.0f);
                continue;
            }
            ASSERT_GE(h, 0.0f);
            ASSERT_LE(h, 50.0f);
            if (h < 50.0f) lowered++;
        }
    EXPECT_GT(lowered, 10);
}

TEST(TerrainOps, UnknownOperationDrawsTheSprayAndChangesNothing)
{
    const unsigned seed = 77;
    Spray s = replaySpray(seed, false);
    const int bad[] = {-1, 10, 42};
    for (int op : bad) {
        auto t = flatTerrain(3.0f);
        srand(seed);
        applyTerrainOperation(t->w, op);
        EXPECT_EQ(rand(), s.next) << op;
        for (int i = 0; i < GRID; i++)
            for (int j = 0; j < GRID; j++) ASSERT_EQ(t->w[i][j], 3.0f);
    }
}

// The key chain only chooses; the frame applies what it returns.
TEST(TerrainKeys, EachPlainDigitChoosesItsOperation)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    const int keys[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0'};
    for (int n = 0; n < 10; n++) {
        scriptSetKey(keys[n], true);
        EXPECT_EQ(readTerrainKeys(*t, false), n);
        scriptSetKey(keys[n], false);
    }
    EXPECT_EQ(readTerrainKeys(*t, false), -1);
    scriptReleaseKeys();
}

TEST(TerrainKeys, LowerDigitWins)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    scriptSetKey('3', true);
    scriptSetKey('5', true);
    EXPECT_EQ(readTerrainKeys(*t, false), 2);
    scriptSetKey('3', false);
    scriptSetKey('0', true);
    EXPECT_EQ(readTerrainKeys(*t, true), 4); // a digit also beats dorandom
    scriptReleaseKeys();
}

TEST(TerrainKeys, ShiftWithEightOrNineAppliesAndLoadsNothing)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    t->ptime = -1;
    scriptSetKey(VK_SHIFT, true);
    scriptSetKey('8', true);
    EXPECT_EQ(readTerrainKeys(*t, false), 7);
    EXPECT_EQ(t->ptime, -1);
    scriptSetKey('8', false);
    scriptSetKey('9', true);
    EXPECT_EQ(readTerrainKeys(*t, false), 8);
    EXPECT_EQ(t->ptime, -1);
    for (int k = 0; k < 10; k++) {
        EXPECT_EQ(t->pro[k], 0);
        EXPECT_EQ(t->pam[k], 0);
    }
    // Shift alone does nothing.
    scriptSetKey('9', false);
    EXPECT_EQ(readTerrainKeys(*t, false), -1);
    EXPECT_EQ(t->ptime, -1);
    scriptReleaseKeys();
}

TEST(TerrainKeys, ShiftDigitsLoadInTurnAndGoOn)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    t->ptime = -1;
    srand(5);
    scriptSetKey(VK_SHIFT, true);
    scriptSetKey('1', true);
    scriptSetKey('4', true);
    EXPECT_EQ(readTerrainKeys(*t, false), -1);
    // The Shift+'4' script lies over the Shift+'1' one: its four steps and
    // end marker, with the fifth and sixth steps of Shift+'1' left behind it.
    EXPECT_EQ(t->pro[3], 11);
    EXPECT_EQ(t->pam[3], 500);
    EXPECT_EQ(t->pro[4], -1);
    EXPECT_EQ(t->pam[4], 50);
    EXPECT_EQ(t->pro[5], 11);
    EXPECT_EQ(t->pam[5], 400);
    EXPECT_EQ(t->pro[6], -1);
    EXPECT_EQ(t->ptime, 0);
    EXPECT_EQ(t->ptim2, 0);

    // A loading digit does not stop the chain: a plain choice further on
    // still counts, and Shift+'8' applies.
    scriptSetKey('4', false);
    scriptSetKey('8', true);
    t->ptime = 3;
    EXPECT_EQ(readTerrainKeys(*t, false), 7);
    EXPECT_EQ(t->ptime, 0);
    EXPECT_EQ(t->pro[0], 6);
    scriptReleaseKeys();
}

TEST(TerrainKeys, ShiftZeroStopsTheScriptAndGoesOn)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    t->pro[0] = 11;
    t->pam[0] = 100;
    t->ptime = 0;
    t->ptim2 = 40;
    scriptSetKey(VK_SHIFT, true);
    scriptSetKey('0', true);
    EXPECT_EQ(readTerrainKeys(*t, false), -1);
    EXPECT_EQ(t->pro[0], -1);
    EXPECT_EQ(t->ptim2, 0);
    // Enter still gets its turn after the stop.
    scriptSetKey(VK_RETURN, true);
    srand(8);
    int want = rand() % 10;
    srand(8);
    EXPECT_EQ(readTerrainKeys(*t, false), want);
    scriptReleaseKeys();
}

TEST(TerrainKeys, EnterOrDorandomDrawsAnOperation)
{
    scriptReleaseKeys();
    auto t = flatTerrain(0);
    srand(12);
    const int a = rand() % 10, b = rand() % 10, next = rand();

    srand(12);
    scriptSetKey(VK_RETURN, true);
    EXPECT_EQ(readTerrainKeys(*t, false), a);
    scriptSetKey(VK_RETURN, false);
    EXPECT_EQ(readTerrainKeys(*t, true), b);
    // No key and no request draws nothing.
    EXPECT_EQ(readTerrainKeys(*t, false), -1);
    EXPECT_EQ(rand(), next);
    scriptReleaseKeys();
}
