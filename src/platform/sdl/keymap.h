// Virtual keys of the key map to keyboard scancodes, and back. The scancodes
// are the USB HID keyboard usage numbers, which are also SDL's scancode values
// (sdl_platform.cpp checks that at compile time); kept as plain numbers so that
// this header needs no SDL and the mapping can be tested on its own.
#pragma once

constexpr int SC_A = 4;          // letters run A..Z without gaps
constexpr int SC_1 = 30;         // top-row digits run 1..9, then 0
constexpr int SC_0 = 39;
constexpr int SC_RETURN = 40;
constexpr int SC_ESCAPE = 41;
constexpr int SC_BACKSPACE = 42;
constexpr int SC_MINUS = 45;  // '-' on the top row
constexpr int SC_EQUALS = 46; // '=', '+' with Shift
constexpr int SC_RIGHT = 79;
constexpr int SC_LEFT = 80;
constexpr int SC_DOWN = 81;
constexpr int SC_UP = 82;
constexpr int SC_KP_MINUS = 86;
constexpr int SC_KP_PLUS = 87;
constexpr int SC_KP_ENTER = 88;
constexpr int SC_KP_0 = 98;
constexpr int SC_LSHIFT = 225;
constexpr int SC_RSHIFT = 229;

// The scancodes that count as the virtual key vk: writes up to two into codes
// and returns how many (0 for a key the program does not use). Shift and Enter
// have two keys each, either of which holds the virtual key. Keyboards without
// a keypad get the keypad's three keys elsewhere: Backspace for 0, '=' for
// plus (Shift or not) and the top row's '-' for minus. The frame still sees
// only the keypad's virtual keys.
inline int getScancodes(int vk, int codes[2])
{
    if (vk >= 'A' && vk <= 'Z') {
        codes[0] = SC_A + (vk - 'A');
        return 1;
    }
    if (vk >= '1' && vk <= '9') {
        codes[0] = SC_1 + (vk - '1');
        return 1;
    }
    int n = 1;
    switch (vk) {
    case '0': codes[0] = SC_0; break;
    case 0x10: codes[0] = SC_LSHIFT; codes[1] = SC_RSHIFT; n = 2; break;   // VK_SHIFT
    case 0x0D: codes[0] = SC_RETURN; codes[1] = SC_KP_ENTER; n = 2; break; // VK_RETURN
    case 0x1B: codes[0] = SC_ESCAPE; break;                                // VK_ESCAPE
    case 0x25: codes[0] = SC_LEFT; break;                                  // VK_LEFT
    case 0x26: codes[0] = SC_UP; break;                                    // VK_UP
    case 0x27: codes[0] = SC_RIGHT; break;                                 // VK_RIGHT
    case 0x28: codes[0] = SC_DOWN; break;                                  // VK_DOWN
    case 0x60: codes[0] = SC_KP_0; codes[1] = SC_BACKSPACE; n = 2; break;  // VK_NUMPAD0
    case 0x6B: codes[0] = SC_KP_PLUS; codes[1] = SC_EQUALS; n = 2; break;  // VK_ADD
    case 0x6D: codes[0] = SC_KP_MINUS; codes[1] = SC_MINUS; n = 2; break;  // VK_SUBTRACT
    default: n = 0; break;
    }
    return n;
}

// Key state of vk from a keyboard array indexed by scancode (non-zero = held,
// numkeys entries): 0x80 while any of its keys is held, else 0.
inline short getKeyStateFrom(int vk, const unsigned char* keys, int numkeys)
{
    int codes[2];
    int n = getScancodes(vk, codes);
    for (int k = 0; k < n; ++k)
        if (codes[k] < numkeys && keys[codes[k]] != 0) return (short)0x80;
    return 0;
}

// The virtual key a scancode stands for, 0 when the program does not use it.
inline int getVirtualKey(int scancode)
{
    if (scancode >= SC_A && scancode < SC_A + 26) return 'A' + (scancode - SC_A);
    if (scancode >= SC_1 && scancode < SC_1 + 9) return '1' + (scancode - SC_1);
    switch (scancode) {
    case SC_0: return '0';
    case SC_LSHIFT:
    case SC_RSHIFT: return 0x10;
    case SC_RETURN:
    case SC_KP_ENTER: return 0x0D;
    case SC_ESCAPE: return 0x1B;
    case SC_LEFT: return 0x25;
    case SC_UP: return 0x26;
    case SC_RIGHT: return 0x27;
    case SC_DOWN: return 0x28;
    case SC_KP_0:
    case SC_BACKSPACE: return 0x60;
    case SC_KP_PLUS:
    case SC_EQUALS: return 0x6B;
    case SC_KP_MINUS:
    case SC_MINUS: return 0x6D;
    default: return 0;
    }
}
