#include "frame/frame.h"
#include "frame/frame_time.h"
#include "platform/scripted/gl_record.h"
#include "platform/scripted/scripted.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

float frameTimeAfter(FrameClock& clock, uint32_t tick)
{
    scriptSetTick(tick);
    return retFrameSpd(clock);
}

} // namespace

TEST(FrameTime, FirstCallIsZero)
{
    FrameClock clock;
    EXPECT_EQ(frameTimeAfter(clock, 123456789u), 0.0f);
    EXPECT_TRUE(clock.started);
}

TEST(FrameTime, DifferenceOfTicksInSeconds)
{
    FrameClock clock;
    frameTimeAfter(clock, 1000);
    EXPECT_EQ(frameTimeAfter(clock, 1016), (float)(16 * 0.001));
    EXPECT_EQ(frameTimeAfter(clock, 1017), (float)(1 * 0.001));
    EXPECT_EQ(frameTimeAfter(clock, 1017), 0.0f);
}

TEST(FrameTime, ExactAtLongUptime)
{
    // Eighteen hours after start a float of seconds moves in 1/128 s steps;
    // the tick difference keeps every millisecond.
    FrameClock clock;
    uint32_t t0 = 18u * 3600u * 1000u + 7u;
    frameTimeAfter(clock, t0);
    EXPECT_EQ(frameTimeAfter(clock, t0 + 3), (float)(3 * 0.001));
}

TEST(FrameTime, SurvivesTheTickWrap)
{
    FrameClock clock;
    frameTimeAfter(clock, 0xFFFFFFF0u);
    EXPECT_EQ(frameTimeAfter(clock, 0x00000004u), (float)(20 * 0.001));
    EXPECT_EQ(frameTimeAfter(clock, 0x00000014u), (float)(16 * 0.001));
}

TEST(FrameTime, StallsAreBoundedToAQuarterSecond)
{
    FrameClock clock;
    frameTimeAfter(clock, 5000);
    EXPECT_EQ(frameTimeAfter(clock, 5000 + 249), (float)(249 * 0.001));
    EXPECT_EQ(frameTimeAfter(clock, 5249 + 250), 0.25f);
    EXPECT_EQ(frameTimeAfter(clock, 5499 + 251), 0.25f);
    EXPECT_EQ(frameTimeAfter(clock, 5750 + 60000), 0.25f);
    // A stall across the wrap is bounded like any other.
    frameTimeAfter(clock, 0xFFFFFF00u);
    EXPECT_EQ(frameTimeAfter(clock, 60000u), 0.25f);
}

TEST(WorldState, InitialValues)
{
    auto world = std::make_unique<World>();
    const TerrainState& t = world->terrain;
    EXPECT_TRUE(t.init);
    EXPECT_EQ(t.ptime, 0);
    EXPECT_EQ(t.ptim2, 0);
    EXPECT_FALSE(t.addBtn);
    EXPECT_FALSE(t.subBtn);
    for (int k = 0; k < 10; k++) {
        EXPECT_EQ(t.pro[k], 0);
        EXPECT_EQ(t.pam[k], 0);
    }
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            ASSERT_EQ(t.w[i][j], 0.0f);
            ASSERT_EQ(t.c[i][j].x + t.c[i][j].y + t.c[i][j].z, 0.0f);
        }

    const RigState& r = world->rig;
    EXPECT_EQ(r.rnos.x, 20.0f);
    EXPECT_EQ(r.rnos.y, 0.0f);
    EXPECT_EQ(r.rnos.z, 20.0f);
    EXPECT_EQ(r.rais.x, 30.0f);
    EXPECT_EQ(r.rais.z, 30.0f);
    for (const positions* p : {&r.rpos, &r.vnos, &r.vpos}) {
        EXPECT_EQ((*p)[0].x, 0.0f);
        EXPECT_EQ((*p)[1].x, 1.0f);
        EXPECT_EQ((*p)[2].z, 1.0f);
        EXPECT_EQ((*p)[3].y, 1.0f);
    }
    EXPECT_EQ(r.rtrn, 0.0f);
    EXPECT_EQ(r.rspd, 0.0f);
    EXPECT_EQ(r.rafall + r.rbfall + r.vafall + r.vbfall + r.rrot + r.vrot, 0.0f);
    EXPECT_EQ(r.aimind, 0);
    EXPECT_EQ(r.timeout, 5.0f);
    EXPECT_FALSE(r.canturn);
    EXPECT_FALSE(r.candrive);

    EXPECT_EQ(world->camera.view, 6);
    EXPECT_FALSE(world->camera.vBtn);
    EXPECT_EQ(world->camera.tra.x, 50.0f);
    EXPECT_EQ(world->camera.tra.y, 50.0f);
    EXPECT_EQ(world->camera.tra.z, 50.0f);
    EXPECT_EQ(world->sky.clearcol.x, 0.5f);
    EXPECT_EQ(world->sky.clearcol.y, 0.8f);
    EXPECT_EQ(world->sky.clearcol.z, 1.0f);
    EXPECT_EQ(world->sky.btntime, 1.0f);
    EXPECT_FALSE(world->clock.started);
    EXPECT_EQ(bsize, 4.0f);
}

