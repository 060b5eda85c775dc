// The terrain and rig stages on their own, on a reshaped world.
#include "bench_world.h"

#include "frame/keys.h"
#include "platform/scripted/scripted.h"
#include "rig/drive.h"
#include "rig/reset.h"
#include "rig/trailer.h"
#include "rig/truck.h"
#include "terrain/operations.h"
#include "terrain/shading.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

namespace {

// Benchmarked stages change the world they run on (smoothing flattens it,
// operations pile up heights, the rig drives off); every so many iterations
// the saved world is put back, with the timer stopped.
constexpr int restoreEvery = 64;

World& shapedWorld()
{
    static World world;
    static bool shaped = false;
    if (!shaped) {
        shapeWorld(world);
        shaped = true;
    }
    return world;
}

void restoreHeights(TerrainState& terrain, const World& saved)
{
    memcpy(terrain.w, saved.terrain.w, sizeof terrain.w);
}

// The per-vertex pass over all 10,000 vertices; Arg 1 asks for smoothing.
void BM_ShadePass(benchmark::State& state)
{
    static World world;
    world = shapedWorld();
    scriptReleaseKeys();
    const bool smooth = state.range(0) != 0;
    int sinceRestore = 0;
    for (auto _ : state) {
        if (++sinceRestore == restoreEvery) {
            state.PauseTiming();
            restoreHeights(world.terrain, shapedWorld());
            sinceRestore = 0;
            state.ResumeTiming();
        }
        relaxAndShade(world.terrain, world.rig, world.camera.tra, world.sky.clearcol, smooth);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * GRID * GRID);
}
BENCHMARK(BM_ShadePass)->ArgName("smooth")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The floor under the pass: the same 10,000 colours written from the same
// heights with no shading work at all, in the same loop order, with the same
// restores so that both pay the same timer pauses.
void BM_ShadeFloor(benchmark::State& state)
{
    static World world;
    world = shapedWorld();
    TerrainState& terrain = world.terrain;
    int sinceRestore = 0;
    for (auto _ : state) {
        if (++sinceRestore == restoreEvery) {
            state.PauseTiming();
            restoreHeights(terrain, shapedWorld());
            sinceRestore = 0;
            state.ResumeTiming();
        }
        // The heights may have changed behind the compiler's back, and the
        // colours must really be stored.
        benchmark::DoNotOptimize(&terrain);
        benchmark::ClobberMemory();
        for (int i = 0; i < GRID; i++)
            for (int j = 0; j < GRID; j++) {
                float h = terrain.w[i][j];
                terrain.c[i][j] = vec3(h, h, h);
            }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * GRID * GRID);
}
BENCHMARK(BM_ShadeFloor)->Unit(benchmark::kMicrosecond);

// One application of one terrain operation.
void BM_TerrainOperation(benchmark::State& state)
{
    static World world;
    world = shapedWorld();
    const int opnum = (int)state.range(0);
    srand(777);
    int sinceRestore = 0;
    for (auto _ : state) {
        if (++sinceRestore == restoreEvery) {
            state.PauseTiming();
            restoreHeights(world.terrain, shapedWorld());
            sinceRestore = 0;
            state.ResumeTiming();
        }
        applyTerrainOperation(world.terrain.w, opnum);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TerrainOperation)->ArgName("opnum")->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);

// The rig's update of one frame: reset key, driving and autopilot, truck
// motion, trailer coupling. Arg 1 holds Up and Left (the driven path), Arg 0
// leaves the autopilot in charge.
void BM_RigUpdate(benchmark::State& state)
{
    static World world;
    world = shapedWorld();
    RigState& rig = world.rig;
    const float (*w)[GRID] = world.terrain.w;
    scriptReleaseKeys();
    if (state.range(0) != 0) {
        scriptSetKey(VK_UP, true);
        scriptSetKey(VK_LEFT, true);
    }
    srand(4242);
    // A rig that has driven for a few simulated seconds may stand anywhere,
    // so the saved rig is put back far less often than the terrain is.
    int sinceRestore = 0;
    for (auto _ : state) {
        if (++sinceRestore == 16 * restoreEvery) {
            state.PauseTiming();
            rig = shapedWorld().rig;
            sinceRestore = 0;
            state.ResumeTiming();
        }
        bool bumped[5] = {};
        resetRig(rig);
        driveRig(rig, benchDt);
        moveTruck(rig, w, benchDt);
        coupleTrailer(rig, w, benchDt, bumped);
        benchmark::DoNotOptimize(bumped);
        benchmark::ClobberMemory();
    }
    scriptReleaseKeys();
}
BENCHMARK(BM_RigUpdate)->ArgName("keys")->Arg(0)->Arg(1)->Unit(benchmark::kNanosecond);

} // namespace
