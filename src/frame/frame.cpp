#include "frame/frame.h"

#include "camera/camera.h"
#include "frame/frame_time.h"
#include "frame/keys.h"
#include "render/bodies.h"
#include "render/debug_view.h"
#include "render/scene.h"
#include "rig/drive.h"
#include "rig/reset.h"
#include "rig/trailer.h"
#include "rig/truck.h"
#include "terrain/heightmap.h"
#include "terrain/operations.h"
#include "terrain/scripts.h"
#include "terrain/shading.h"

#include <GL/gl.h>

float bsize = 4.0f;

FrameValues runFrame(World& world, DeviceContext* dc)
{
    TerrainState& terrain = world.terrain;
    RigState& rig = world.rig;
    CameraState& camera = world.camera;
    SkyState& sky = world.sky;

    // Cleared with the colour the previous frame chose.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();

    FrameValues frame = {};
    frame.dt = retFrameSpd(world.clock);
    frame.opnum = -1;

    if (terrain.init) generateWorld(terrain);

    stepSkyKeys(sky, frame.dt);
    setClearColour(sky);

    // The rig moves before the camera so that the camera follows it this frame;
    // it stands on the terrain as the previous frame left it.
    resetRig(rig);
    driveRig(rig, frame.dt);
    moveTruck(rig, terrain.w, frame.dt);
    coupleTrailer(rig, terrain.w, frame.dt, frame.bumped);

    placeCamera(camera, rig, terrain.w);

    stepGridKeys(terrain);

    // A script step that names an operation takes the frame's one operation
    // and leaves the keys unread.
    if (!stepScript(terrain, frame.opnum, frame.dorandom, frame.dosmooth))
        frame.opnum = readTerrainKeys(terrain, frame.dorandom);
    if (frame.opnum >= 0) applyTerrainOperation(terrain.w, frame.opnum);

    relaxAndShade(terrain, rig, camera.tra, sky.clearcol, frame.dosmooth);

    glPushMatrix();
    drawTerrain(terrain);
    if (keyHeld('D'))
        drawRigDebug(rig, frame.bumped);
    else
        drawRig(rig, terrain.w);
    drawWater(camera.tra, sky.clearcol);
    glPopMatrix();
    swapBuffers(dc);
    return frame;
}

namespace {
FrameValues lastValues;
}

World& theWorld()
{
    static World world;
    return world;
}

void resetWorld()
{
    // Static, since a World is too large to build on the stack each time.
    static const World fresh{};
    theWorld() = fresh;
    bsize = 4.0f;
}

const FrameValues& lastFrameValues()
{
    return lastValues;
}

void goGLprog(DeviceContext* dc)
{
    lastValues = runFrame(theWorld(), dc);
}
