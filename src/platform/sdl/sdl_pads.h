// Gamepads through SDL's game controller API, for the SDL sources only: pads
// are opened as they are plugged in and closed as they are pulled out, and
// read once whenever the event queue has been found empty, so that a frame
// sees them as of the events already taken, as it sees the keyboard.
#pragma once

#include <SDL.h>

// Starts SDL's game controllers; the pads already plugged in arrive as
// events. Without them the program runs on the keyboard alone.
void startPads();
// Closes every open pad.
void stopPads();
// Opens or closes the pad a plug-in or pull-out event names; false for any
// other event.
bool takePadEvent(const SDL_Event& e);
// Reads what every open pad holds now.
void readPads();
// Whether any pad held virtual key vk at the last readPads.
bool padsHold(int vk);
