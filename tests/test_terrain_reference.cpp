// The shading pass against a plain reference pass, bit for bit, over many
// random cases. The reference takes every vertex in turn through the rules as
// written, with nothing shared with the pass: no windows, no shortcuts, no
// reordering. Intermediate arithmetic is double; what is stored is float.
#include "platform/scripted/scripted.h"
#include "terrain/shading.h"

#include "frame/keys.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

// The pass once more, as built where there is no SSE2: the plain code the
// vector lanes stand in for on x86-64, which no other build here runs.
namespace portable {
#define HILLCAR_PORTABLE_SHADING 1
#include "../src/terrain/shading.cpp"
#undef HILLCAR_PORTABLE_SHADING
} // namespace portable

namespace {

// Every rounding to float of the reference goes through here. GCC 12 at -O2
// and above can lose such a rounding when it packs two of them side by side
// into one vector, and the reference must be taken literally.
float toFloat(double x)
{
    volatile float f = (float)x;
    return f;
}

float refShadow(float px, float pz, float gi, float gj)
{
    float dx = toFloat(std::fabs((double)px / bsize - gi));
    if (dx > 1.0f) dx = -1.0f;
    float dz = toFloat(std::fabs((double)pz / bsize - gj));
    if (dz > 1.0f) dz = -1.0f;
    if (dx < 0.0f || dz < 0.0f) return 1.0f;
    float s = toFloat(std::sqrt((double)dx * dx + (double)dz * dz));
    if (s > 1.0f) s = 1.0f;
    if (s < 0.5f) s = 0.5f;
    return s;
}

float refDistance(vec3 a, vec3 b)
{
    const float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    return toFloat(std::sqrt((double)dx * dx + (double)dy * dy + (double)dz * dz));
}

void refPass(TerrainState& t, const RigState& rig, vec3 tra, vec3 sky, bool smooth)
{
    const float px[6] = {rig.rnos.x,   rig.rpos[0].x, (rig.rnos.x + rig.rpos[0].x) / 2,
                         rig.vnos[0].x, rig.vpos[0].x, (rig.vnos[0].x + rig.vpos[0].x) / 2};
    const float pz[6] = {rig.rnos.z,   rig.rpos[0].z, (rig.rnos.z + rig.rpos[0].z) / 2,
                         rig.vnos[0].z, rig.vpos[0].z, (rig.vnos[0].z + rig.vpos[0].z) / 2};
    auto& w = t.w;
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            // 1, 2: limits and border.
            if (w[i][j] < -100) w[i][j] = -100;
            if (w[i][j] > 100) w[i][j] = 100;
            if (i == 0 || i == 99 || j == 0 || j == 99) w[i][j] = 0;
            // 3: neighbours, 0 off the grid.
            const float npi = i <= 98 ? w[i + 1][j] : 0.0f;
            const float npj = j <= 98 ? w[i][j + 1] : 0.0f;
            const float nmi = i >= 1 ? w[i - 1][j] : 0.0f;
            const float nmj = j >= 1 ? w[i][j - 1] : 0.0f;
            // 4: relaxation.
            if (smooth) {
                const double h = w[i][j];
                w[i][j] = toFloat(h + 0.1 * ((h + npi + npj + nmi + nmj) / 5.0 - h));
            }
            const float h = w[i][j];
            // 5: slope light.
            float L;
            if (npi > (double)h + 6)
                L = 1;
            else if (npi > (double)h - 2)
                L = toFloat(((double)npi - h + 2) / 8);
            else
                L = 0;
            if (L < 0.1f) L = 0.1f;
            // 6: shadows.
            for (int k = 0; k < 6; k++) L = toFloat((double)L * refShadow(px[k], pz[k], i, j));
            // 7: haze.
            const float D = refDistance(tra, vec3(i * bsize, h, j * bsize));
            float V;
            if (D > 200)
                V = 0;
            else if (D > 40)
                V = toFloat(1 - (D - 40.0) / 160);
            else
                V = 1;
            // 8: base colour.
            const double l = L;
            vec3 base;
            if (t.ptime > -1)
                base = vec3(toFloat((0.6 * l + 0.2) * V), toFloat((0.6 * l + 0.2) * V),
                            toFloat((0.7 * l + 0.3) * V));
            else if (h < -9)
                base = vec3(toFloat(0.2 * l + 0.1), 0, toFloat(0.7 * l + 0.2));
            else if (h < 0.1)
                base = vec3(toFloat(0.7 * l + 0.3), toFloat(0.7 * l + 0.1), toFloat(0.1 * l));
            else if (h < 10)
                base = vec3(toFloat(0.5 * l), toFloat(0.8 * l + 0.2), toFloat(0.2 * l));
            else if (h < 30)
                base = vec3(toFloat(0.6 * l + 0.1), toFloat(0.6 * l + 0.1), toFloat(0.6 * l + 0.1));
            else
                base = vec3(toFloat(0.6 * l + 0.4), toFloat(0.6 * l + 0.4), toFloat(0.6 * l + 0.4));
            // 9: fade into the sky.
            const double f = 1.0 - V;
            t.c[i][j] = vec3(toFloat(base.x + ((double)sky.x - base.x) * f),
                             toFloat(base.y + ((double)sky.y - base.y) * f),
                             toFloat(base.z + ((double)sky.z - base.z) * f));
        }
}

