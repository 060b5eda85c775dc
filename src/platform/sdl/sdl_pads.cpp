#include "platform/sdl/sdl_pads.h"

#include "platform/pad.h"

namespace {

// More pads than anyone plugs in at once; one more is left unopened.
constexpr int MAX_PADS = 8;
SDL_GameController* pads[MAX_PADS];
int padCount;

bool padKeys[256];

SDL_JoystickID idOf(SDL_GameController* pad)
{
    return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad));
}

void openPad(int deviceIndex)
{
    // SDL announces pads present at start-up too; one opened already is kept.
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    for (int i = 0; i < padCount; i++)
        if (idOf(pads[i]) == id) return;
    if (padCount == MAX_PADS) return;
    if (SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex)) pads[padCount++] = pad;
}

void closePad(SDL_JoystickID id)
{
    for (int i = 0; i < padCount; i++) {
        if (idOf(pads[i]) != id) continue;
        SDL_GameControllerClose(pads[i]);
        pads[i] = pads[--padCount];
        pads[padCount] = nullptr;
        return;
    }
}

// SDL's axes run -32768..32767, its triggers 0..32767.
float axisValue(SDL_GameController* pad, SDL_GameControllerAxis axis)
{
    float v = (float)SDL_GameControllerGetAxis(pad, axis) / 32767.0f;
    return v < -1.0f ? -1.0f : v;
}

PadState readPad(SDL_GameController* pad)
{
    struct {
        SDL_GameControllerButton button;
        unsigned bit;
    } const buttons[] = {
        {SDL_CONTROLLER_BUTTON_A, PAD_SOUTH},
        {SDL_CONTROLLER_BUTTON_B, PAD_EAST},
        {SDL_CONTROLLER_BUTTON_X, PAD_WEST},
        {SDL_CONTROLLER_BUTTON_Y, PAD_NORTH},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, PAD_RIGHT_SHOULDER},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PAD_DPAD_LEFT},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PAD_DPAD_RIGHT},
    };
    PadState state = {};
    state.stickX = axisValue(pad, SDL_CONTROLLER_AXIS_LEFTX);
    state.leftTrigger = axisValue(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    state.rightTrigger = axisValue(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    for (const auto& b : buttons)
        if (SDL_GameControllerGetButton(pad, b.button)) state.buttons |= b.bit;
    return state;
}

} // namespace

void startPads()
{
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void stopPads()
{
    while (padCount > 0) closePad(idOf(pads[0]));
}

bool takePadEvent(const SDL_Event& e)
{
    if (e.type == SDL_CONTROLLERDEVICEADDED) openPad(e.cdevice.which);
    else if (e.type == SDL_CONTROLLERDEVICEREMOVED) closePad(e.cdevice.which);
    else return false;
    return true;
}

void readPads()
{
    for (bool& held : padKeys) held = false;
    for (int i = 0; i < padCount; i++)
        // A pad pulled out whose event is still to come holds nothing.
        if (SDL_GameControllerGetAttached(pads[i])) addPadKeys(readPad(pads[i]), padKeys);
}

bool padsHold(int vk)
{
    return vk >= 0 && vk < 256 && padKeys[vk];
}
