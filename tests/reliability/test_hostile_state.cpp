// World states that no run of the program reaches by itself but a replay's
// `set` can make: each once drove a stage into undefined behaviour. And the
// per-frame observer of runReplay that the soak checks the world through.
#include "camera/camera.h"
#include "frame/keys.h"
#include "platform/scripted/scripted.h"
#include "render/scene.h"
#include "replay/run.h"
#include "terrain/scripts.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace {

struct HostileState : ::testing::Test {
    void SetUp() override { scriptReleaseKeys(); }
    void TearDown() override
    {
        scriptReleaseKeys();
        bsize = 4.0f;
    }
};

// Presses and releases V over two camera stages.
int viewAfterPress(int view)
{
    static World world;
    world = World();
    world.camera.view = view;
    scriptSetKey('V', true);
    placeCamera(world.camera, world.rig, world.terrain.w);
    scriptSetKey('V', false);
    placeCamera(world.camera, world.rig, world.terrain.w);
    return world.camera.view;
}

TEST_F(HostileState, ViewLatchWrapsAnyViewAtTheTop)
{
    // The ten views in order, 9 back to 0.
    EXPECT_EQ(viewAfterPress(0), 1);
    EXPECT_EQ(viewAfterPress(8), 9);
    EXPECT_EQ(viewAfterPress(9), 0);
    // Views past 9 go to 0 as 9 does, the largest int included, which once
    // overflowed.
    EXPECT_EQ(viewAfterPress(10), 0);
    EXPECT_EQ(viewAfterPress(INT_MAX), 0);
    // Below 0 the view counts up toward the range.
    EXPECT_EQ(viewAfterPress(-5), -4);
    EXPECT_EQ(viewAfterPress(INT_MIN), INT_MIN + 1);
}

TEST_F(HostileState, ScriptStepCountStopsAtTheLargestInt)
{
    TerrainState terrain;
    terrain.pro[0] = 0; // operation 0 for INT_MAX + 1 frames
    terrain.pam[0] = INT_MAX;
    terrain.pro[1] = -1;
    terrain.ptime = 0;
    terrain.ptim2 = INT_MAX - 1;
    int opnum = -1;
    bool dorandom = false, dosmooth = false;

    // One more frame of the step is counted...
    EXPECT_TRUE(stepScript(terrain, opnum, dorandom, dosmooth));
    EXPECT_EQ(opnum, 0);
    EXPECT_EQ(terrain.ptime, 0);
    EXPECT_EQ(terrain.ptim2, INT_MAX);
    // ...and with the count at the largest int the step is over instead of
    // counting past it.
    opnum = -1;
    EXPECT_FALSE(stepScript(terrain, opnum, dorandom, dosmooth));
    EXPECT_EQ(opnum, -1);
    EXPECT_EQ(terrain.ptime, 1);
    EXPECT_EQ(terrain.ptim2, 0);
    // The end marker then stops the script.
    EXPECT_FALSE(stepScript(terrain, opnum, dorandom, dosmooth));
    EXPECT_EQ(terrain.ptime, -1);
}

// Shift + R once, from a sky with the given red.
vec3 skyAfterCycle(float red)
{
    SkyState sky;
    sky.clearcol = vec3(red, 0.25f, 0.75f);
    sky.btntime = 1.0f;
    scriptSetKey(VK_SHIFT, true);
    scriptSetKey('R', true);
    stepSkyKeys(sky, 0.016f);
    scriptReleaseKeys();
    return sky.clearcol;
}

void expectColour(vec3 c, float r, float g, float b)
{
    EXPECT_EQ(c.x, r);
    EXPECT_EQ(c.y, g);
    EXPECT_EQ(c.z, b);
}

