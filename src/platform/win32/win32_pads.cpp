#include "platform/win32/win32_pads.h"

#include "platform/win32/win32_handles.h"
#include "platform/win32/xinput_pad.h"

#include <xinput.h>

static_assert(XI_A == XINPUT_GAMEPAD_A && XI_B == XINPUT_GAMEPAD_B && XI_X == XINPUT_GAMEPAD_X &&
                  XI_Y == XINPUT_GAMEPAD_Y,
              "face buttons");
static_assert(XI_RIGHT_SHOULDER == XINPUT_GAMEPAD_RIGHT_SHOULDER &&
                  XI_DPAD_LEFT == XINPUT_GAMEPAD_DPAD_LEFT &&
                  XI_DPAD_RIGHT == XINPUT_GAMEPAD_DPAD_RIGHT,
              "shoulder and d-pad");

namespace {

using GetStateFunction = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);

HMODULE xinput;
GetStateFunction getState;

// An empty slot costs XInput a search for new devices: it is looked at
// again only every two seconds, a connected one at every read.
constexpr DWORD EMPTY_SLOT_WAIT = 2000;
bool connected[XUSER_MAX_COUNT];
bool looked[XUSER_MAX_COUNT];
DWORD lastLook[XUSER_MAX_COUNT];

bool padKeys[256];

} // namespace

void startPads()
{
    xinput = LoadLibraryA("xinput1_4.dll");
    if (!xinput) xinput = LoadLibraryA("xinput9_1_0.dll");
    if (!xinput) return;
    // Through void (*)(void), which matches any function type, as GetProcAddress
    // gives every entry point one type.
    FARPROC entry = GetProcAddress(xinput, "XInputGetState");
    getState = reinterpret_cast<GetStateFunction>(reinterpret_cast<void (*)()>(entry));
}

void stopPads()
{
    getState = nullptr;
    if (xinput) FreeLibrary(xinput);
    xinput = nullptr;
}

void readPads()
{
    for (bool& held : padKeys) held = false;
    if (!getState) return;
    DWORD now = GetTickCount();
    for (DWORD slot = 0; slot < XUSER_MAX_COUNT; slot++) {
        if (!connected[slot] && looked[slot] && now - lastLook[slot] < EMPTY_SLOT_WAIT) continue;
        looked[slot] = true;
        lastLook[slot] = now;
        XINPUT_STATE state = {};
        connected[slot] = getState(slot, &state) == ERROR_SUCCESS;
        if (!connected[slot]) continue;
        const XINPUT_GAMEPAD& g = state.Gamepad;
        addPadKeys(getXInputPad(g.wButtons, g.bLeftTrigger, g.bRightTrigger, g.sThumbLX), padKeys);
    }
}

bool padsHold(int vk)
{
    return vk >= 0 && vk < 256 && padKeys[vk];
}
