// The key map's virtual keys. Letters and top-row digits are their ASCII codes
// ('A'..'Z', '0'..'9').
#pragma once

#include "platform/platform.h"

enum : int {
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_ESCAPE = 0x1B,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_NUMPAD0 = 0x60,
    VK_ADD = 0x6B,
    VK_SUBTRACT = 0x6D,
};

// A key counts as held while bit 7 of its state is set.
inline bool keyHeld(int vk)
{
    return (getKeyState(vk) & 0x80) != 0;
}
