// The virtual-key to scancode mapping of the program's keyboard. Expected
// scancodes are the USB HID keyboard usage IDs (usage page 0x07), written as
// the usage tables list them.
#include "frame/keys.h"
#include "platform/sdl/keymap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<int> codesOf(int vk)
{
    int codes[2] = {-1, -1};
    int n = getScancodes(vk, codes);
    return std::vector<int>(codes, codes + n);
}

} // namespace

TEST(Keymap, LettersAndDigits)
{
    EXPECT_EQ(codesOf('A'), std::vector<int>{0x04});
    EXPECT_EQ(codesOf('D'), std::vector<int>{0x07});
    EXPECT_EQ(codesOf('F'), std::vector<int>{0x09});
    EXPECT_EQ(codesOf('R'), std::vector<int>{0x15});
    EXPECT_EQ(codesOf('V'), std::vector<int>{0x19});
    EXPECT_EQ(codesOf('Z'), std::vector<int>{0x1D});
    EXPECT_EQ(codesOf('1'), std::vector<int>{0x1E});
    EXPECT_EQ(codesOf('5'), std::vector<int>{0x22});
    EXPECT_EQ(codesOf('9'), std::vector<int>{0x26});
    // 0 comes after 9 on the keyboard, not before 1.
    EXPECT_EQ(codesOf('0'), std::vector<int>{0x27});
}

TEST(Keymap, NamedKeys)
{
    EXPECT_EQ(codesOf(VK_ESCAPE), std::vector<int>{0x29});
    EXPECT_EQ(codesOf(VK_LEFT), std::vector<int>{0x50});
    EXPECT_EQ(codesOf(VK_UP), std::vector<int>{0x52});
    EXPECT_EQ(codesOf(VK_RIGHT), std::vector<int>{0x4F});
    EXPECT_EQ(codesOf(VK_DOWN), std::vector<int>{0x51});
    // The keypad key first, then its alias for keyboards without a keypad:
    // Backspace, '=' and the top row's '-'.
    EXPECT_EQ(codesOf(VK_NUMPAD0), (std::vector<int>{0x62, 0x2A}));
    EXPECT_EQ(codesOf(VK_ADD), (std::vector<int>{0x57, 0x2E}));
    EXPECT_EQ(codesOf(VK_SUBTRACT), (std::vector<int>{0x56, 0x2D}));
    // Either Shift, and the main or the keypad Enter.
    EXPECT_EQ(codesOf(VK_SHIFT), (std::vector<int>{0xE1, 0xE5}));
    EXPECT_EQ(codesOf(VK_RETURN), (std::vector<int>{0x28, 0x58}));
}

TEST(Keymap, UnusedKeysHaveNoScancode)
{
    // Lower-case letters are other virtual keys (0x61 is numpad 1, 0x7A is F11);
    // the neighbours of the letter and digit ranges, F1, Control, Space and
    // out-of-range values are not keys the program reads.
    for (int vk : {0x61, 0x7A, 0x40, 0x5B, 0x2F, 0x3A, 0x70, 0x11, 0x20, 0x6C, 0x6E, 0,
                   -1, 256, 0x10D})
        EXPECT_TRUE(codesOf(vk).empty()) << "vk 0x" << std::hex << vk;
}

TEST(Keymap, MapsExactlyTheKeysOfTheKeyMap)
{
    // 26 letters, 10 digits, Shift, Enter, Escape, four arrows, numpad 0,
    // plus and minus.
    int mapped = 0;
    for (int vk = 0; vk < 256; ++vk)
        if (!codesOf(vk).empty()) ++mapped;
    EXPECT_EQ(mapped, 46);
}

TEST(Keymap, ScancodesLeadBackToTheirKey)
{
    for (int vk = 0; vk < 256; ++vk)
        for (int sc : codesOf(vk)) EXPECT_EQ(getVirtualKey(sc), vk) << "scancode " << sc;
    // And no scancode claims a key it does not hold.
    for (int sc = 0; sc < 512; ++sc) {
        int vk = getVirtualKey(sc);
        if (vk == 0) continue;
        std::vector<int> codes = codesOf(vk);
        EXPECT_NE(std::find(codes.begin(), codes.end(), sc), codes.end()) << "scancode " << sc;
    }
    EXPECT_EQ(getVirtualKey(0x29), VK_ESCAPE);
    EXPECT_EQ(getVirtualKey(0x58), VK_RETURN);
    EXPECT_EQ(getVirtualKey(0x2C), 0); // Space
    EXPECT_EQ(getVirtualKey(0xE0), 0); // left Control
}