TEST_F(HostileState, SkyCycleTakesAnyRed)
{
    // The cycle read from red x 10 truncated toward zero: 5 -> black, 0 ->
    // white, anything else -> sky blue.
    expectColour(skyAfterCycle(0.55f), 0, 0, 0);
    expectColour(skyAfterCycle(0.5f), 0, 0, 0);
    expectColour(skyAfterCycle(0.05f), 1, 1, 1);
    expectColour(skyAfterCycle(0.0f), 1, 1, 1);
    // -0.05 x 10 truncates toward zero to 0, not down to -1.
    expectColour(skyAfterCycle(-0.05f), 1, 1, 1);
    expectColour(skyAfterCycle(0.3f), 0.5f, 0.8f, 1.0f);
    expectColour(skyAfterCycle(0.6f), 0.5f, 0.8f, 1.0f);
    // Reds with no int to truncate to, which once were converted anyway.
    expectColour(skyAfterCycle(1e30f), 0.5f, 0.8f, 1.0f);
    expectColour(skyAfterCycle(-3e38f), 0.5f, 0.8f, 1.0f);
    expectColour(skyAfterCycle(INFINITY), 0.5f, 0.8f, 1.0f);
    expectColour(skyAfterCycle(NAN), 0.5f, 0.8f, 1.0f);
}

// ---------------------------------------------------------------- observer

struct Seen {
    int calls = 0;
    bool upHeld[8] = {};
    bool leftHeld[8] = {};
    uint32_t tick[8] = {};
    float dt[8] = {};
    int opnum[8] = {};
};

bool watch(const World& world, const FrameValues& values, void* data)
{
    Seen& s = *static_cast<Seen*>(data);
    if (s.calls < 8) {
        s.upHeld[s.calls] = keyHeld(VK_UP);
        s.leftHeld[s.calls] = keyHeld(VK_LEFT);
        s.tick[s.calls] = world.clock.timeNow;
        s.dt[s.calls] = values.dt;
        s.opnum[s.calls] = values.opnum;
    }
    s.calls++;
    return true;
}

int runWatched(const std::string& script, Seen& seen, long maxFrames = 0)
{
    FILE* sink = fopen("/dev/null", "w");
    EXPECT_NE(sink, nullptr);
    int status = runReplay(script.data(), script.size(), sink, sink, maxFrames, watch, &seen);
    fclose(sink);
    return status;
}

TEST_F(HostileState, ObserverSeesEveryFrameWithItsKeysAndValues)
{
    Seen seen;
    ASSERT_EQ(runWatched("seed 3\nframe 1000 UP\nrepeat 2 1016 16 LEFT\nframe 1048\n", seen), 0);
    ASSERT_EQ(seen.calls, 4);
    // The frame's keys are still held when the observer looks.
    EXPECT_TRUE(seen.upHeld[0]);
    EXPECT_FALSE(seen.leftHeld[0]);
    EXPECT_TRUE(seen.leftHeld[1] && seen.leftHeld[2]);
    EXPECT_FALSE(seen.upHeld[1] || seen.upHeld[2] || seen.upHeld[3] || seen.leftHeld[3]);
    EXPECT_EQ(seen.tick[0], 1000u);
    EXPECT_EQ(seen.tick[3], 1048u);
    // Frame times as the ticks give them: 0 on the first frame, then 16 ms.
    EXPECT_EQ(seen.dt[0], 0.0f);
    EXPECT_EQ(seen.dt[1], 0.016f);
    EXPECT_EQ(seen.dt[3], 0.016f);
    // The start-up script smooths; it names no operation.
    EXPECT_EQ(seen.opnum[0], -1);
    // Afterwards every key is up again.
    EXPECT_FALSE(keyHeld(VK_UP) || keyHeld(VK_LEFT));
}

TEST_F(HostileState, ObserverSeesNoFrameThatDidNotRun)
{
    Seen seen;
    // A bad line ends the run: the frame before it is seen, none after it.
    EXPECT_EQ(runWatched("frame 0\nframe 16 NOSUCHKEY\nframe 32\n", seen), 2);
    EXPECT_EQ(seen.calls, 1);
    // A repeat past the cap runs none of its frames.
    Seen capped;
    EXPECT_EQ(runWatched("frame 0\nrepeat 5 16 16\n", capped, 3), 2);
    EXPECT_EQ(capped.calls, 1);
    // With no observer the same script runs as before.
    FILE* sink = fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
    const std::string plain = "frame 0\nframe 16\n";
    EXPECT_EQ(runReplay(plain.data(), plain.size(), sink, sink, 0), 0);
    fclose(sink);
}

} // namespace
