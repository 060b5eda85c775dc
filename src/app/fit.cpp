#include "app/fit.h"

#include <GL/gl.h>

namespace {
int drawableWidth;
int drawableHeight;
} // namespace

void fitViewport(int width, int height)
{
    drawableWidth = width;
    drawableHeight = height;
    FitRect v = getFitViewport(width, height);
    glViewport(v.x, v.y, v.width, v.height);
    glScissor(v.x, v.y, v.width, v.height);
    glEnable(GL_SCISSOR_TEST);
}

void clearFitBars()
{
    FitRect bars[2];
    getFitBars(drawableWidth, drawableHeight, bars);
    // The frame chose its clear colour in the frame before, for this one.
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    for (const FitRect& bar : bars) {
        if (bar.width <= 0 || bar.height <= 0) continue;
        glScissor(bar.x, bar.y, bar.width, bar.height);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glPopAttrib();
}
