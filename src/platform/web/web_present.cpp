#include "platform/web/web_present.h"

#include <emscripten.h>

// The drawer is the page's: a page without one (a test of the frames alone)
// simply draws nothing.
EM_JS(void, callPageDrawer, (const void* vertices, int vertexCount, const void* draws, int drawCount), {
    if (Module["hillcarDraw"]) Module["hillcarDraw"](vertices, vertexCount, draws, drawCount);
});

namespace {
TranslatorState state;
WebFrame frame;
bool started;
} // namespace

void resetWebPresenter()
{
    resetTranslator(state);
    started = true;
}

void presentCalls(size_t first, size_t last, bool draw)
{
    if (!started) resetWebPresenter();
    beginWebFrame(frame);
    translateCalls(state, first, last, frame);
    if (draw) callPageDrawer(frame.vertices, frame.vertexCount, frame.draws, frame.drawCount);
}

const WebFrame& lastWebFrame()
{
    return frame;
}
