#include "frame/keys.h"
#include "platform/scripted/scripted.h"
#include "terrain/operations.h"
#include "terrain/scripts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// What the stepper asked for in one frame.
struct Act {
    int op;       // operation applied by the step, -1 for none
    bool random;  // dorandom raised
    bool smooth;  // dosmooth raised
    int ptime;    // step index after the frame's stepper (and key chain)
};

// One frame's terrain-script part: the stepper, then the key chain unless the
// step applied an operation.
Act runFrameScript(TerrainState& t, bool withKeys)
{
    Act a = {-1, false, false, 0};
    int opnum = -1;
    if (stepScript(t, opnum, a.random, a.smooth))
        a.op = opnum;
    else if (withKeys)
        readTerrainKeys(t, a.random);
    a.ptime = t.ptime;
    return a;
}

std::vector<Act> play(TerrainState& t, int frames, bool withKeys = false)
{
    std::vector<Act> acts;
    for (int f = 0; f < frames; f++) acts.push_back(runFrameScript(t, withKeys));
    return acts;
}

bool idle(const Act& a)
{
    return a.op < 0 && !a.random && !a.smooth;
}

} // namespace

TEST(TerrainScript, StartupScriptTiming)
{
    auto t = std::make_unique<TerrainState>();
    t->pro[7] = 4; // left over from nothing: the load clears all ten steps
    t->pam[7] = 9;
    loadStartupScript(*t);
    for (int k = 4; k < 10; k++) {
        EXPECT_EQ(t->pro[k], 0);
        EXPECT_EQ(t->pam[k], 0);
    }

    std::vector<Act> acts = play(*t, 400);
    // acts[f - 1] is frame f, counting the first frame as 1.
    auto frame = [&](int f) { return acts[f - 1]; };
    for (int f = 1; f <= 251; f++) {
        ASSERT_TRUE(frame(f).smooth) << f;
        ASSERT_EQ(frame(f).op, -1) << f;
    }
    EXPECT_TRUE(idle(frame(252)));
    for (int f = 253; f <= 268; f++) ASSERT_EQ(frame(f).op, 3) << f;
    EXPECT_TRUE(idle(frame(269)));
    for (int f = 270; f <= 320; f++) ASSERT_TRUE(frame(f).smooth) << f;
    EXPECT_TRUE(idle(frame(321)));
    EXPECT_GT(frame(321).ptime, -1); // still tinted
    for (int f = 322; f <= 400; f++) {
        ASSERT_EQ(frame(f).ptime, -1) << f;
        ASSERT_TRUE(idle(frame(f))) << f;
    }
}

TEST(TerrainScript, StepOfLengthZeroActsOnceThenAdvances)
{
    auto t = std::make_unique<TerrainState>();
    t->pro[0] = 5; t->pam[0] = 0;
    t->pro[1] = 10; t->pam[1] = 2;
    t->pro[2] = -1;
    std::vector<Act> a = play(*t, 8);
    EXPECT_EQ(a[0].op, 5);
    EXPECT_TRUE(idle(a[1]));
    EXPECT_EQ(a[1].ptime, 1);
    for (int f = 2; f <= 4; f++) EXPECT_TRUE(a[f].random);
    EXPECT_TRUE(idle(a[5]));
    EXPECT_EQ(a[5].ptime, 2);
    EXPECT_EQ(a[6].ptime, -1);
    EXPECT_TRUE(idle(a[6]));
}

TEST(TerrainScript, NegativeLengthSkipsAndUnknownCodeDoesNothing)
{
    auto t = std::make_unique<TerrainState>();
    t->pro[0] = 2; t->pam[0] = -4;
    t->pro[1] = 13; t->pam[1] = 1;
    t->pro[2] = -1;
    std::vector<Act> a = play(*t, 6);
    EXPECT_TRUE(idle(a[0]));
    EXPECT_EQ(a[0].ptime, 1); // advanced without acting
    EXPECT_TRUE(idle(a[1]));
    EXPECT_TRUE(idle(a[2]));
    EXPECT_EQ(a[2].ptime, 1);
    EXPECT_EQ(a[3].ptime, 2);
    EXPECT_EQ(a[4].ptime, -1);
}

TEST(TerrainScript, FixedScripts)
{
    auto t = std::make_unique<TerrainState>();
    t->ptime = -1;
    t->ptim2 = 9;
    const int pro1[] = {6, 11, 6, 11, 6, 11, -1};
    const int pam1[] = {50, 200, 100, 200, 50, 400};
    loadScript(*t, '1');
    for (int k = 0; k < 7; k++) EXPECT_EQ(t->pro[k], pro1[k]) << k;
    for (int k = 0; k < 6; k++) EXPECT_EQ(t->pam[k], pam1[k]) << k;
    EXPECT_EQ(t->ptime, 0);
    EXPECT_EQ(t->ptim2, 0);

    const int pro2[] = {10, 11, 10, 11, 8, 11, -1};
    const int pam2[] = {50, 100, 50, 100, 100, 300};
    loadScript(*t, '2');
    for (int k = 0; k < 7; k++) EXPECT_EQ(t->pro[k], pro2[k]) << k;
    for (int k = 0; k < 6; k++) EXPECT_EQ(t->pam[k], pam2[k]) << k;

    const int pro7[] = {8, 11, 8, 11, 0, 11, 3, 11, -1};
    const int pam7[] = {100, 100, 100, 100, 200, 100, 1, 25};
    loadScript(*t, '7');
    for (int k = 0; k < 9; k++) EXPECT_EQ(t->pro[k], pro7[k]) << k;
    for (int k = 0; k < 8; k++) EXPECT_EQ(t->pam[k], pam7[k]) << k;

    // No fixed script draws a random number.
    srand(3);
    int next = rand();
    srand(3);
    loadScript(*t, '1');
    loadScript(*t, '2');
    loadScript(*t, '7');
    loadScript(*t, '0');
    EXPECT_EQ(rand(), next);
}

