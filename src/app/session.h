// A run of the program's frames as an entry drives it, the window's loop or
// the page's animation frames: each frame gets one clock reading and one key
// snapshot, from the keyboard or from a script being played, and the
// recording and the trace are written with exactly what the frame saw. Every
// entry calls these same steps; where the clock, the keys and the GL counts
// come from is chosen by what the entry links (window.h's readClock and
// readKeyboard, gl_count.h).
#pragma once

#include "app/player.h"
#include "app/record.h"
#include "platform/platform.h"
#include "platform/scripted/rand_model.h"

#include <cstdint>

struct Session {
    Player player;
    bool played;          // a script was opened: its seed and generator are the run's
    bool playing;         // frames still come from the script
    OutFile record;       // file null when not recording
    OutFile trace;        // file null when not tracing
    uint64_t frames;      // frames run so far
    uint32_t clockOffset; // added to the clock once a played script has ended
    uint32_t lastFlush;   // clock reading of the last flush of the files
    bool held[256];       // the keys of the frame being run
};

// Hands the frames to the script just opened in s.player, from its first
// frame on, until it ends.
void startPlaying(Session& s);

// Seeds the generator with the played script's seed and generator, or, when
// none was opened, with seed and the live generator live; then begins the
// recording, naming made ("hillcar 1.0.0 on Linux") and the generator.
void seedSession(Session& s, RandSource live, uint32_t seed, const char* made);

// A frame may run now: always when live, when it is due when playing.
bool sessionFrameReady(const Session& s);

// One frame with the tick count and keys of the clock and the keyboard, or of
// the script while one plays; recorded and traced, and the files flushed
// about once a second.
void runSessionFrame(Session& s, DeviceContext* dc);
