// A browser's gamepad with the "standard" mapping (the Gamepad API's layout
// of a pad it recognises) as the shared pad layout of platform/pad.h. The
// readings come as the page's arrays of axes and buttons, plain values, so
// that this header needs no browser and is tested natively.
#pragma once

#include "platform/pad.h"

// Where the standard mapping puts what the program reads.
constexpr int STANDARD_LEFT_STICK_X = 0;  // axis: -1 left .. 1 right
constexpr int STANDARD_LEFT_TRIGGER = 6;  // button values 0 .. 1
constexpr int STANDARD_RIGHT_TRIGGER = 7;

// axes[axisCount]; values[buttonCount] (0 .. 1) and pressed[buttonCount]
// (0 or 1). A pad with fewer axes or buttons than the layout has them at rest.
inline PadState getStandardPad(const double* axes, int axisCount, const double* values,
                               const int* pressed, int buttonCount)
{
    // The pad's button of each standard button, 0 for those no key uses
    // (the left shoulder, the triggers as buttons, select, start, the sticks'
    // presses, the d-pad's up and down).
    constexpr unsigned buttons[] = {PAD_SOUTH, PAD_EAST, PAD_WEST, PAD_NORTH, 0, PAD_RIGHT_SHOULDER,
                                    0, 0, 0, 0, 0, 0, 0, 0, PAD_DPAD_LEFT, PAD_DPAD_RIGHT};
    constexpr int count = sizeof buttons / sizeof buttons[0];
    PadState state = {};
    if (axisCount > STANDARD_LEFT_STICK_X) state.stickX = (float)axes[STANDARD_LEFT_STICK_X];
    // The triggers by how far they are pulled: a browser may call a trigger
    // pressed as soon as it leaves its rest.
    if (buttonCount > STANDARD_LEFT_TRIGGER)
        state.leftTrigger = (float)values[STANDARD_LEFT_TRIGGER];
    if (buttonCount > STANDARD_RIGHT_TRIGGER)
        state.rightTrigger = (float)values[STANDARD_RIGHT_TRIGGER];
    for (int b = 0; b < buttonCount && b < count; b++)
        if (pressed[b]) state.buttons |= buttons[b];
    return state;
}
