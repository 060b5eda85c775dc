// The page's keys to the key map's virtual keys. A key event names its key by
// KeyboardEvent.code (where the key sits, whatever the layout prints on it).
// Laptop keyboards lack a numeric keypad: Backspace, '=' and '-' stand in for
// numpad 0, plus and minus, as on the desktop. Plain code, no browser, so
// that the map can be tested natively.
#pragma once

#include "frame/keys.h"

#include <cstring>

struct WebKeyCode {
    const char* code;
    int vk;
};

// The keys other than letters and digits. Several codes may give one virtual
// key (both Shifts, both Enters, an alias and its keypad key).
constexpr WebKeyCode webOtherKeys[] = {
    {"ShiftLeft", VK_SHIFT},      {"ShiftRight", VK_SHIFT},     {"Enter", VK_RETURN},
    {"NumpadEnter", VK_RETURN},   {"Escape", VK_ESCAPE},        {"ArrowLeft", VK_LEFT},
    {"ArrowUp", VK_UP},           {"ArrowRight", VK_RIGHT},     {"ArrowDown", VK_DOWN},
    {"Numpad0", VK_NUMPAD0},      {"Backspace", VK_NUMPAD0},    {"NumpadAdd", VK_ADD},
    {"Equal", VK_ADD},            {"NumpadSubtract", VK_SUBTRACT}, {"Minus", VK_SUBTRACT},
};
constexpr int WEB_OTHER_KEYS = sizeof webOtherKeys / sizeof webOtherKeys[0];

// Each code the program reads has a slot of the page's key state: letters
// 0..25, digits 26..35, then the others in their table's order.
constexpr int WEB_KEY_SLOTS = 36 + WEB_OTHER_KEYS;

// The slot of a KeyboardEvent.code, -1 for a key the program does not use.
inline int getWebKeySlot(const char* code)
{
    if (strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z' && code[4] == 0)
        return code[3] - 'A';
    if (strncmp(code, "Digit", 5) == 0 && code[5] >= '0' && code[5] <= '9' && code[6] == 0)
        return 26 + (code[5] - '0');
    for (int k = 0; k < WEB_OTHER_KEYS; k++)
        if (strcmp(code, webOtherKeys[k].code) == 0) return 36 + k;
    return -1;
}

// The virtual key of a slot.
inline int getSlotVirtualKey(int slot)
{
    if (slot < 26) return 'A' + slot;
    if (slot < 36) return '0' + (slot - 26);
    return webOtherKeys[slot - 36].vk;
}
