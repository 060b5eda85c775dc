// An XInput pad's reading as the shared pad layout (platform/pad.h). XInput's
// button bits and ranges are kept here as plain numbers, the values of
// <xinput.h>, so that this header needs no windows.h and is tested on its own.
#pragma once

#include "platform/pad.h"

// XINPUT_GAMEPAD's button bits.
constexpr unsigned XI_DPAD_LEFT = 0x0004;
constexpr unsigned XI_DPAD_RIGHT = 0x0008;
constexpr unsigned XI_RIGHT_SHOULDER = 0x0200;
constexpr unsigned XI_A = 0x1000; // south
constexpr unsigned XI_B = 0x2000; // east
constexpr unsigned XI_X = 0x4000; // west
constexpr unsigned XI_Y = 0x8000; // north

// buttons: wButtons; triggers 0..255; thumbLX -32768..32767.
inline PadState getXInputPad(unsigned buttons, int leftTrigger, int rightTrigger, int thumbLX)
{
    struct {
        unsigned xinput, pad;
    } const map[] = {
        {XI_A, PAD_SOUTH},           {XI_B, PAD_EAST},          {XI_X, PAD_WEST},
        {XI_Y, PAD_NORTH},           {XI_RIGHT_SHOULDER, PAD_RIGHT_SHOULDER},
        {XI_DPAD_LEFT, PAD_DPAD_LEFT}, {XI_DPAD_RIGHT, PAD_DPAD_RIGHT},
    };
    PadState state = {};
    float x = (float)thumbLX / 32767.0f;
    state.stickX = x < -1.0f ? -1.0f : x;
    state.leftTrigger = (float)leftTrigger / 255.0f;
    state.rightTrigger = (float)rightTrigger / 255.0f;
    for (const auto& m : map)
        if (buttons & m.xinput) state.buttons |= m.pad;
    return state;
}
