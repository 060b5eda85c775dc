// The gamepad mapping every platform shares, and XInput's readings in it.
#include "frame/keys.h"
#include "platform/pad.h"
#include "platform/win32/xinput_pad.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The keys of held[], by name in virtual-key order; any other by number.
std::string named(const bool held[256])
{
    std::string s;
    for (int vk = 0; vk < 256; vk++) {
        if (!held[vk]) continue;
        std::string name = vk == VK_LEFT ? "LEFT" : vk == VK_RIGHT ? "RIGHT" : vk == VK_UP ? "UP"
                           : vk == VK_DOWN ? "DOWN" : vk == VK_NUMPAD0 ? "NUMPAD0"
                           : vk == 'V' || vk == 'D' ? std::string(1, (char)vk) : std::to_string(vk);
        s += (s.empty() ? "" : " ") + name;
    }
    return s;
}

// The keys pad holds, checking that padHoldsKey answers as addPadKeys marks.
std::string padKeys(const PadState& pad)
{
    bool held[256] = {};
    addPadKeys(pad, held);
    for (int vk = 0; vk < 256; vk++) EXPECT_EQ(padHoldsKey(pad, vk), held[vk]) << vk;
    return named(held);
}

} // namespace

TEST(Pad, TheMappingTable)
{
    const struct {
        PadState pad; // stick, left trigger, right trigger, buttons
        const char* keys;
    } cases[] = {
        {{0.0f, 0.0f, 0.0f, 0}, ""},
        {{-0.30f, 0.30f, 0.30f, 0}, ""}, // inside the dead zone, triggers under a third
        {{0.30f, 0.0f, 0.0f, 0}, ""},
        {{-0.40f, 0.0f, 0.0f, 0}, "LEFT"},
        {{0.40f, 0.0f, 0.0f, 0}, "RIGHT"},
        {{0.0f, 0.0f, 0.40f, 0}, "UP"},
        {{0.0f, 0.40f, 0.0f, 0}, "DOWN"},
        {{0.0f, 0.0f, 0.0f, PAD_SOUTH}, "UP"},
        {{0.0f, 0.0f, 0.0f, PAD_EAST}, "DOWN"},
        {{0.0f, 0.0f, 0.0f, PAD_NORTH}, "V"},
        {{0.0f, 0.0f, 0.0f, PAD_WEST}, "NUMPAD0"},
        {{0.0f, 0.0f, 0.0f, PAD_RIGHT_SHOULDER}, "D"},
        {{0.0f, 0.0f, 0.0f, PAD_DPAD_LEFT}, "LEFT"},
        {{0.0f, 0.0f, 0.0f, PAD_DPAD_RIGHT}, "RIGHT"},
        {{-0.9f, 1.0f, 0.8f, PAD_DPAD_LEFT | PAD_RIGHT_SHOULDER}, "LEFT UP DOWN D"},
        // Escape is on no pad, whatever is held: a pad never ends the run.
        {{-1.0f, 1.0f, 1.0f, ~0u}, "LEFT UP RIGHT DOWN D V NUMPAD0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(padKeys(c.pad), c.keys) << c.pad.stickX << " " << c.pad.leftTrigger << " "
                                          << c.pad.rightTrigger << " 0x" << std::hex << c.pad.buttons;
}

TEST(Pad, KeyboardAndPadsAreOred)
{
    bool held[256] = {}; // the keyboard holds Up and F
    held[VK_UP] = held[int('F')] = true;
    addPadKeys(PadState{-1.0f, 0.0f, 0.0f, 0}, held);
    addPadKeys(PadState{0.0f, 0.0f, 0.0f, PAD_RIGHT_SHOULDER}, held);
    addPadKeys(PadState{0.0f, 0.0f, 0.0f, 0}, held); // holding nothing releases nothing
    EXPECT_EQ(named(held), "LEFT UP D 70");
}

TEST(Pad, XInputReadings)
{
    const struct {
        unsigned buttons;
        int leftTrigger, rightTrigger, thumbLX;
        const char* keys;
    } cases[] = {
        {0, 0, 0, -32768, "LEFT"},   {0, 0, 0, -10000, ""},   {0, 0, 0, 12000, "RIGHT"},
        {0, 80, 80, 0, ""},          {0, 0, 90, 0, "UP"},     {0, 255, 0, 0, "DOWN"},
        {XI_A | XI_Y, 0, 0, 0, "UP V"}, {XI_B | XI_X, 0, 0, 0, "DOWN NUMPAD0"},
        {XI_RIGHT_SHOULDER | XI_DPAD_LEFT | XI_DPAD_RIGHT, 0, 0, 0, "LEFT RIGHT D"},
        {0x0001 | 0x0002 | 0x0010 | 0x0020 | 0x0100, 0, 0, 0, ""}, // d-pad up, down, start, back, LB
    };
    for (const auto& c : cases)
        EXPECT_EQ(padKeys(getXInputPad(c.buttons, c.leftTrigger, c.rightTrigger, c.thumbLX)), c.keys)
            << std::hex << c.buttons << std::dec << " " << c.leftTrigger << " " << c.rightTrigger
            << " " << c.thumbLX;
}
