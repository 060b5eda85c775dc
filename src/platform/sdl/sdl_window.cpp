#include "platform/sdl/keymap.h"
#include "platform/sdl/sdl_handles.h"
#include "platform/sdl/sdl_pads.h"
#include "platform/window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int WIDTH = 800;
constexpr int HEIGHT = 600;

// One window, one drawable: static storage, as the program never has more.
Window theWindow;
DeviceContext theDC;

bool quitPosted;
int quitCode;

// Set once SDL is known to have found no display, so that no box is tried.
bool noDisplay;

// libwayland finds a compositor through XDG_RUNTIME_DIR, unless it is named
// by an absolute path or handed a socket. Without any of them it can't, and
// it says so on stderr, ahead of the program's own message when no display
// is found at all. SDL is then told to try every other video driver; one the
// user names in SDL_VIDEODRIVER still wins over this.
void skipUnreachableWayland()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if ((runtime && runtime[0] == '/') || (name && name[0] == '/') || std::getenv("WAYLAND_SOCKET"))
        return;
    char drivers[256] = "";
    for (int i = 0; i < SDL_GetNumVideoDrivers(); i++) {
        const char* driver = SDL_GetVideoDriver(i);
        if (!driver || std::strcmp(driver, "wayland") == 0) continue;
        size_t used = std::strlen(drivers);
        std::snprintf(drivers + used, sizeof drivers - used, "%s%s", used ? "," : "", driver);
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers);
}

// Why SDL found no display: the X display named that could not be opened,
// or none named.
void setNoDisplayReason(const char* driver)
{
    const char* display = std::getenv("DISPLAY");
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    if (chosen && *chosen)
        SDL_SetError("the SDL video driver \"%s\" shows no window (SDL_VIDEODRIVER is set)", driver);
    else if (display && *display)
        SDL_SetError("cannot open the X display \"%s\"", display);
    else
        SDL_SetError("no display to show a window on; DISPLAY is not set");
}

} // namespace

bool askYesNo(const char* text, const char* title)
{
    // Return picks Yes as the default button of a Yes/No box does; Escape picks
    // No, so that the question can be left with the keyboard either way.
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
    };
    // SDL has no question icon; information is the nearest.
    const SDL_MessageBoxData box = {
        SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT,
        nullptr, title, text, 2, buttons, nullptr};
    int answer = -1;
    if (SDL_ShowMessageBox(&box, &answer) != 0) return false;
    return answer == 1;
}

// A terminal or a file always takes the program's text on Linux; a closed
// stream loses it, as for any other program.
FILE* textOut(FILE* stream)
{
    return stream;
}

void showStoredText(const char*) {}

void showMessage(const char* text, const char* title)
{
    SDL_ShowSimpleMessageBox(0, title, text, nullptr);
}

void reportFailure(const char* what)
{
    static char text[512];
    std::snprintf(text, sizeof text, "%s: %s", what, SDL_GetError());
    // stderr first: with no display it is the only place the reason shows.
    std::fprintf(stderr, "hillcar: %s\n", text);
    if (!noDisplay) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text, nullptr);
}

bool startWindowing()
{
    skipUnreachableWayland();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        // SDL's reason is copied out of the buffer the new one is written to.
        char reason[256];
        std::snprintf(reason, sizeof reason, "%s", SDL_GetError());
        const char* display = std::getenv("DISPLAY");
        if (display && *display) SDL_SetError("%s (DISPLAY is \"%s\")", reason, display);
        reportFailure("Could Not Start Video");
        return false;
    }
    // With no display SDL does not fail but falls back to a driver that shows
    // nothing, and the program would run unseen for ever.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "offscreen") == 0 || std::strncmp(driver, "dummy", 5) == 0 ||
        SDL_GetNumVideoDisplays() < 1) {
        setNoDisplayReason(driver ? driver : "none");
        noDisplay = true;
        reportFailure("Could Not Open A Display");
        SDL_Quit();
        return false;
    }
    startPads();
    return true;
}

void stopWindowing()
{
    stopPads();
    SDL_Quit();
}

