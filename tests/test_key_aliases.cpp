// The laptop stand-ins: each stands in for a key the program reads and is not
// one itself, or holding it would also do that key's own action.
#include "frame/keys.h"
#include "platform/win32/key_aliases.h"
#include "platform/sdl/keymap.h"

#include <gtest/gtest.h>

TEST(KeyAliases, StandInsAreForKeysOfTheMapAndAreNoneOfThem)
{
    int codes[2];
    for (const KeyAlias& a : keyAliases) {
        EXPECT_GT(getScancodes(a.vk, codes), 0) << "vk 0x" << std::hex << a.vk;
        EXPECT_EQ(getScancodes(a.alias, codes), 0) << "stand-in 0x" << std::hex << a.alias;
        EXPECT_EQ(getKeyAlias(a.vk), a.alias);
    }
    EXPECT_EQ(getKeyAlias(VK_NUMPAD0), 0x08);   // Backspace
    EXPECT_EQ(getKeyAlias(VK_ADD), 0xBB);       // '='
    EXPECT_EQ(getKeyAlias(VK_SUBTRACT), 0xBD);  // '-'
    EXPECT_EQ(getKeyAlias(VK_UP), 0);
}
