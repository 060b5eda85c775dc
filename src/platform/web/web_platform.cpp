// The page as the platform of the program's run: the keys from the page's key
// events, its on-screen controls and its gamepads, the clock from the page's,
// and a buffer swap that hands the frame's recorded GL calls to the page's
// WebGL drawer. What a frame reads (the tick, the keys, the generator) is set
// before it through live.h, as the desktop's loop does, so that a recording
// names exactly what it saw.
#include "app/gl_count.h"
#include "platform/platform.h"
#include "platform/scripted/gl_record.h"
#include "platform/web/web_input.h"
#include "platform/web/web_keys.h"
#include "platform/web/web_pad.h"
#include "platform/web/web_platform.h"
#include "platform/web/web_present.h"
#include "platform/window.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstring>

namespace {

WebInputs inputs;
short vkState[256];

void updateKeyState()
{
    bool held[256];
    getWebKeys(inputs, held);
    for (int vk = 0; vk < 256; vk++) vkState[vk] = held[vk] ? (short)0x80 : (short)0;
}

EM_BOOL onKey(int eventType, const EmscriptenKeyboardEvent* e, void*)
{
    int slot = getWebKeySlot(e->code);
    if (slot < 0) return EM_FALSE;
    inputs.keyboard[slot] = eventType == EMSCRIPTEN_EVENT_KEYDOWN;
    updateKeyState();
    // The page keeps its own meaning of a key with Ctrl, Alt or Meta (reload,
    // tab switch) and of Escape (leaving full screen); the program's other
    // keys must not scroll the page or go back in its history.
    if (e->ctrlKey || e->altKey || e->metaKey) return EM_FALSE;
    return getSlotVirtualKey(slot) == VK_ESCAPE ? EM_FALSE : EM_TRUE;
}

// A key let go while the page had no focus sends no key-up: forget them all.
EM_BOOL onBlur(int, const EmscriptenFocusEvent*, void*)
{
    for (bool& h : inputs.keyboard) h = false;
    updateKeyState();
    return EM_FALSE;
}

} // namespace

void webListenForKeys()
{
    const char* target = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(target, nullptr, EM_TRUE, onKey);
    emscripten_set_keyup_callback(target, nullptr, EM_TRUE, onKey);
    emscripten_set_blur_callback(target, nullptr, EM_TRUE, onBlur);
}

// Only pads the browser lays out as the standard pad are read: another
// mapping numbers its buttons as it likes.
void webReadPads()
{
    for (bool& h : inputs.pads) h = false;
    if (emscripten_sample_gamepad_data() == EMSCRIPTEN_RESULT_SUCCESS) {
        static EmscriptenGamepadEvent pad; // 1.6 KB: kept off the stack
        for (int k = 0; k < emscripten_get_num_gamepads(); k++) {
            if (emscripten_get_gamepad_status(k, &pad) != EMSCRIPTEN_RESULT_SUCCESS) continue;
            if (!pad.connected || strcmp(pad.mapping, "standard") != 0) continue;
            addPadKeys(getStandardPad(pad.axis, pad.numAxes, pad.analogButton, pad.digitalButton,
                                      pad.numButtons),
                       inputs.pads);
        }
    }
    updateKeyState();
}

void webFrameKeysTaken()
{
    takeFrameKeys(inputs);
    updateKeyState();
}

extern "C" {

// An on-screen control of the page, named by the KeyboardEvent.code of its
// key, pressed (held 1) or let go (0). 0 for a code the program does not use.
EMSCRIPTEN_KEEPALIVE int webTouchKey(const char* code, int held)
{
    int slot = getWebKeySlot(code);
    if (slot < 0) return 0;
    holdTouchKey(inputs, slot, held != 0);
    updateKeyState();
    return 1;
}

} // extern "C"

short readKeyboard(int vk)
{
    return vk >= 0 && vk < 256 ? vkState[vk] : (short)0;
}

uint32_t readClock()
{
    // The page's clock never steps back; anchored to the date so that every
    // visit seeds another world.
    static const double base = emscripten_date_now() - emscripten_get_now();
    return (uint32_t)(uint64_t)(base + emscripten_get_now());
}

void swapBuffers(DeviceContext*)
{
    glrecSwap();
    presentCalls(0, glrecSize(), true);
}

// The page's GL is the recording GL, which counts the frame's calls itself;
// its record starts afresh with each frame.
void glCountReset()
{
    glrecReset();
}

GlCounts glCounted()
{
    return glrecCounts();
}
