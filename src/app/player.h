// Plays a hillcar-replay script in the window: each frame takes its tick count
// and keys from the script, at the pace the script's tick counts give.
#pragma once

#include "replay/script.h"

#include <cstdint>
#include <vector>

// Longest wait between two played frames, in milliseconds. A frame never
// sees more than a quarter of a second, so a longer pause in a script shows
// as a pause of a second at most, not as a program that seems to hang.
constexpr uint32_t MAX_PLAY_WAIT = 1000;

struct Player {
    std::vector<char> text;  // the script, which the reader points into
    ReplayCheck check;       // its seed and generator
    ReplayReader reader;
    ReplayDirective run;     // the frames directive being played
    uint32_t left;           // frames of it still to play
    uint32_t tick;           // the tick count of the next of them
    bool started;            // a frame has been played
    uint32_t lastTick;       // the tick count of the frame played last
    uint32_t base;           // the clock reading the last frame counts as played at
};

// Reads and checks the whole script before anything is shown. False, with
// the message hillcar-replay gives for it on err, when it can't be read or
// hillcar-replay would refuse it.
bool playerOpen(Player& player, const char* path, FILE* err);

// Called after a `set` of the script has been applied.
using PlayerSetHook = void (*)(const char* args, size_t len, void* data);

// Moves to the script's next frame: applies the `set` lines before it to
// world (and the global bsize) and skips the dumps. False when no frame is
// left. Call it before asking playerDue, and again after each played frame.
bool playerAdvance(Player& player, World& world, PlayerSetHook onSet, void* data);

// Whether the next frame is due at clock reading now. The first frame is due
// at once; each later one the script's tick step after the one before
// (at most MAX_PLAY_WAIT, none for a step back), counted from when that one
// was due, or from when it ran if it ran more than a quarter second late.
bool playerDue(const Player& player, uint32_t now);

// The next frame's tick count and keys (held, indexed by virtual key).
void playerFrame(const Player& player, uint32_t& tick, bool held[256]);

// Marks the next frame as played at clock reading now.
void playerPlayed(Player& player, uint32_t now);
