// --fit's rectangles: the largest 4:3 picture centred in the drawable, and the
// two bars that, with it, cover the drawable once.
#include "app/fit.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Fit, LargestCentredFourByThree)
{
    const struct {
        int width, height;
        std::vector<int> picture; // x, y, width, height
    } cases[] = {
        {800, 600, {0, 0, 800, 600}},  {1000, 500, {166, 0, 667, 500}},
        {600, 800, {0, 175, 600, 450}}, {1366, 768, {171, 0, 1024, 768}},
        {801, 600, {0, 0, 800, 600}},  {3, 100, {0, 49, 3, 2}}, // 2.25 rounds down
        {2, 100, {0, 49, 2, 2}},       {0, 600, {0, 0, 0, 0}},  // 1.5 up; minimised
    };
    for (const auto& c : cases) {
        FitRect r = getFitViewport(c.width, c.height);
        EXPECT_EQ(std::vector<int>({r.x, r.y, r.width, r.height}), c.picture) << c.width << "x" << c.height;
    }
    // Every pixel of every drawable up to 40x40 is in the picture or one bar, once.
    for (int w = 1; w <= 40; w++)
        for (int h = 1; h <= 40; h++) {
            FitRect rects[3];
            getFitBars(w, h, rects);
            rects[2] = getFitViewport(w, h);
            std::vector<int> cover(w * h, 0);
            for (const FitRect& r : rects)
                for (int y = r.y; y < r.y + r.height; y++)
                    for (int x = r.x; x < r.x + r.width; x++)
                        if (x >= 0 && x < w && y >= 0 && y < h) cover[y * w + x]++;
            EXPECT_EQ(cover, std::vector<int>(w * h, 1)) << w << "x" << h;
        }
}
