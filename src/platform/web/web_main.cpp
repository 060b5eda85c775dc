// The page: no question and no loop of its own. It fixes the projection and
// the seed as the program does, then runs the frames of its session on the
// browser's animation frames: live from the page's keys and clock, or from a
// drive the page opens, which starts the world afresh as --play does. The
// run is recorded as it goes, in a file of the page's memory that "Save this
// drive" hands to the browser; the canvas, the buttons and the drawer are the
// page's (web/index.html).
#include "app/session.h"
#include "frame/frame.h"
#include "platform/scripted/gl_record.h"
#include "platform/web/web_platform.h"
#include "platform/web/web_present.h"
#include "platform/window.h"
#include "render/scene.h"

#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#ifndef HILLCAR_VERSION
#define HILLCAR_VERSION "unknown"
#endif

namespace {

// Files of the page's memory: the drive the page opens (written by the page),
// the recording of the run and, when asked for, its trace.
constexpr const char* OPEN_PATH = "/open.hillcar";
constexpr const char* RECORD_PATH = "/drive.hillcar";
constexpr const char* TRACE_PATH = "/trace.jsonl";
constexpr const char* MADE = "hillcar " HILLCAR_VERSION " on a web page";

// A drive recorded faster than the browser paints plays at its own pace: the
// frames due run together, but never more than this many in one paint, so
// that a slow machine falls behind rather than stalls.
constexpr int MAX_FRAMES_PER_PAINT = 8;

Session session;
// A drive being opened; the one playing goes on until it has been read whole.
Player opened;
uint32_t pageSeed;
bool tracing;
char message[512];

// The run's files, started empty.
void openFiles()
{
    outClose(session.record);
    outClose(session.trace);
    recordOpen(session.record, RECORD_PATH, stderr);
    if (tracing) traceOpen(session.trace, TRACE_PATH, stderr);
}

void runPageFrames()
{
    for (int n = 0; n < MAX_FRAMES_PER_PAINT && sessionFrameReady(session); n++) {
        webReadPads();
        runSessionFrame(session, nullptr);
        webFrameKeysTaken();
        if (!session.playing) break;
    }
}

} // namespace

// "--seed N" (the page's ?seed=N) seeds with N instead of the clock: the
// same world at every visit, for tests and bug reports. "--trace" (?trace=1)
// keeps the trace of the frames run, for the tests.
int main(int argc, char** argv)
{
    pageSeed = readClock();
    for (int k = 1; k < argc; k++) {
        if (strcmp(argv[k], "--seed") == 0 && k + 1 < argc)
            pageSeed = (uint32_t)strtoul(argv[++k], nullptr, 10);
        else if (strcmp(argv[k], "--trace") == 0)
            tracing = true;
    }
    webListenForKeys();

    glrecReset();
    setFixedProjection();
    presentCalls(0, glrecSize(), false);

    openFiles();
    // The page draws its random numbers from a model of the GNU C library's
    // generator, so that a seed builds the world the program on Linux builds.
    seedSession(session, RAND_GLIBC, pageSeed, MADE);

    // 0 frames per second: the browser's animation frames set the pace.
    emscripten_set_main_loop(runPageFrames, 0, 0);
    return 0;
}

extern "C" {

// Plays the drive the page has written to /open.hillcar: the world starts
// afresh, seeded as the drive says, and the recording and the trace start
// again with it. 0, with hillcar-replay's message for it in webMessage(),
// when it can't be played; the run goes on then as it was.
EMSCRIPTEN_KEEPALIVE int webOpenDrive()
{
    message[0] = 0;
    FILE* err = fmemopen(message, sizeof message, "w");
    bool ok = playerOpen(opened, OPEN_PATH, err ? err : stderr);
    if (err) fclose(err);
    remove(OPEN_PATH);
    if (!ok) return 0;

    std::swap(session.player, opened);
    resetWorld();
    session.frames = 0;
    startPlaying(session);
    openFiles();
    seedSession(session, RAND_GLIBC, pageSeed, MADE);
    return 1;
}

EMSCRIPTEN_KEEPALIVE const char* webMessage()
{
    return message;
}

// Whether the frames still come from a drive.
EMSCRIPTEN_KEEPALIVE int webPlaying()
{
    return session.playing;
}

// Writes out what the recording and the trace hold in memory; returns the
// recording's file, which then holds the whole run so far.
EMSCRIPTEN_KEEPALIVE const char* webFlushFiles()
{
    outFlush(session.record);
    outFlush(session.trace);
    return RECORD_PATH;
}

// What the page's tests read of the world after the frames so far: whether
// the keys reached the frame is seen in the rig and the camera.
EMSCRIPTEN_KEEPALIVE const char* webWorldState()
{
    static char text[384];
    const World& w = theWorld();
    snprintf(text, sizeof text,
             "{\"rspd\": %.9g, \"rtrn\": %.9g, \"timeout\": %.9g, \"view\": %d, "
             "\"rnos\": [%.9g, %.9g, %.9g], \"clearcol\": [%.9g, %.9g, %.9g]}",
             w.rig.rspd, w.rig.rtrn, w.rig.timeout, w.camera.view, w.rig.rnos.x, w.rig.rnos.y,
             w.rig.rnos.z, w.sky.clearcol.x, w.sky.clearcol.y, w.sky.clearcol.z);
    return text;
}

} // extern "C"
