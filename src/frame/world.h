// The world state: everything that lives from the first frame to the end of the
// run. The frame driver owns one World in static storage; tests build their own
// and run single stages on it. Each subsystem's state is a struct of its own so
// that a stage's signature says what it may touch.
#pragma once

#include "geometry/vec3.h"

#include <cstdint>

constexpr int GRID = 100; // vertices along each side of the heightmap

// Grid spacing in world units: the one global, since getGround reads it.
extern float bsize;

struct TerrainState {
    bool init = true;         // world not generated yet
    float w[GRID][GRID] = {}; // heightmap: w[i][j] is the height of vertex (i, j)
    vec3 c[GRID][GRID];       // vertex colours, rewritten by every shading pass
    int ptime = 0;            // script step index; -1 when no script plays
    int ptim2 = 0;            // frames spent in the current step
    int pro[10] = {};         // script step codes
    int pam[10] = {};         // script step lengths in frames
    bool addBtn = false;      // numpad plus latch
    bool subBtn = false;      // numpad minus latch
};

struct RigState {
    vec3 rnos = vec3(20, 0, 20); // truck nose: centre of the front axle
    positions rpos;              // truck frame at the rear axle
    vec3 rais = vec3(30, 0, 30); // hitch point
    positions vnos;              // trailer front axle and drawbar frame
    positions vpos;              // trailer rear axle and body frame
    float rtrn = 0;              // steering, -0.5..0.5, positive steers left
    float rspd = 0;              // truck speed along its heading
    float rrot = 0;              // truck wheel rotation (distance rolled)
    float vrot = 0;              // trailer wheel rotation
    float rafall = 0, rbfall = 0; // fall speeds of the truck's axles
    float vafall = 0, vbfall = 0; // fall speeds of the trailer's axles
    int aimind = 0;              // autopilot action 0..6
    float timeout = 5.0f;        // seconds before the autopilot may act
    bool canturn = false;        // a front wheel touched ground in the last motion
    bool candrive = false;       // a rear wheel touched ground in the last motion
};

struct CameraState {
    vec3 tra = vec3(50, 50, 50); // eye
    int view = 6;                // 0..9
    bool vBtn = false;           // V latch
};

struct SkyState {
    vec3 clearcol = vec3(0.5f, 0.8f, 1.0f); // sky colour
    float btntime = 1.0f;                   // debounce of the Shift + R cycle
};

struct FrameClock {
    bool started = false;
    uint32_t timeLast = 0; // tick counts in milliseconds
    uint32_t timeNow = 0;
};

struct World {
    TerrainState terrain;
    RigState rig;
    CameraState camera;
    SkyState sky;
    FrameClock clock;
};

// The values one frame hands from stage to stage; nothing keeps them.
struct FrameValues {
    float dt;        // frame time in seconds
    bool bumped[5];  // separation rules that fired this frame
    bool dorandom;   // a script step asks for a random operation
    bool dosmooth;   // a script step asks for smoothing
    int opnum;       // terrain operation applied this frame, -1 for none
};
