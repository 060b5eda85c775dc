// Keys a laptop keyboard lacks, and the Windows keys that stand in for them:
// held, the stand-in counts as the key itself. Both are Windows virtual keys,
// which the key map's values are; the SDL and web key maps name the same
// stand-ins by their own key codes.
#pragma once

struct KeyAlias {
    int vk;    // the key the program reads
    int alias; // the key that also holds it
};

constexpr KeyAlias keyAliases[] = {
    {0x60, 0x08}, // Numpad 0 (line the rig up): Backspace
    {0x6B, 0xBB}, // Numpad plus (stretch the grid): '=' beside Backspace, '+' shifted
    {0x6D, 0xBD}, // Numpad minus (shrink the grid): '-' of the top row
};

// The stand-in for vk, or 0 when it has none.
constexpr int getKeyAlias(int vk)
{
    for (const KeyAlias& a : keyAliases)
        if (a.vk == vk) return a.alias;
    return 0;
}
