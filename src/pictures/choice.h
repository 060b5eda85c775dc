// Which of a script's frames reach the output, and how often each.
#pragma once

#include "pictures/render_options.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The tick counts of the first `count` frames a script runs, in order. The
// script must be one the reader accepts (replayCheckScript).
std::vector<uint32_t> readFrameTicks(const char* text, size_t len, uint64_t count);

// A video's frames come from at most this many frames of a script (about
// twelve days at 60 frames a second), whose tick counts are kept in memory.
constexpr uint64_t MAX_VIDEO_SCRIPT_FRAMES = uint64_t(1) << 26;

// The frames to draw: shows[i] is how many times frame i + 1 goes to the
// output (0: run, not drawn); frames past the last drawn one are left out.
struct FrameChoice {
    std::vector<uint64_t> shows;
    uint64_t drawn;   // frames with shows > 0
    uint64_t outputs; // the sum of shows: pictures, or frames of the video
};

// Pictures: FIRST..LAST (the last frame when no range is given; every frame
// with --every alone), every Nth of them. A video: FIRST..LAST (all frames
// when none is given) at fps frames a second; video frame k shows the latest
// frame whose time since FIRST is at most k / fps seconds, until LAST's time.
// A frame's time adds up the steps between the tick counts, each taken
// modulo 2^32 as a signed count, with a step back counting as none.
// total is the script's frame count; ticks, for a video only, the tick
// counts of its frames up to LAST (or all). False, with the reason, when the
// script has no frames, the range goes past its last frame, or a video
// would need more than MAX_VIDEO_SCRIPT_FRAMES.
bool chooseFrames(const RenderOptions& options, uint64_t total, const std::vector<uint32_t>& ticks,
                  FrameChoice& choice, char* why, size_t whySize);

// The frame a choice's range ends at: LAST, or the script's last frame.
uint64_t chosenLast(const RenderOptions& options, uint64_t total);
