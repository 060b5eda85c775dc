// The models of the C libraries' generators, against their published first
// numbers and against the real rand of the library the tests run on.
#include "platform/scripted/rand_model.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(RandModel, FirstNumbersOfSeedOne)
{
    GlibcRand g;
    seedGlibcRand(g, 1);
    const int glibc[] = {1804289383, 846930886, 1681692777, 1714636915, 1957747793};
    for (int v : glibc) EXPECT_EQ(nextGlibcRand(g), v);

    MsvcrtRand m;
    seedMsvcrtRand(m, 1);
    const int msvcrt[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int v : msvcrt) EXPECT_EQ(nextMsvcrtRand(m), v);
}

TEST(RandModel, SeedZeroIsSeedOneOnlyForGlibc)
{
    GlibcRand a, b;
    seedGlibcRand(a, 0);
    seedGlibcRand(b, 1);
    MsvcrtRand c, d;
    seedMsvcrtRand(c, 0);
    seedMsvcrtRand(d, 1);
    int sameGlibc = 0, sameMsvcrt = 0;
    for (int k = 0; k < 100; k++) {
        sameGlibc += nextGlibcRand(a) == nextGlibcRand(b);
        sameMsvcrt += nextMsvcrtRand(c) == nextMsvcrtRand(d);
    }
    EXPECT_EQ(sameGlibc, 100);
    EXPECT_LT(sameMsvcrt, 5);
}

#if defined(__GLIBC__) || defined(_WIN32)
// Seeds from the tick counts a program may start with, those read as negative
// 32-bit values among them.
TEST(RandModel, MatchesThisPlatformsRandOverAMillionDraws)
{
    const unsigned seeds[] = {1u, 7u, 12345u, 2147483647u, 2147483648u, 4294967295u, 0u};
    for (unsigned seed : seeds) {
        srand(seed);
#ifdef __GLIBC__
        GlibcRand g;
        seedGlibcRand(g, seed);
#else
        MsvcrtRand g;
        seedMsvcrtRand(g, seed);
#endif
        int differ = 0, first = -1;
        for (int k = 0; k < 1000000; k++) {
#ifdef __GLIBC__
            int model = nextGlibcRand(g);
#else
            int model = nextMsvcrtRand(g);
#endif
            if (model != rand() && differ++ == 0) first = k;
        }
        EXPECT_EQ(differ, 0) << "seed " << seed << ", first at draw " << first;
    }
}
#endif

} // namespace
