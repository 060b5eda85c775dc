#include "gl_window.h"

#include "bench_gl.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

SDL_Window* window;
SDL_GLContext context;
bool tried;
bool opened;
char reason[256];

bool fail(const char* what)
{
    snprintf(reason, sizeof reason, "%s", what);
    return false;
}

bool failSdl(const char* what)
{
    snprintf(reason, sizeof reason, "%s: %s", what, SDL_GetError());
    return false;
}

bool open()
{
    const char* display = getenv("DISPLAY");
    if (!display || !*display) return fail("no DISPLAY: run under X or Xvfb to draw for real");
    // Without this SDL may fall back to its offscreen driver, which has no
    // GLX context to measure.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return failSdl("SDL_Init");
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || strcmp(driver, "x11") != 0) return fail("SDL did not choose its x11 driver");
    if (SDL_GL_LoadLibrary("libGL.so.1") != 0) return failSdl("SDL_GL_LoadLibrary");
    // The frame is OpenGL 1.1 immediate mode: a legacy (compatibility) context,
    // double-buffered, with a 16-bit depth buffer as the program asks for.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    window = SDL_CreateWindow("hillcar-bench", 0, 0, 800, 600,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return failSdl("SDL_CreateWindow");
    context = SDL_GL_CreateContext(window);
    if (!context) return failSdl("SDL_GL_CreateContext");
    if (SDL_GL_MakeCurrent(window, context) != 0) return failSdl("SDL_GL_MakeCurrent");
    SDL_GL_SetSwapInterval(0);
    const char* why = nullptr;
    if (!benchGlLoadReal(&why)) {
        snprintf(reason, sizeof reason, "real GL: %s", why ? why : "?");
        return false;
    }
    benchGlViewport(0, 0, 800, 600);
    return true;
}

} // namespace

bool benchWindowOpen(const char** why)
{
    if (!tried) {
        tried = true;
        opened = open();
    }
    if (!opened && why) *why = reason;
    return opened;
}

void benchWindowClose()
{
    if (context) SDL_GL_DeleteContext(context);
    if (window) SDL_DestroyWindow(window);
    context = nullptr;
    window = nullptr;
    if (tried) SDL_Quit();
}