// Equal as stored: the same bits, or both NaN (a NaN prints the same whatever
// its payload).
bool sameFloat(float a, float b)
{
    if (std::isnan(a) && std::isnan(b)) return true;
    uint32_t ua, ub;
    memcpy(&ua, &a, 4);
    memcpy(&ub, &b, 4);
    return ua == ub;
}

struct Case {
    std::unique_ptr<TerrainState> t = std::make_unique<TerrainState>();
    RigState rig;
    vec3 tra;
    vec3 sky;
    bool smooth = false;
    bool viaKey = false;
    float spacing = 4.0f;
};

// A random case. `wild` also draws the values a run only reaches through a
// replay's `set`: non-finite and tiny sky colours, NaN heights and rig points.
void drawCase(std::mt19937& rng, Case& k, bool wild)
{
    auto uni = [&](double a, double b) { return (float)std::uniform_real_distribution<double>(a, b)(rng); };
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };

    const float spacings[] = {4.0f, 0.7f, 9.25f, 1.0f, 13.5f, 4.0f};
    k.spacing = pick(3) == 0 ? uni(0.3, 12) : spacings[pick(6)];

    // Heights: a rolling landscape, a noisy one, or one with spikes out of
    // range; now and then a band threshold exactly.
    const int kind = pick(3);
    const double amp = uni(1, 60), f1 = uni(0.02, 0.3), f2 = uni(0.02, 0.3), off = uni(-20, 30);
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            double h = off + amp * std::sin(f1 * i) * std::cos(f2 * j);
            if (kind == 1) h += uni(-8, 8);
            if (kind == 2 && pick(20) == 0) h = uni(-400, 400);
            k.t->w[i][j] = (float)h;
        }
    const float thresholds[] = {-9.0f, 0.1f, 10.0f, 30.0f, 100.0f, -100.0f, 0.0f, -0.0f};
    for (int n = 0; n < 40; n++) k.t->w[pick(GRID)][pick(GRID)] = thresholds[pick(8)];
    if (wild && pick(4) == 0) k.t->w[pick(GRID)][pick(GRID)] = std::numeric_limits<float>::quiet_NaN();
    if (wild && pick(4) == 0) k.t->w[pick(GRID)][pick(GRID)] = 1e30f;
    if (wild && pick(4) == 0) k.t->w[1 + pick(GRID - 2)][1 + pick(GRID - 2)] = 3e-39f;
    k.t->ptime = pick(3) == 0 ? pick(10) : -1;

    // Rig points: on vertices, between them, near the edges, off the grid.
    const float span = (GRID - 1) * k.spacing;
    auto point = [&]() {
        switch (pick(4)) {
        case 0: return vec3(pick(GRID) * k.spacing, 0, pick(GRID) * k.spacing);
        case 1: return vec3(uni(-2, 2) * k.spacing, 0, uni(-0.5, GRID) * k.spacing);
        case 2: return vec3(uni(-span, 2 * span), 0, uni(-span, 2 * span));
        default: return vec3(uni(0, span), uni(-5, 5), uni(0, span));
        }
    };
    k.rig.rnos = point();
    k.rig.rpos[0] = pick(3) == 0 ? k.rig.rnos : point();
    k.rig.vnos[0] = point();
    k.rig.vpos[0] = point();
    if (wild && pick(5) == 0) k.rig.vpos[0].x = std::numeric_limits<float>::quiet_NaN();

    // The eye over the grid, low or high, or off it.
    k.tra = vec3(uni(-100, span + 100), uni(-20, 160), uni(-100, span + 100));
    if (pick(4) == 0) {
        // Right on a vertex's height, so that some distances are tiny.
        const int i = pick(GRID), j = pick(GRID);
        k.tra = vec3(i * k.spacing, k.t->w[i][j], j * k.spacing);
    }

    if (wild && pick(6) == 0) {
        const int axis = pick(3);
        (axis == 0 ? k.tra.x : axis == 1 ? k.tra.y : k.tra.z) = std::numeric_limits<float>::quiet_NaN();
    }
    if (wild && pick(10) == 0) k.spacing = pick(2) ? 0.0f : 1e30f;

    k.sky = vec3(uni(0, 1), uni(0, 1), uni(0, 1));
    if (wild) {
        const float odd[] = {0.0f, -0.0f, 1e-30f, -1e-30f, 1e-7f, 3e5f, -0.5f, 1e38f,
                             std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::denorm_min()};
        if (pick(2) == 0) k.sky.x = odd[pick(11)];
        if (pick(2) == 0) k.sky.y = odd[pick(11)];
        if (pick(2) == 0) k.sky.z = odd[pick(11)];
    }
    k.smooth = pick(2) == 0;
    k.viaKey = pick(2) == 0;
}