TEST(TerrainScript, RandomScriptsDrawInOrder)
{
    auto t = std::make_unique<TerrainState>();
    std::vector<int> d(32);
    srand(61);
    for (int& x : d) x = rand();

    srand(61);
    loadScript(*t, '3');
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(t->pro[k], d[2 * k] % 12);
        EXPECT_EQ(t->pam[k], d[2 * k + 1] % 100 + 5);
    }
    EXPECT_EQ(t->pro[3], 11);
    EXPECT_EQ(t->pam[3], d[6] % 100 + 5);
    EXPECT_EQ(t->pro[4], -1);
    EXPECT_EQ(rand(), d[7]);

    srand(61);
    loadScript(*t, '4');
    EXPECT_EQ(t->pro[2], d[4] % 12);
    EXPECT_EQ(t->pam[2], d[5] % 100 + 5);
    EXPECT_EQ(t->pro[3], 11);
    EXPECT_EQ(t->pam[3], 500);
    EXPECT_EQ(rand(), d[6]);

    srand(61);
    loadScript(*t, '6');
    EXPECT_EQ(t->pro[0], 11);
    EXPECT_EQ(t->pam[0], d[0] % 475 + 25);
    EXPECT_EQ(t->pro[1], -1);
    EXPECT_EQ(rand(), d[1]);

    srand(61);
    loadScript(*t, '5');
    for (int k = 0; k < 9; k++) {
        EXPECT_EQ(t->pro[k], d[2 * k] % 12);
        EXPECT_EQ(t->pam[k], d[2 * k + 1] % 100 + 5);
    }
    // Index 9's first code and length are drawn and then replaced.
    EXPECT_EQ(t->pro[9], 11);
    EXPECT_EQ(t->pam[9], d[20] % 400 + 25);
    EXPECT_EQ(rand(), d[21]);
}

TEST(TerrainScript, ShiftFiveEndsAfterItsTenthStep)
{
    auto t = std::make_unique<TerrainState>();
    srand(17);
    loadScript(*t, '5');
    // Each step acts pam + 1 frames and advances in one more; then index 10
    // ends the script in the frame after.
    int total = 0;
    for (int k = 0; k < 10; k++) total += t->pam[k] + 2;
    std::vector<Act> a = play(*t, total + 3);
    EXPECT_EQ(a[total - 1].ptime, 10);
    EXPECT_EQ(a[total].ptime, -1);
    EXPECT_TRUE(idle(a[total]));
    // The final smoothing covers the frames before its advance.
    for (int f = total - 1 - (t->pam[9] + 1); f < total - 1; f++) ASSERT_TRUE(a[f].smooth) << f;
}

TEST(TerrainScript, HoldingShiftOneRepeatsItsFirstStep)
{
    scriptReleaseKeys();
    auto t = std::make_unique<TerrainState>();
    t->ptime = -1;
    scriptSetKey(VK_SHIFT, true);
    scriptSetKey('1', true);
    std::vector<Act> a = play(*t, 160, true);
    scriptReleaseKeys();
    // Frame 1 loads; then 51 frames of operation 6 and one frame in which
    // the script advances and is loaded again, over and over.
    EXPECT_TRUE(idle(a[0]));
    for (int f = 1; f < 160; f++) {
        bool reload = f % 52 == 0;
        if (reload) {
            ASSERT_TRUE(idle(a[f])) << f;
        } else {
            ASSERT_EQ(a[f].op, 6) << f;
        }
        ASSERT_EQ(a[f].ptime, 0) << f;
    }
}

TEST(TerrainScript, ShiftZeroWithNoScriptOnlyTints)
{
    scriptReleaseKeys();
    auto t = std::make_unique<TerrainState>();
    t->ptime = -1;
    t->pro[0] = 4;
    scriptSetKey(VK_SHIFT, true);
    scriptSetKey('0', true);
    std::vector<Act> a = play(*t, 5, true);
    for (const Act& x : a) {
        EXPECT_TRUE(idle(x));
        EXPECT_EQ(x.ptime, 0); // loaded again every frame: tinted, never acting
    }
    scriptReleaseKeys();
    a = play(*t, 2, true);
    EXPECT_EQ(a[0].ptime, -1);
    EXPECT_EQ(a[1].ptime, -1);
}

TEST(TerrainScript, OperationStepSkipsTheKeys)
{
    scriptReleaseKeys();
    auto t = std::make_unique<TerrainState>();
    t->pro[0] = 1; t->pam[0] = 0;
    t->pro[1] = 10; t->pam[1] = 0;
    t->pro[2] = -1;
    // Shift+'0' would stop the script if the chain ran.
    scriptSetKey(VK_SHIFT, true);
    scriptSetKey('0', true);
    Act a = runFrameScript(*t, true);
    EXPECT_EQ(a.op, 1);
    EXPECT_EQ(t->pro[0], 1);
    scriptReleaseKeys();

    // A random-operation step with '5' held gives operation 4, no draw.
    runFrameScript(*t, false); // advance to step 1
    int opnum = -1;
    bool dorandom = false, dosmooth = false;
    EXPECT_FALSE(stepScript(*t, opnum, dorandom, dosmooth));
    EXPECT_TRUE(dorandom);
    EXPECT_FALSE(dosmooth);
    scriptSetKey('5', true);
    srand(40);
    int next = rand();
    srand(40);
    EXPECT_EQ(readTerrainKeys(*t, dorandom), 4);
    EXPECT_EQ(rand(), next);
    scriptReleaseKeys();
}
