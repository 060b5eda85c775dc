// --fit's rectangles: the largest 4:3 picture centred in the drawable, and the
// two bars that, with it, cover the drawable exactly.
#include "app/fit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

TEST(Fit, LargestCentredFourByThree)
{
    const struct {
        int width, height;
        FitRect picture;
    } cases[] = {
        {800, 600, {0, 0, 800, 600}},     // the program's own size: no bars
        {1000, 500, {166, 0, 667, 500}},  // wide: bars left and right
        {600, 800, {0, 175, 600, 450}},   // tall: bars below and above
        {1920, 1080, {240, 0, 1440, 1080}},
        {1366, 768, {171, 0, 1024, 768}},
        {801, 600, {0, 0, 800, 600}},     // one column over: it goes to the right bar
        {3, 100, {0, 49, 3, 2}},          // 2.25 rounds down
        {2, 100, {0, 49, 2, 2}},          // 1.5 rounds up
        {100, 1, {49, 0, 1, 1}},
        {0, 600, {0, 0, 0, 0}},           // minimised
        {800, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        FitRect r = getFitViewport(c.width, c.height);
        EXPECT_EQ(std::vector<int>({r.x, r.y, r.width, r.height}),
                  std::vector<int>({c.picture.x, c.picture.y, c.picture.width, c.picture.height}))
            << c.width << "x" << c.height;
    }
}

TEST(Fit, PictureAndBarsCoverTheDrawableOnce)
{
    for (int width = 1; width <= 64; width++)
        for (int height = 1; height <= 64; height++) {
            FitRect rects[3];
            getFitBars(width, height, rects);
            rects[2] = getFitViewport(width, height);
            // Every pixel in exactly one rectangle.
            std::vector<int> cover(width * height, 0);
            for (const FitRect& r : rects) {
                ASSERT_GE(r.width, 0);
                ASSERT_GE(r.height, 0);
                for (int y = r.y; y < r.y + r.height; y++)
                    for (int x = r.x; x < r.x + r.width; x++) {
                        ASSERT_TRUE(x >= 0 && x < width && y >= 0 && y < height) << width << "x" << height;
                        cover[y * width + x]++;
                    }
            }
            for (int n : cover) ASSERT_EQ(n, 1) << width << "x" << height;
            // The picture touches two opposite sides and is centred between
            // the other two, its sides 4:3 to the nearest pixel.
            const FitRect& p = rects[2];
            EXPECT_TRUE(p.width == width || p.height == height) << width << "x" << height;
            EXPECT_LE(std::abs((width - p.width) - 2 * p.x), 1) << width << "x" << height;
            EXPECT_LE(std::abs((height - p.height) - 2 * p.y), 1) << width << "x" << height;
            EXPECT_LE(std::abs(3 * p.width - 4 * p.height), 2) << width << "x" << height;
        }
}
