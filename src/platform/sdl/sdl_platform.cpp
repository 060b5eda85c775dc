#include "platform/sdl/keymap.h"
#include "platform/sdl/sdl_handles.h"
#include "platform/sdl/sdl_pads.h"
#include "platform/window.h"

#include <time.h>

static_assert(SC_A == SDL_SCANCODE_A && SC_A + 25 == SDL_SCANCODE_Z, "letter scancodes");
static_assert(SC_1 == SDL_SCANCODE_1 && SC_1 + 8 == SDL_SCANCODE_9, "digit scancodes");
static_assert(SC_0 == SDL_SCANCODE_0, "digit 0 scancode");
static_assert(SC_RETURN == SDL_SCANCODE_RETURN && SC_KP_ENTER == SDL_SCANCODE_KP_ENTER,
              "Enter scancodes");
static_assert(SC_ESCAPE == SDL_SCANCODE_ESCAPE, "Escape scancode");
static_assert(SC_LEFT == SDL_SCANCODE_LEFT && SC_UP == SDL_SCANCODE_UP &&
                  SC_RIGHT == SDL_SCANCODE_RIGHT && SC_DOWN == SDL_SCANCODE_DOWN,
              "arrow scancodes");
static_assert(SC_KP_0 == SDL_SCANCODE_KP_0 && SC_KP_PLUS == SDL_SCANCODE_KP_PLUS &&
                  SC_KP_MINUS == SDL_SCANCODE_KP_MINUS,
              "keypad scancodes");
static_assert(SC_BACKSPACE == SDL_SCANCODE_BACKSPACE && SC_MINUS == SDL_SCANCODE_MINUS &&
                  SC_EQUALS == SDL_SCANCODE_EQUALS,
              "keypad alias scancodes");
static_assert(SC_LSHIFT == SDL_SCANCODE_LSHIFT && SC_RSHIFT == SDL_SCANCODE_RSHIFT,
              "Shift scancodes");

// SDL updates its keyboard array as it pumps events into its queue; frames run
// only after a poll has found that queue empty, so by then every pumped event
// has been taken and the array is the state as of the events already taken.
// The pads were read when that poll found the queue empty.
short readKeyboard(int vk)
{
    int numkeys = 0;
    const Uint8* keys = SDL_GetKeyboardState(&numkeys);
    return (short)(getKeyStateFrom(vk, keys, numkeys) | (padsHold(vk) ? 0x80 : 0));
}

// The monotonic clock counts from boot, as the tick count does, and never steps
// back when the wall clock is set.
uint32_t readClock()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
    return (uint32_t)ms;
}

void swapBuffers(DeviceContext* dc)
{
    SDL_GL_SwapWindow(dc->sdl);
}
