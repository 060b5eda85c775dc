#include "bench_world.h"

#include "frame/frame.h"
#include "platform/scripted/scripted.h"
#include "rig/drive.h"
#include "rig/reset.h"
#include "rig/trailer.h"
#include "rig/truck.h"
#include "terrain/heightmap.h"
#include "terrain/operations.h"
#include "terrain/scripts.h"
#include "terrain/shading.h"

#include <cstdlib>

namespace {

void stepRig(RigState& rig, const float (*w)[GRID])
{
    bool bumped[5] = {};
    resetRig(rig);
    driveRig(rig, benchDt);
    moveTruck(rig, w, benchDt);
    coupleTrailer(rig, w, benchDt, bumped);
}

} // namespace

void shapeWorld(World& world)
{
    srand(12345);
    scriptReleaseKeys();
    bsize = 4.0f;
    world = World();
    TerrainState& terrain = world.terrain;
    generateWorld(terrain);

    // The start-up script is at most a few hundred frames; the bound only
    // guards against a script that never ends.
    for (int frame = 0; frame < 5000 && terrain.ptime >= 0; frame++) {
        int opnum = -1;
        bool dorandom = false, dosmooth = false;
        stepRig(world.rig, terrain.w);
        if (stepScript(terrain, opnum, dorandom, dosmooth) && opnum >= 0)
            applyTerrainOperation(terrain.w, opnum);
        relaxAndShade(terrain, world.rig, world.camera.tra, world.sky.clearcol, dosmooth);
    }
    loadScript(terrain, '0');

    for (int opnum = 0; opnum < 10; opnum++) {
        applyTerrainOperation(terrain.w, opnum);
        stepRig(world.rig, terrain.w);
        relaxAndShade(terrain, world.rig, world.camera.tra, world.sky.clearcol, false);
    }
    for (int pass = 0; pass < 3; pass++)
        relaxAndShade(terrain, world.rig, world.camera.tra, world.sky.clearcol, false);
}

void runFrames(World& world, int n, uint32_t& tick)
{
    for (int k = 0; k < n; k++) {
        tick += benchTickStep;
        scriptSetTick(tick);
        runFrame(world, nullptr);
    }
}