// Runs n random cases through the pass and the reference; stops at the first
// case that differs, naming it.
using Pass = void (*)(TerrainState&, const RigState&, vec3, vec3, bool);

// smoothing: 0 never, 1 always, -1 as drawn.
void compareCases(uint32_t seed, int n, bool wild, int smoothing, Pass pass = relaxAndShade)
{
    std::mt19937 rng(seed);
    for (int c = 0; c < n; c++) {
        Case k;
        drawCase(rng, k, wild);
        if (smoothing >= 0) k.smooth = smoothing == 1;
        bsize = k.spacing;
        Case want;
        *want.t = *k.t;

        scriptReleaseKeys();
        if (k.smooth && k.viaKey) scriptSetKey('F', true);
        pass(*k.t, k.rig, k.tra, k.sky, k.smooth && !k.viaKey);
        scriptReleaseKeys();
        refPass(*want.t, k.rig, k.tra, k.sky, k.smooth);
        bsize = 4.0f;

        int bad = 0;
        for (int i = 0; i < GRID && bad < 3; i++)
            for (int j = 0; j < GRID && bad < 3; j++) {
                const float* got = &k.t->c[i][j].x;
                const float* ref = &want.t->c[i][j].x;
                bool same = sameFloat(k.t->w[i][j], want.t->w[i][j]);
                for (int e = 0; e < 3; e++) same = same && sameFloat(got[e], ref[e]);
                if (!same) {
                    bad++;
                    ADD_FAILURE() << "seed " << seed << " case " << c << " vertex " << i << ","
                                  << j << ": height " << k.t->w[i][j] << " vs "
                                  << want.t->w[i][j] << ", colour " << got[0] << " " << got[1]
                                  << " " << got[2] << " vs " << ref[0] << " " << ref[1] << " "
                                  << ref[2];
                }
            }
        if (bad) return;
    }
}

} // namespace

TEST(TerrainReference, RandomCasesWithoutSmoothing)
{
    compareCases(101, 40, false, 0);
}

TEST(TerrainReference, RandomCasesWithSmoothing)
{
    compareCases(202, 40, false, 1);
}

TEST(TerrainReference, RandomCasesWithValuesOnlyASetReaches)
{
    compareCases(303, 60, true, -1);
}

TEST(TerrainReference, PortablePassOnRandomCases)
{
    compareCases(404, 30, false, -1, portable::relaxAndShade);
    compareCases(505, 30, true, -1, portable::relaxAndShade);
}

namespace {

// The visibility in the reference's words, D a float distance.
float refVisibility(float D)
{
    if (D > 200) return 0;
    if (D > 40) return toFloat(1 - (D - 40.0) / 160);
    return 1;
}

float floatFromBits(uint32_t u)
{
    float f;
    memcpy(&f, &u, 4);
    return f;
}

uint32_t bitsOfFloat(float f)
{
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

} // namespace

TEST(TerrainReference, VisibilityWithoutTheDivisionAtEveryDistance)
{
    // Every float from 39 to 201, which holds the whole ramp (40, 200] and
    // both of its ends; beyond, the clamps hold by monotony, sampled here.
    int bad = 0;
    for (uint32_t u = bitsOfFloat(39.0f); u <= bitsOfFloat(201.0f) && bad < 5; u++) {
        const float D = floatFromBits(u);
        if (bitsOfFloat(portable::retVisibility(D)) != bitsOfFloat(refVisibility(D))) {
            bad++;
            ADD_FAILURE() << "D " << D << ": " << portable::retVisibility(D) << " vs "
                          << refVisibility(D);
        }
    }
    std::mt19937 rng(606);
    for (int n = 0; n < 100000; n++) {
        const float D = floatFromBits(rng() & 0x7fffffffu);
        if (std::isnan(D)) continue;
        ASSERT_EQ(bitsOfFloat(portable::retVisibility(D)), bitsOfFloat(refVisibility(D))) << D;
    }
    const float specials[] = {0.0f, -0.0f, 1e-45f, 40.0f, 200.0f, 3e38f,
                              std::numeric_limits<float>::infinity()};
    for (float D : specials)
        EXPECT_EQ(bitsOfFloat(portable::retVisibility(D)), bitsOfFloat(refVisibility(D))) << D;
    // A NaN distance passes none of the reference's tests: full visibility.
    EXPECT_EQ(portable::retVisibility(std::numeric_limits<float>::quiet_NaN()), 1.0f);
}