Window* createWindow(const char* title, bool fullscreen)
{
    // On X11 the visual, and with it the pixel format, is fixed when the window
    // is made, so the request goes in before the window. 24 colour bits and 16
    // depth bits, double buffered, nothing else.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

    Uint32 flags = SDL_WINDOW_OPENGL | (fullscreen ? SDL_WINDOW_BORDERLESS : SDL_WINDOW_RESIZABLE);
    SDL_Window* sdl = SDL_CreateWindow(title, 0, 0, WIDTH, HEIGHT, flags);
    if (!sdl) {
        reportFailure("Could Not Create Window");
        return nullptr;
    }
    if (!fullscreen) {
        // 800x600 is the outer size, frame and caption included. SDL sizes and
        // places the inside, so take the frame off; this happens before the GL
        // context exists, whose default viewport is the drawable at that time.
        int top = 0, left = 0, bottom = 0, right = 0;
        if (SDL_GetWindowBordersSize(sdl, &top, &left, &bottom, &right) == 0 &&
            (top | left | bottom | right) != 0) {
            SDL_SetWindowSize(sdl, WIDTH - left - right, HEIGHT - top - bottom);
            SDL_SetWindowPosition(sdl, left, top);
        }
    }
    theWindow.sdl = sdl;
    return &theWindow;
}

void destroyWindow(Window* window)
{
    SDL_DestroyWindow(window->sdl);
    window->sdl = nullptr;
}

void getDrawableSize(Window* window, int* width, int* height)
{
    SDL_GL_GetDrawableSize(window->sdl, width, height);
}

DeviceContext* getDC(Window* window)
{
    theDC.sdl = window->sdl;
    return &theDC;
}

void releaseDC(Window*, DeviceContext* dc)
{
    dc->sdl = nullptr;
}

GLContext* createGLContext(DeviceContext* dc)
{
    SDL_GLContext rc = SDL_GL_CreateContext(dc->sdl);
    if (!rc) reportFailure("Could Not Create GL Context");
    return static_cast<GLContext*>(rc);
}

bool makeCurrent(DeviceContext* dc, GLContext* rc)
{
    if (SDL_GL_MakeCurrent(dc ? dc->sdl : nullptr, rc) == 0) return true;
    reportFailure("Could Not Make The GL Context Current");
    return false;
}

void deleteGLContext(GLContext* rc)
{
    SDL_GL_DeleteContext(rc);
}

void hideCursor()
{
    SDL_ShowCursor(SDL_DISABLE);
}

bool getCurrentDisplayMode(Window* window, DisplayMode* mode)
{
    int display = SDL_GetWindowDisplayIndex(window->sdl);
    SDL_DisplayMode m;
    if (display < 0 || SDL_GetCurrentDisplayMode(display, &m) != 0) return false;
    mode->width = m.w;
    mode->height = m.h;
    mode->bitsPerPixel = (int)SDL_BITSPERPIXEL(m.format);
    mode->format = m.format;
    mode->refreshRate = m.refresh_rate;
    return true;
}

bool changeDisplayMode(Window* window, const DisplayMode* mode)
{
    int display = SDL_GetWindowDisplayIndex(window->sdl);
    if (display < 0) return false;
    // Size and depth must be had exactly; SDL would settle for a larger mode.
    // The refresh rate is left to the display.
    SDL_DisplayMode want = {mode->format, mode->width, mode->height, 0, nullptr};
    SDL_DisplayMode got;
    if (!SDL_GetClosestDisplayMode(display, &want, &got)) return false;
    if (got.w != mode->width || got.h != mode->height ||
        (int)SDL_BITSPERPIXEL(got.format) != mode->bitsPerPixel)
        return false;
    if (SDL_SetWindowDisplayMode(window->sdl, &got) != 0) return false;
    return SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) == 0;
}

void restoreDisplayMode(Window* window)
{
    // Leaving full screen puts the desktop's own mode back.
    SDL_SetWindowFullscreen(window->sdl, 0);
}

bool peekMessage(Message* msg)
{
    SDL_Event e;
    if (SDL_PollEvent(&e)) {
        msg->kind = MSG_OTHER;
        msg->vk = 0;
        msg->param = 0;
        if (e.type == SDL_QUIT ||
            (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE)) {
            msg->kind = MSG_CLOSE;
        } else if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            msg->kind = MSG_SIZE;
        } else if (takePadEvent(e)) {
            // Handled: the pad is opened or closed.
        } else if (e.type == SDL_KEYDOWN) {
            msg->kind = MSG_KEYDOWN;
            msg->vk = getVirtualKey(e.key.keysym.scancode);
        }
        return true;
    }
    // The queue is empty: the pads as of every event taken.
    readPads();
    // Like a posted quit, it comes out only once nothing else waits, so the
    // messages already queued are still handled before the loop ends.
    if (quitPosted) {
        quitPosted = false;
        msg->kind = MSG_QUIT;
        msg->vk = 0;
        msg->param = quitCode;
        return true;
    }
    return false;
}

void postQuitMessage(int code)
{
    quitPosted = true;
    quitCode = code;
}