namespace {

// Index of the first recorded call of op at or after `from`, or -1.
long findCall(GlOp op, size_t from = 0)
{
    for (size_t i = from; i < glrecSize(); i++)
        if (glrecCall(i).op == op) return (long)i;
    return -1;
}

} // namespace

TEST(FrameDriver, StreamFollowsTheStageOrder)
{
    auto world = std::make_unique<World>();
    scriptReleaseKeys();
    for (uint32_t tick : {1000u, 1016u}) {
        scriptSetTick(tick);
        glrecReset();
        FrameValues f = runFrame(*world, nullptr);
        ASSERT_GE(glrecSize(), 6u);
        EXPECT_EQ(glrecCall(0).op, GLREC_CLEAR);
        EXPECT_EQ(glrecCall(0).args[0], (double)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        EXPECT_EQ(glrecCall(1).op, GLREC_LOADIDENTITY);
        EXPECT_EQ(glrecCall(glrecSize() - 1).op, GLREC_SWAP);
        EXPECT_EQ(glrecCall(glrecSize() - 2).op, GLREC_POPMATRIX);

        // The clear colour is chosen for the next frame, before any drawing.
        long clearColour = findCall(GLREC_CLEARCOLOR);
        long push = findCall(GLREC_PUSHMATRIX);
        long firstBegin = findCall(GLREC_BEGIN);
        ASSERT_GE(clearColour, 2);
        EXPECT_GT(push, clearColour);
        if (firstBegin >= 0) {
            EXPECT_GT(firstBegin, push);
        }
        EXPECT_EQ(findCall(GLREC_PUSHMATRIX, push + 1), -1);
        EXPECT_EQ(glrecCall(clearColour).args[0], (double)world->sky.clearcol.x);
        EXPECT_EQ(glrecCall(clearColour).args[3], 0.0);

        EXPECT_FALSE(world->terrain.init);
        // A script step asks for one thing at a time.
        EXPECT_FALSE(f.dorandom && f.dosmooth);
    }
}

TEST(FrameDriver, FirstFrameTimeIsZeroAndLaterOnesFollowTheTicks)
{
    auto world = std::make_unique<World>();
    scriptReleaseKeys();
    scriptSetTick(777777);
    EXPECT_EQ(runFrame(*world, nullptr).dt, 0.0f);
    scriptSetTick(777777 + 40);
    EXPECT_EQ(runFrame(*world, nullptr).dt, (float)(40 * 0.001));
    scriptSetTick(777777 + 40 + 90000);
    EXPECT_EQ(runFrame(*world, nullptr).dt, MAX_FRAME_TIME);
}
