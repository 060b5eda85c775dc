// The page's inputs: a browser's standard gamepad in the shared pad layout,
// and the keys the keyboard, the on-screen controls and the pads hold.
#include "frame/keys.h"
#include "platform/web/web_input.h"
#include "platform/web/web_pad.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The virtual keys held, as numbers in order.
std::string heldKeys(const WebInputs& in)
{
    bool held[256];
    getWebKeys(in, held);
    std::string s;
    for (int vk = 0; vk < 256; vk++)
        if (held[vk]) s += " " + std::to_string(vk);
    return s;
}

} // namespace

TEST(WebPad, StandardMappingToKeys)
{
    const struct {
        double stickX;
        int button;   // pressed, -1 none
        double value; // its value
        int count;    // buttons the pad has
        std::string held;
    } cases[] = {
        {0.0, -1, 0.0, 17, ""},       {-0.5, -1, 0.0, 17, " 37"},  {0.2, -1, 0.0, 17, ""},
        {0.0, 0, 1.0, 17, " 38"},     {0.0, 1, 1.0, 17, " 40"},    {0.0, 2, 1.0, 17, " 96"},
        {0.0, 3, 1.0, 17, " 86"},     {0.0, 4, 1.0, 17, ""},       {0.0, 5, 1.0, 17, " 68"},
        {0.0, 6, 0.8, 17, " 40"},     {0.0, 7, 0.8, 17, " 38"},    {0.0, 7, 0.2, 17, ""},
        {0.0, 12, 1.0, 17, ""},       {0.0, 14, 1.0, 17, " 37"},   {0.9, 15, 1.0, 17, " 39"},
        {0.0, 15, 1.0, 15, ""},       {0.0, 7, 1.0, 7, ""},        {-1.0, 3, 1.0, 0, " 37"},
    }; // 37 LEFT, 38 UP, 39 RIGHT, 40 DOWN, 68 D, 86 V, 96 NUMPAD0
    for (const auto& c : cases) {
        double axes[4] = {c.stickX, 0.0, 0.0, 0.0}, values[17] = {};
        int pressed[17] = {};
        if (c.button >= 0) values[c.button] = c.value, pressed[c.button] = 1;
        WebInputs in = {};
        addPadKeys(getStandardPad(axes, 4, values, pressed, c.count), in.pads);
        EXPECT_EQ(heldKeys(in), c.held) << "stick " << c.stickX << " button " << c.button << " of "
                                        << c.count;
    }
    double axes[1] = {-1.0};
    EXPECT_EQ(getStandardPad(axes, 0, nullptr, nullptr, 0).stickX, 0.0f); // no axis read
}

TEST(WebInput, KeyboardControlsAndPadsTogether)
{
    WebInputs in = {};
    const int up = getWebKeySlot("ArrowUp"), left = getWebKeySlot("ArrowLeft");
    in.keyboard[up] = true;
    in.pads['D'] = true;
    holdTouchKey(in, left, true);
    holdTouchKey(in, up, true);
    takeFrameKeys(in); // a frame has seen them
    EXPECT_EQ(heldKeys(in), " 37 38 68");
    // Let go, they are up at once; the keyboard's Up stays.
    holdTouchKey(in, left, false);
    holdTouchKey(in, up, false);
    EXPECT_EQ(heldKeys(in), " 38 68");
    // A tap between two frames is held for the next one.
    holdTouchKey(in, left, true);
    holdTouchKey(in, left, false);
    EXPECT_EQ(heldKeys(in), " 37 38 68");
    takeFrameKeys(in);
    EXPECT_EQ(heldKeys(in), " 38 68");
}
