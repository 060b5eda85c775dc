// The program: asks about full screen, opens the window and its GL context,
// fixes the projection and the random seed, then runs a frame whenever no
// message waits, until Escape or a close request. The command line can answer
// the question, record the run, play a recorded one and trace every frame.
#include "app/fit.h"
#include "app/gl_count.h"
#include "app/options.h"
#include "app/player.h"
#include "app/record.h"
#include "frame/frame.h"
#include "frame/keys.h"
#include "platform/live.h"
#include "platform/window.h"
#include "render/scene.h"

#include <cstdio>

#ifndef HILLCAR_VERSION
#define HILLCAR_VERSION "unknown"
#endif

namespace {
constexpr int SCREEN_WIDTH = 800;
constexpr int SCREEN_HEIGHT = 600;

#if defined(_WIN32)
constexpr const char* SYSTEM = "Windows";
#elif defined(__linux__)
constexpr const char* SYSTEM = "Linux";
#else
constexpr const char* SYSTEM = "an unknown system";
#endif

// What the command line asked for beyond the window, set up before any window.
struct Session {
    Options options;
    Player player;
    bool playing;         // frames still come from the script
    OutFile record;       // file null when not recording
    OutFile trace;        // file null when not tracing
    uint64_t frames;      // frames run so far
    uint32_t clockOffset; // added to the clock once a played script has ended
    uint32_t lastFlush;   // clock reading of the last flush of the files
    bool held[256];       // the keys of the frame being run
};

// Static: the files' buffers and the script's reader are large.
Session session;

void recordPlayedSet(const char* args, size_t len, void* data)
{
    recordSet(*static_cast<OutFile*>(data), args, len);
}

// One frame with the tick count and keys of the clock and the keyboard, or of
// the script while one plays. The frame reads them from live.h, so that the
// recording and the trace hold exactly what it saw.
void runLiveFrame(DeviceContext* dc)
{
    Session& s = session;
    uint32_t now = readClock();
    uint32_t tick;
    if (s.playing) {
        playerFrame(s.player, tick, s.held);
        playerPlayed(s.player, now);
    } else {
        // Read once, before the frame: a frame sees one tick count.
        tick = now + s.clockOffset;
        const ScriptKeys& keys = scriptKeys();
        for (int k = 0; k < keys.count; k++)
            s.held[keys.vk[k]] = (readKeyboard(keys.vk[k]) & 0x80) != 0;
    }
    setFrameTick(tick);
    setFrameKeys(s.held);
    recordFrame(s.record, tick, s.held);

    glCountReset();
    goGLprog(dc);
    s.frames++;
    traceFrame(s.trace, s.frames, tick, theWorld(), lastFrameValues(), glCounted());

    if (s.playing && !playerAdvance(s.player, theWorld(), recordPlayedSet, &s.record)) {
        // The script has ended: the clock goes on from its last tick count.
        s.playing = false;
        s.clockOffset = tick - now;
    }
    if ((uint32_t)(now - s.lastFlush) >= 1000) {
        outFlush(s.record);
        outFlush(s.trace);
        s.lastFlush = now;
    }
}

// A frame may run now: always when live, when it is due when playing.
bool frameReady()
{
    return !session.playing || playerDue(session.player, readClock());
}

// Seeds the generator as the script says when one plays, else with the clock,
// and begins the recording with it.
void seedRandom()
{
    Session& s = session;
    RandSource named = s.options.play ? s.player.check.rand : RAND_PLATFORM;
    uint32_t seed = s.options.play ? s.player.check.seed : readClock();
    setRandSource(named);
    platformSrand(seed);
    if (s.record.file) {
        char made[128];
        snprintf(made, sizeof made, "hillcar %s on %s", HILLCAR_VERSION, SYSTEM);
        recordHeader(s.record, made, named != RAND_PLATFORM ? named : platformRandModel(), seed);
        outFlush(s.record);
    }
    s.lastFlush = readClock();
}

// What must be had before any window: the script to play, the files to write.
// Returns 0, or the exit status after the message on err.
int openSession(FILE* err)
{
    Session& s = session;
    if (s.options.play) {
        if (!playerOpen(s.player, s.options.play, err)) return 2;
        s.playing = playerAdvance(s.player, theWorld(), nullptr, nullptr);
    }
    if (s.options.record && !recordOpen(s.record, s.options.record, err)) return 1;
    if (s.options.trace && !traceOpen(s.trace, s.options.trace, err)) return 1;
    return 0;
}

void closeSession()
{
    outClose(session.record);
    outClose(session.trace);
}

// --fit: the viewport for the drawable's size now.
void fitToWindow(Window* window)
{
    int width = 0, height = 0;
    getDrawableSize(window, &width, &height);
    fitViewport(width, height);
}
} // namespace

