#include "platform/pad.h"

namespace {

// How far an axis must go for a key, if any axis holds it.
enum PadAxis { AXIS_NONE, AXIS_STICK_LEFT, AXIS_STICK_RIGHT, AXIS_LEFT_TRIGGER, AXIS_RIGHT_TRIGGER };

struct PadKey {
    int vk;           // the key map's virtual key
    unsigned buttons; // any of these holds it
    PadAxis axis;     // and so does this axis, past its point
};

// The mapping. Escape is not on it, so no pad can end the run; the terrain
// keys stay on the keyboard. V steps the view on its release, as the key does.
constexpr PadKey padKeys[] = {
    {0x25, PAD_DPAD_LEFT, AXIS_STICK_LEFT},   // VK_LEFT: steer
    {0x27, PAD_DPAD_RIGHT, AXIS_STICK_RIGHT}, // VK_RIGHT
    {0x26, PAD_SOUTH, AXIS_RIGHT_TRIGGER},    // VK_UP: speed up
    {0x28, PAD_EAST, AXIS_LEFT_TRIGGER},      // VK_DOWN: slow down, reverse
    {'V', PAD_NORTH, AXIS_NONE},              // next view
    {0x60, PAD_WEST, AXIS_NONE},              // VK_NUMPAD0: line the rig up
    {'D', PAD_RIGHT_SHOULDER, AXIS_NONE},     // the rig's markers
};

bool axisHolds(const PadState& pad, PadAxis axis)
{
    switch (axis) {
    case AXIS_STICK_LEFT: return pad.stickX < -PAD_STICK_DEAD_ZONE;
    case AXIS_STICK_RIGHT: return pad.stickX > PAD_STICK_DEAD_ZONE;
    case AXIS_LEFT_TRIGGER: return pad.leftTrigger > PAD_TRIGGER_POINT;
    case AXIS_RIGHT_TRIGGER: return pad.rightTrigger > PAD_TRIGGER_POINT;
    default: return false;
    }
}

bool holds(const PadState& pad, const PadKey& key)
{
    return (pad.buttons & key.buttons) != 0 || axisHolds(pad, key.axis);
}

} // namespace

bool padHoldsKey(const PadState& pad, int vk)
{
    for (const PadKey& key : padKeys)
        if (key.vk == vk) return holds(pad, key);
    return false;
}

void addPadKeys(const PadState& pad, bool held[256])
{
    for (const PadKey& key : padKeys)
        if (holds(pad, key)) held[key.vk] = true;
}
