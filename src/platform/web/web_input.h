// Where the page's keys come from: the keyboard, the on-screen controls that
// fingers hold, and the pads. A key counts as held when any of them holds it,
// and the frame reads the result as it reads the keyboard, so that a
// recording names keys whatever held them. Plain code, no browser, so that it
// is tested natively.
#pragma once

#include "platform/pad.h"
#include "platform/web/web_keys.h"

struct WebInputs {
    bool keyboard[WEB_KEY_SLOTS]; // held by a key of the keyboard
    bool touched[WEB_KEY_SLOTS];  // held by an on-screen control now
    // Held by a control since the last frame took its keys: a tap shorter
    // than a frame still reaches one frame (V steps the view on its release).
    bool tapped[WEB_KEY_SLOTS];
    bool pads[256]; // held by a pad at the last reading, by virtual key
};

// A control pressed (held true) or let go.
inline void holdTouchKey(WebInputs& in, int slot, bool held)
{
    in.touched[slot] = held;
    if (held) in.tapped[slot] = true;
}

// A frame has taken its key snapshot: the taps it saw are done.
inline void takeFrameKeys(WebInputs& in)
{
    for (bool& t : in.tapped) t = false;
}

// held[vk] for every virtual key any input holds; other keys false.
inline void getWebKeys(const WebInputs& in, bool held[256])
{
    for (int vk = 0; vk < 256; vk++) held[vk] = in.pads[vk];
    for (int slot = 0; slot < WEB_KEY_SLOTS; slot++)
        if (in.keyboard[slot] || in.touched[slot] || in.tapped[slot])
            held[getSlotVirtualKey(slot)] = true;
}
