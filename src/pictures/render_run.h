// hillcar-render's run: a script's frames run as hillcar-replay runs them,
// with the recording GL; the frames that reach the output are also played
// into an off-screen desktop GL context, read back and written as PNG
// pictures or sent to ffmpeg as a video.
#pragma once

#include "pictures/render_options.h"

#include <cstdio>

// Frames are drawn at the program's window size.
constexpr int RENDER_WIDTH = 800;
constexpr int RENDER_HEIGHT = 600;

// Runs the render the options ask for, with messages on err. Returns the
// exit status: 0 done; 2 for a script hillcar-replay refuses (its message)
// or frames it does not have, before any GL or output; 1 for an output that
// can't be written, no off-screen GL, or no ffmpeg for a video.
int runRender(const RenderOptions& options, FILE* err);
