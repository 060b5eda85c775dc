// The gamepad mapping: which keys a pad holds, read through the table every
// platform shares, and an XInput reading turned into the shared layout.
#include "frame/keys.h"
#include "platform/pad.h"
#include "platform/win32/xinput_pad.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The keys the pad mapping can hold, and how a test names them.
const struct {
    int vk;
    const char* name;
} mapped[] = {
    {VK_LEFT, "LEFT"}, {VK_RIGHT, "RIGHT"}, {VK_UP, "UP"},  {VK_DOWN, "DOWN"},
    {'V', "V"},        {VK_NUMPAD0, "NUMPAD0"}, {'D', "D"},
};

// The held keys of held[], in the order of mapped, space-separated; any other
// key held is named by its number so that it shows as a fault.
std::string named(const bool held[256])
{
    std::string s;
    for (int vk = 0; vk < 256; vk++) {
        if (!held[vk]) continue;
        std::string name = std::to_string(vk);
        for (const auto& m : mapped)
            if (m.vk == vk) name = m.name;
        s += (s.empty() ? "" : " ") + name;
    }
    return s;
}

std::string padKeys(const PadState& pad)
{
    bool held[256] = {};
    addPadKeys(pad, held);
    // padHoldsKey answers each key as addPadKeys marks it.
    for (int vk = 0; vk < 256; vk++)
        EXPECT_EQ(padHoldsKey(pad, vk), held[vk]) << "vk " << vk;
    return named(held);
}

} // namespace

TEST(Pad, TheMappingTable)
{
    const struct {
        PadState pad;
        const char* keys; // in virtual-key order
    } cases[] = {
        {{0.0f, 0.0f, 0.0f, 0}, ""},
        // The stick's dead zone: a third of its travel either way.
        {{-0.30f, 0.0f, 0.0f, 0}, ""},
        {{0.30f, 0.0f, 0.0f, 0}, ""},
        {{-0.40f, 0.0f, 0.0f, 0}, "LEFT"},
        {{0.40f, 0.0f, 0.0f, 0}, "RIGHT"},
        {{-1.0f, 0.0f, 0.0f, 0}, "LEFT"},
        // The triggers count past a third of their pull: right speeds up,
        // left slows down.
        {{0.0f, 0.30f, 0.30f, 0}, ""},
        {{0.0f, 0.0f, 0.40f, 0}, "UP"},
        {{0.0f, 0.40f, 0.0f, 0}, "DOWN"},
        {{0.0f, 1.0f, 1.0f, 0}, "UP DOWN"},
        // Each button alone.
        {{0.0f, 0.0f, 0.0f, PAD_SOUTH}, "UP"},
        {{0.0f, 0.0f, 0.0f, PAD_EAST}, "DOWN"},
        {{0.0f, 0.0f, 0.0f, PAD_NORTH}, "V"},
        {{0.0f, 0.0f, 0.0f, PAD_WEST}, "NUMPAD0"},
        {{0.0f, 0.0f, 0.0f, PAD_RIGHT_SHOULDER}, "D"},
        {{0.0f, 0.0f, 0.0f, PAD_DPAD_LEFT}, "LEFT"},
        {{0.0f, 0.0f, 0.0f, PAD_DPAD_RIGHT}, "RIGHT"},
        // Steering on the throttle, the d-pad and the stick together.
        {{-0.9f, 0.0f, 0.8f, PAD_DPAD_LEFT | PAD_RIGHT_SHOULDER}, "LEFT UP D"},
        {{0.0f, 0.0f, 0.0f, PAD_DPAD_LEFT | PAD_DPAD_RIGHT | PAD_NORTH | PAD_WEST},
         "LEFT RIGHT V NUMPAD0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(padKeys(c.pad), c.keys) << "stick " << c.pad.stickX << " triggers "
                                          << c.pad.leftTrigger << "/" << c.pad.rightTrigger
                                          << " buttons 0x" << std::hex << c.pad.buttons;
    // Escape is on no pad: a pad never ends the run.
    PadState all = {-1.0f, 1.0f, 1.0f, ~0u};
    EXPECT_FALSE(padHoldsKey(all, VK_ESCAPE));
}

TEST(Pad, KeyboardAndPadsAreOred)
{
    // The keyboard holds Up and F; one pad steers left, the other holds D.
    bool held[256] = {};
    held[VK_UP] = true;
    held['F'] = true;
    addPadKeys(PadState{-1.0f, 0.0f, 0.0f, 0}, held);
    addPadKeys(PadState{0.0f, 0.0f, 0.0f, PAD_RIGHT_SHOULDER}, held);
    // A pad holding nothing releases nothing.
    addPadKeys(PadState{0.0f, 0.0f, 0.0f, 0}, held);
    EXPECT_EQ(named(held), "LEFT UP D 70");
}

TEST(Pad, XInputReadings)
{
    const struct {
        unsigned buttons;
        int leftTrigger, rightTrigger, thumbLX;
        const char* keys;
    } cases[] = {
        {0, 0, 0, 0, ""},
        {0, 0, 0, -32768, "LEFT"},
        {0, 0, 0, 32767, "RIGHT"},
        {0, 0, 0, -10000, ""},  // inside the dead zone
        {0, 0, 0, 12000, "RIGHT"},
        {0, 80, 80, 0, ""},     // a trigger under a third of 255
        {0, 0, 90, 0, "UP"},
        {0, 255, 0, 0, "DOWN"},
        {XI_A, 0, 0, 0, "UP"},
        {XI_B, 0, 0, 0, "DOWN"},
        {XI_X, 0, 0, 0, "NUMPAD0"},
        {XI_Y, 0, 0, 0, "V"},
        {XI_RIGHT_SHOULDER, 0, 0, 0, "D"},
        {XI_DPAD_LEFT, 0, 0, 0, "LEFT"},
        {XI_DPAD_RIGHT, 0, 0, 0, "RIGHT"},
        {0x0001 | 0x0002 | 0x0010 | 0x0020 | 0x0100, 0, 0, 0, ""}, // up, down, start, back, LB
    };
    for (const auto& c : cases)
        EXPECT_EQ(padKeys(getXInputPad(c.buttons, c.leftTrigger, c.rightTrigger, c.thumbLX)), c.keys)
            << "buttons 0x" << std::hex << c.buttons << std::dec << " triggers " << c.leftTrigger
            << "/" << c.rightTrigger << " stick " << c.thumbLX;
}