// One message for the window, as the windowing layer reports it (the Win32
// layer dispatches to its own window procedure and reports only the quit and
// the size changes).
// Keys other than Escape are swallowed: the frame polls the keyboard itself.
long WndProc(Window* window, const Message& msg)
{
    switch (msg.kind) {
    case MSG_CLOSE:
        // The window stays until shutdown, after its GL context is gone.
        postQuitMessage(0);
        return 0;
    case MSG_KEYDOWN:
        if (msg.vk == VK_ESCAPE) postQuitMessage(0);
        return 0;
    case MSG_SIZE:
        // Without --fit the viewport stays the one the context began with.
        if (session.options.fit) fitToWindow(window);
        return 0;
    default:
        // The windowing layer has already done whatever default processing
        // there is.
        return 0;
    }
}

// The window's drawable and a GL context on it, made current. False when the
// context can't be had; what was got is released again.
bool EnableOpenGL(Window* window, DeviceContext** dc, GLContext** rc)
{
    *dc = getDC(window);
    *rc = createGLContext(*dc);
    if (*rc && makeCurrent(*dc, *rc)) return true;
    if (*rc) deleteGLContext(*rc);
    releaseDC(window, *dc);
    *rc = nullptr;
    *dc = nullptr;
    return false;
}

void DisableOpenGL(Window* window, DeviceContext* dc, GLContext* rc)
{
    makeCurrent(nullptr, nullptr);
    deleteGLContext(rc);
    releaseDC(window, dc);
}

// 800x600 at the depth the display already has. A failed query leaves the
// display alone and the run goes on; a refused change ends the run.
void ChangeToFullScreen(Window* window)
{
    DisplayMode mode = {};
    if (!getCurrentDisplayMode(window, &mode)) {
        showMessage("Could Not Enum Display Settings", "Error");
        return;
    }
    mode.width = SCREEN_WIDTH;
    mode.height = SCREEN_HEIGHT;
    if (!changeDisplayMode(window, &mode)) {
        // Plain stderr: where it leads nowhere the box says it all.
        fprintf(stderr, "hillcar: the display cannot switch to %dx%d; "
                        "start hillcar with --windowed to play in a window\n",
                SCREEN_WIDTH, SCREEN_HEIGHT);
        showMessage("Display Mode Not Compatible", "Error");
        postQuitMessage(0);
    }
}

int WinMain()
{
    bool fullscreen = session.options.screen == SCREEN_ASK
                          ? askYesNo("Use fullscreen?", "Fullscreen")
                          : session.options.screen == SCREEN_FULL;

    if (!startWindowing()) return 1;
    Window* window = createWindow("Program", fullscreen);
    if (!window) {
        stopWindowing();
        return 1;
    }
    DeviceContext* dc = nullptr;
    GLContext* rc = nullptr;
    if (!EnableOpenGL(window, &dc, &rc)) {
        destroyWindow(window);
        stopWindowing();
        return 1;
    }
    if (fullscreen) {
        hideCursor();
        ChangeToFullScreen(window);
    }

    setFixedProjection();
    if (session.options.fit) fitToWindow(window);

    seedRandom();

    // Every waiting message is handled, one per pass, before the next frame.
    Message msg = {};
    bool quit = false;
    while (!quit) {
        if (peekMessage(&msg)) {
            if (msg.kind == MSG_QUIT)
                quit = true;
            else
                WndProc(window, msg);
        } else if (frameReady()) {
            if (session.options.fit) clearFitBars();
            runLiveFrame(dc);
        }
    }

    if (fullscreen) restoreDisplayMode(window);
    DisableOpenGL(window, dc, rc);
    destroyWindow(window);
    stopWindowing();
    return msg.param;
}

// The messages of the command line and the files go to standard error, or to
// a box where it leads nowhere (a Windows program started from a shortcut).
int main(int argc, char** argv)
{
    FILE* err = textOut(stderr);
    char why[256];
    if (!parseOptions(argc, argv, session.options, why, sizeof why)) {
        fprintf(err, "hillcar: %s\n%s\n", why, USAGE);
        showStoredText("Error");
        return 2;
    }
    if (session.options.help || session.options.version) {
        FILE* out = textOut(stdout);
        if (session.options.help) printHelp(out);
        else fprintf(out, "hillcar %s\n", HILLCAR_VERSION);
        showStoredText("hillcar");
        return 0;
    }
    int status = openSession(err);
    if (status == 0) status = WinMain();
    closeSession();
    // A refused file, or a write that failed during the run.
    showStoredText("Error");
    return status;
}
