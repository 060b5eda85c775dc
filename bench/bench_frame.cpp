// Whole frames: with GL reduced to a counting sink, and drawn into a real GL
// context beside two floors (a bare clear, and the frame's own calls played
// back from memory).
#include "bench_gl.h"
#include "bench_world.h"
#include "gl_window.h"

#include "frame/frame.h"
#include "frame/keys.h"
#include "platform/scripted/scripted.h"
#include "render/scene.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// Frames run before any measurement: the start-up script (a few hundred
// frames) has ended and the rig has settled.
constexpr int warmFrames = 400;

// A world that has run warmFrames idle frames from its first, with rand()
// seeded the same way each time; tick is its scripted clock.
struct WarmWorld {
    World world;
    uint32_t tick;
};

const WarmWorld& warmWorld()
{
    static WarmWorld warm;
    static bool built = false;
    if (!built) {
        BenchGlMode mode = benchGlMode();
        benchGlSetMode(BENCHGL_COUNT);
        scriptReleaseKeys();
        bsize = 4.0f;
        srand(2024);
        warm.tick = 100000;
        runFrames(warm.world, warmFrames, warm.tick);
        benchGlSetMode(mode);
        built = true;
    }
    return warm;
}

void holdKeys(int variant)
{
    scriptReleaseKeys();
    if (variant == 1) {
        // Smoothing and terrain operation 2 in every frame.
        scriptSetKey('F', true);
        scriptSetKey('3', true);
    } else if (variant == 2) {
        scriptSetKey('D', true);
    }
}

void setCallCounters(benchmark::State& state)
{
    state.counters["gl_calls"] =
        benchmark::Counter((double)benchGlTotalCalls(), benchmark::Counter::kAvgIterations);
    state.counters["vertices"] = benchmark::Counter((double)benchGlCount(BGL_VERTEX3F),
                                                    benchmark::Counter::kAvgIterations);
}

// The system's own CPU cost of a frame: every stage runs, every GL call is made
// but only counted. Arg 0: no keys (autopilot); 1: F and '3' held; 2: D held.
void BM_FrameCounting(benchmark::State& state)
{
    static World world;
    world = warmWorld().world;
    uint32_t tick = warmWorld().tick;
    const float savedBsize = bsize;
    holdKeys((int)state.range(0));
    benchGlSetMode(BENCHGL_COUNT);
    srand(99);
    runFrames(world, 1, tick);
    benchGlResetCounts();
    for (auto _ : state) {
        tick += benchTickStep;
        scriptSetTick(tick);
        runFrame(world, nullptr);
        benchmark::ClobberMemory();
    }
    setCallCounters(state);
    scriptReleaseKeys();
    bsize = savedBsize;
}
BENCHMARK(BM_FrameCounting)->ArgName("keys")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Opens the window and sets the GL state the program sets once at start:
// depth test, its projection, the model-view matrix selected.
bool openGl(benchmark::State& state)
{
    const char* why = nullptr;
    if (!benchWindowOpen(&why)) {
        state.SkipWithError(why);
        return false;
    }
    static bool prepared = false;
    if (!prepared) {
        benchGlSetMode(BENCHGL_FORWARD);
        setFixedProjection();
        benchGlFinish();
        prepared = true;
    }
    state.SetLabel(benchGlRenderer());
    return true;
}

// The least a frame can cost the driver: clear both buffers, wait for it.
void BM_GLClearOnly(benchmark::State& state)
{
    if (!openGl(state)) return;
    benchGlSetMode(BENCHGL_FORWARD);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        benchGlFinish();
    }
}
BENCHMARK(BM_GLClearOnly)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Puts the world, the rand() seed and the scripted clock back as they were
// before the recorded frame, so that the next frame is that very frame.
void rewindWorld(World& world, uint32_t& tick)
{
    world = warmWorld().world;
    tick = warmWorld().tick;
    srand(99);
}

// One idle frame's GL calls, recorded once, sent again from memory each time:
// the driver's unavoidable work for exactly these calls.
void BM_GLPlayback(benchmark::State& state)
{
    if (!openGl(state)) return;
    static World world;
    uint32_t tick = 0;
    scriptReleaseKeys();
    rewindWorld(world, tick);
    benchGlSetMode(BENCHGL_RECORD);
    benchGlClearRecording();
    runFrames(world, 1, tick);
    benchGlSetMode(BENCHGL_FORWARD);
    if (benchGlRecordOverflowed()) {
        state.SkipWithError("the recorded frame overflowed the recording array");
        return;
    }
    benchGlPlayback();
    benchGlFinish();
    benchGlResetCounts();
    for (auto _ : state) {
        // The same rewind as the live frame's, so both start with the same
        // world in the caches.
        state.PauseTiming();
        rewindWorld(world, tick);
        state.ResumeTiming();
        benchGlPlayback();
        benchGlFinish();
    }
    setCallCounters(state);
    if (benchGlError() != 0) state.SkipWithError("GL error after playback");
}
BENCHMARK(BM_GLPlayback)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The whole idle frame drawn for real, its driver work waited for. Each
// iteration draws the frame the playback sends: the difference between the
// two is the system's own work between the calls, not a different picture.
void BM_GLFrame(benchmark::State& state)
{
    if (!openGl(state)) return;
    static World world;
    uint32_t tick = 0;
    scriptReleaseKeys();
    benchGlSetMode(BENCHGL_FORWARD);
    rewindWorld(world, tick);
    runFrames(world, 1, tick);
    benchGlFinish();
    benchGlResetCounts();
    for (auto _ : state) {
        state.PauseTiming();
        rewindWorld(world, tick);
        state.ResumeTiming();
        runFrames(world, 1, tick);
        benchGlFinish();
    }
    setCallCounters(state);
    if (benchGlError() != 0) state.SkipWithError("GL error after the frames");
}
BENCHMARK(BM_GLFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
