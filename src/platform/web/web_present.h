// The recorded calls of a frame, translated (gl_translate.h) and handed to the
// page's drawer (web/hillcar-gl.js, Module.hillcarDraw). The GL state carries
// over from one call to the next, as a context's does.
#pragma once

#include "platform/web/gl_translate.h"

#include <cstddef>

// Back to GL's initial state.
void resetWebPresenter();

// Translates the recorded calls [first, last); draws them when draw is true,
// else only takes their state (the set-up calls made before the first frame).
void presentCalls(size_t first, size_t last, bool draw);

// The frame most recently translated.
const WebFrame& lastWebFrame();
