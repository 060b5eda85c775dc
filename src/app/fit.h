// --fit: the picture as large as the drawable allows at 4:3, centred, with
// black bars around it. Only the viewport changes; the projection is the
// program's fixed 4:3 one, so the frames are the same calls.
#pragma once

struct FitRect {
    int x, y;          // lower-left corner, in GL's window coordinates
    int width, height;
};

// The largest 4:3 rectangle centred in a drawable of width x height, each
// side rounded to the nearest pixel.
inline FitRect getFitViewport(int width, int height)
{
    if (width <= 0 || height <= 0) return FitRect{0, 0, 0, 0};
    FitRect r;
    if ((long)width * 3 > (long)height * 4) {
        r.height = height;
        r.width = (int)(((long)height * 4 + 1) / 3);
    } else {
        r.width = width;
        r.height = (int)(((long)width * 3 + 2) / 4);
    }
    r.x = (width - r.width) / 2;
    r.y = (height - r.height) / 2;
    return r;
}

// The parts of the drawable outside the viewport: two bars, left and right
// or below and above, either of them possibly empty.
inline void getFitBars(int width, int height, FitRect bars[2])
{
    FitRect v = getFitViewport(width, height);
    if (v.width < width) {
        bars[0] = FitRect{0, 0, v.x, height};
        bars[1] = FitRect{v.x + v.width, 0, width - v.x - v.width, height};
    } else {
        bars[0] = FitRect{0, 0, width, v.y};
        bars[1] = FitRect{0, v.y + v.height, width, height - v.y - v.height};
    }
}

// GL state for a drawable of width x height: the viewport, and the scissor
// test on the same rectangle, so that the frame's clear leaves the bars alone.
void fitViewport(int width, int height);

// Clears the bars of the buffer about to be drawn to black, leaving the
// clear colour and the scissor as they were. Done before every frame: what a
// back buffer holds after a swap is not defined, and a driver may keep more
// than two of them.
void clearFitBars();