TEST(Keymap, KeyStateFromKeyboardArray)
{
    unsigned char keys[512] = {};
    EXPECT_EQ(getKeyStateFrom('A', keys, 512), 0);

    keys[0x04] = 1;
    EXPECT_EQ(getKeyStateFrom('A', keys, 512), 0x80);
    EXPECT_EQ(getKeyStateFrom('B', keys, 512), 0);
    keys[0x04] = 0;

    // Right Shift alone holds Shift; keypad Enter alone holds Enter.
    keys[0xE5] = 1;
    keys[0x58] = 1;
    EXPECT_EQ(getKeyStateFrom(VK_SHIFT, keys, 512), 0x80);
    EXPECT_EQ(getKeyStateFrom(VK_RETURN, keys, 512), 0x80);
    // The keypad Enter is not numpad plus or minus, nor a digit.
    EXPECT_EQ(getKeyStateFrom(VK_ADD, keys, 512), 0);
    EXPECT_EQ(getKeyStateFrom(VK_SUBTRACT, keys, 512), 0);
    EXPECT_EQ(getKeyStateFrom('0', keys, 512), 0);

    // A keyboard array shorter than a key's scancode never reads past its end.
    EXPECT_EQ(getKeyStateFrom(VK_SHIFT, keys, 0xE5), 0);
    EXPECT_EQ(getKeyStateFrom(VK_RETURN, keys, 0x58), 0);

    // Everything held: unused keys still read as up.
    for (unsigned char& k : keys) k = 1;
    EXPECT_EQ(getKeyStateFrom(0x70, keys, 512), 0);
    EXPECT_EQ(getKeyStateFrom(-1, keys, 512), 0);
    EXPECT_EQ(getKeyStateFrom(VK_ESCAPE, keys, 512), 0x80);
}

TEST(Keymap, LaptopAliasesHoldTheKeypadKeys)
{
    unsigned char keys[512] = {};
    // Backspace alone holds numpad 0 and nothing else the program reads.
    keys[0x2A] = 1;
    for (int vk = 0; vk < 256; ++vk)
        EXPECT_EQ(getKeyStateFrom(vk, keys, 512), vk == VK_NUMPAD0 ? 0x80 : 0) << "vk " << vk;
    keys[0x2A] = 0;

    // '=' is plus with or without Shift; Shift stays its own key.
    keys[0x2E] = 1;
    EXPECT_EQ(getKeyStateFrom(VK_ADD, keys, 512), 0x80);
    EXPECT_EQ(getKeyStateFrom(VK_SUBTRACT, keys, 512), 0);
    keys[0xE1] = 1;
    EXPECT_EQ(getKeyStateFrom(VK_ADD, keys, 512), 0x80);
    EXPECT_EQ(getKeyStateFrom(VK_SHIFT, keys, 512), 0x80);
    keys[0x2E] = keys[0xE1] = 0;

    // The top row's '-' is minus, not the digit keys beside it.
    keys[0x2D] = 1;
    EXPECT_EQ(getKeyStateFrom(VK_SUBTRACT, keys, 512), 0x80);
    EXPECT_EQ(getKeyStateFrom(VK_ADD, keys, 512), 0);
    EXPECT_EQ(getKeyStateFrom('0', keys, 512), 0);
    keys[0x2D] = 0;

    // A key press on an alias names the keypad key, as Escape's does Escape.
    EXPECT_EQ(getVirtualKey(0x2A), VK_NUMPAD0);
    EXPECT_EQ(getVirtualKey(0x2E), VK_ADD);
    EXPECT_EQ(getVirtualKey(0x2D), VK_SUBTRACT);
    // Neighbours that are no alias: Tab, Space, '[' and the keypad's '*'.
    for (int sc : {0x2B, 0x2C, 0x2F, 0x55}) EXPECT_EQ(getVirtualKey(sc), 0) << "scancode " << sc;
}
