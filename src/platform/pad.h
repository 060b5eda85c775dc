// Gamepads as keys: the standard pad layout (the one SDL's game controllers,
// XInput and a browser's "standard" gamepad mapping share) turned into the
// virtual keys the frame already reads. Every platform reads its pads into a
// PadState and asks this one table which keys they hold, so that a pad drives
// the same everywhere and recordings still name keys only. Plain code: no SDL,
// no windows.h, no browser.
#pragma once

// Buttons by their place on the pad, whatever their labels.
enum : unsigned {
    PAD_SOUTH = 1u << 0,
    PAD_EAST = 1u << 1,
    PAD_WEST = 1u << 2,
    PAD_NORTH = 1u << 3,
    PAD_RIGHT_SHOULDER = 1u << 4,
    PAD_DPAD_LEFT = 1u << 5,
    PAD_DPAD_RIGHT = 1u << 6,
};

// One pad as the platform read it.
struct PadState {
    float stickX;       // left stick across: -1 full left .. 1 full right
    float leftTrigger;  // 0 released .. 1 fully pulled
    float rightTrigger; // 0 released .. 1 fully pulled
    unsigned buttons;   // the PAD_* buttons held
};

// The stick must leave a third of its travel, and a trigger be pulled a
// third of its way, before they count: a worn stick rests off centre and a
// trigger rests a little pulled.
constexpr float PAD_STICK_DEAD_ZONE = 1.0f / 3.0f;
constexpr float PAD_TRIGGER_POINT = 1.0f / 3.0f;

// Whether pad holds virtual key vk.
bool padHoldsKey(const PadState& pad, int vk);

// Marks held[vk] for every key pad holds; keys already marked (by the
// keyboard or another pad) stay so.
void addPadKeys(const PadState& pad, bool held[256]);
