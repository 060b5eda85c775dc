// The program: asks about full screen, opens the window and its GL context,
// fixes the projection and the random seed, then runs a frame whenever no
// message waits, until Escape or a close request.
#include "frame/frame.h"
#include "frame/keys.h"
#include "platform/window.h"
#include "render/scene.h"


namespace {
constexpr int SCREEN_WIDTH = 800;
constexpr int SCREEN_HEIGHT = 600;
} // namespace

// One message for the window. Keys other than Escape are swallowed: the frame
// polls the keyboard itself.
long WndProc(Window*, const Message& msg)
{
    switch (msg.kind) {
    case MSG_CLOSE:
        // The window stays until shutdown, after its GL context is gone.
        postQuitMessage(0);
        return 0;
    case MSG_KEYDOWN:
        if (msg.vk == VK_ESCAPE) postQuitMessage(0);
        return 0;
    default:
        // SDL has already done whatever default processing there is.
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
        showMessage("Display Mode Not Compatible", "Error");
        postQuitMessage(0);
    }
}

int WinMain()
{
    bool fullscreen = askYesNo("Use fullscreen?", "Fullscreen");

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

    platformSrand(getTickCount());

    // Every waiting message is handled, one per pass, before the next frame.
    Message msg = {};
    bool quit = false;
    while (!quit) {
        if (peekMessage(&msg)) {
            if (msg.kind == MSG_QUIT)
                quit = true;
            else
                WndProc(window, msg);
        } else {
            goGLprog(dc);
        }
    }

    if (fullscreen) restoreDisplayMode(window);
    DisableOpenGL(window, dc, rc);
    destroyWindow(window);
    stopWindowing();
    return msg.param;
}

int main()
{
    return WinMain();
}
