// The SDL objects behind the platform's opaque handles, shared by the SDL
// sources only.
#pragma once

#include <SDL.h>

struct Window {
    SDL_Window* sdl;
};

// SDL has no device context apart from the window: the drawable is the window.
struct DeviceContext {
    SDL_Window* sdl;
};
