// A desktop GL context with no display at all: Mesa through EGL's
// surfaceless platform, drawing into a pbuffer. The context is a
// compatibility one, so it takes the frame's GL 1.1 calls as they are.
#pragma once

#include <cstddef>

struct OffscreenGl {
    void* display;
    void* surface;
    void* context;
    int depthBits;
};

// Makes the context, with a width x height pbuffer of 8 bits a colour, no
// alpha and the deepest depth buffer on offer (as a window asking for 16
// bits gets on the same Mesa), and makes it current. False, with the reason,
// when there is no EGL or no such configuration.
bool openOffscreenGl(OffscreenGl& gl, int width, int height, char* why, size_t whySize);

void closeOffscreenGl(OffscreenGl& gl);
