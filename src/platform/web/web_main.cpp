// The page: no question and no loop of its own. It fixes the projection and
// the seed as the program does, then runs one frame per animation frame of the
// browser; the canvas, the full-screen button and the drawer are the page's.
#include "frame/frame.h"
#include "platform/platform.h"
#include "platform/scripted/gl_record.h"
#include "platform/web/web_platform.h"
#include "platform/web/web_present.h"
#include "render/scene.h"

#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void runPageFrame()
{
    glrecReset();
    goGLprog(nullptr);
}

} // namespace

// "--seed N" (the page's ?seed=N) seeds with N instead of the clock: the
// same world at every visit, for tests and bug reports.
int main(int argc, char** argv)
{
    webListenForKeys();

    glrecReset();
    setFixedProjection();
    presentCalls(0, glrecSize(), false);

    if (argc == 3 && strcmp(argv[1], "--seed") == 0)
        platformSrand((uint32_t)strtoul(argv[2], nullptr, 10));
    else
        platformSrand(getTickCount());

    // 0 frames per second: the browser's animation frames set the pace.
    emscripten_set_main_loop(runPageFrame, 0, 0);
    return 0;
}

// What the page's tests read of the world after the frames so far: whether
// the keys reached the frame is seen in the rig and the camera.
extern "C" EMSCRIPTEN_KEEPALIVE const char* webWorldState()
{
    static char text[384];
    const World& w = theWorld();
    snprintf(text, sizeof text,
             "{\"rspd\": %.9g, \"timeout\": %.9g, \"view\": %d, \"rnos\": [%.9g, %.9g, %.9g], "
             "\"clearcol\": [%.9g, %.9g, %.9g]}",
             w.rig.rspd, w.rig.timeout, w.camera.view, w.rig.rnos.x, w.rig.rnos.y, w.rig.rnos.z,
             w.sky.clearcol.x, w.sky.clearcol.y, w.sky.clearcol.z);
    return text;
}
