// The frames of a script, run in the page: the same frames as hillcar-replay,
// on the scripted platform, with the trace handed back to the page as text.
// Also draws the last frame of the run through the page's drawer (for a
// comparison with the desktop's GL) and runs single frames for the benchmark.
#include "frame/frame.h"
#include "platform/scripted/gl_record.h"
#include "platform/scripted/scripted.h"
#include "platform/web/web_present.h"
#include "render/scene.h"
#include "replay/run.h"

#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

namespace {
char* traceText;
size_t traceSize;
char* errorText;
size_t errorSize;
int status;
} // namespace

extern "C" {

// Runs the script text[0..len) and returns the trace, valid until the next run.
EMSCRIPTEN_KEEPALIVE const char* webRunReplay(const char* text, int len)
{
    free(traceText);
    free(errorText);
    FILE* out = open_memstream(&traceText, &traceSize);
    FILE* err = open_memstream(&errorText, &errorSize);
    status = runReplay(text, (size_t)len, out, err, 0);
    fclose(out);
    fclose(err);
    return traceText;
}

// The exit status and the error text of the last run, as hillcar-replay's.
EMSCRIPTEN_KEEPALIVE int webReplayStatus()
{
    return status;
}

EMSCRIPTEN_KEEPALIVE const char* webReplayErrors()
{
    return errorText ? errorText : "";
}

// Draws the last frame of the run after the start-up projection, twice, so
// that its clear takes the sky colour the frame itself chose, as the next frame
// of a run would.
EMSCRIPTEN_KEEPALIVE void webDrawLastFrame()
{
    size_t frameCalls = glrecSize();
    setFixedProjection();
    resetWebPresenter();
    presentCalls(frameCalls, glrecSize(), false);
    presentCalls(0, frameCalls, false);
    presentCalls(0, frameCalls, true);
}

// One more frame of the world the run left, at the given tick, no key held;
// its calls stay recorded for webPresentFrame.
EMSCRIPTEN_KEEPALIVE void webRunFrame(uint32_t tick)
{
    scriptSetTick(tick);
    glrecReset();
    goGLprog(nullptr);
}

EMSCRIPTEN_KEEPALIVE void webPresentFrame()
{
    presentCalls(0, glrecSize(), true);
}

// The translation alone, with nothing handed to the drawer.
EMSCRIPTEN_KEEPALIVE void webTranslateFrame()
{
    presentCalls(0, glrecSize(), false);
}

// Vertices and draws of the last frame translated.
EMSCRIPTEN_KEEPALIVE int webFrameVertices()
{
    return lastWebFrame().vertexCount;
}

EMSCRIPTEN_KEEPALIVE int webFrameDraws()
{
    return lastWebFrame().drawCount;
}

} // extern "C"
