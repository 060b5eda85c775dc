// The program: asks about full screen, opens the window and its GL context,
// fixes the projection and the random seed, then runs a frame whenever no
// message waits, until Escape or a close request. The command line can answer
// the question, record the run, play a recorded one and trace every frame.
#include "app/fit.h"
#include "app/options.h"
#include "app/session.h"
#include "frame/keys.h"
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

// What the command line asked for beyond the window, and the run of frames
// it drives.
struct Program {
    Options options;
    Session run;
};

// Static: the files' buffers and the script's reader are large.
Program session;

// Seeds the generator as the script says when one plays, else with the clock,
// and begins the recording with it.
void seedRandom()
{
    char made[128];
    snprintf(made, sizeof made, "hillcar %s on %s", HILLCAR_VERSION, SYSTEM);
    seedSession(session.run, RAND_PLATFORM, readClock(), made);
}

// What must be had before any window: the script to play, the files to write.
// Returns 0, or the exit status after the message on err.
int openSession(FILE* err)
{
    Session& s = session.run;
    if (session.options.play) {
        if (!playerOpen(s.player, session.options.play, err)) return 2;
        startPlaying(s);
    }
    if (session.options.record && !recordOpen(s.record, session.options.record, err)) return 1;
    if (session.options.trace && !traceOpen(s.trace, session.options.trace, err)) return 1;
    return 0;
}

void closeSession()
{
    outClose(session.run.record);
    outClose(session.run.trace);
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
        } else if (sessionFrameReady(session.run)) {
            if (session.options.fit) clearFitBars();
            runSessionFrame(session.run, dc);
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
