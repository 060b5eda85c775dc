#include "terrain/shading.h"

#include "frame/keys.h"

#include <cmath>
#include <cstring>

// SSE2 is part of every x86-64; elsewhere (or asked for, as a test does)
// the same values come from plain code.
#if defined(__SSE2__) && !defined(HILLCAR_PORTABLE_SHADING)
#define HILLCAR_SHADING_SSE2 1
#include <emmintrin.h>
#endif

namespace {

// x rounded to float, handed back as a double. GCC 12 at -O2 and above can
// lose such a rounding when it packs two of them side by side into one vector
// (optimised builds then drew some colours a float step off); the empty asm
// keeps each rounding where it is.
double retFloat(double x)
{
    float f = (float)x;
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __asm__("" : "+x"(f));
#elif defined(__GNUC__)
    __asm__("" : "+m"(f));
#endif
    return f;
}

constexpr int CASTERS = 6; // shadow points: four axles and two body middles
constexpr float LIMIT = 100.0f;

// Distance in cells from a caster to a vertex along one axis, or -1 when it
// is more than a cell away. q is the caster's coordinate in cells.
float retReach(double q, float g)
{
    float d = (float)retFloat(std::fabs(q - g));
    return d > 1.0f ? -1.0f : d;
}

float retShadow(double qx, double qz, float gi, float gj)
{
    float dx = retReach(qx, gi);
    float dz = retReach(qz, gj);
    if (dx < 0.0f || dz < 0.0f) return 1.0f;
    float s = (float)std::sqrt((double)dx * dx + (double)dz * dz);
    // Full light from one cell on, never darker than half.
    if (s > 1.0f) s = 1.0f;
    if (s < 0.5f) s = 0.5f;
    return s;
}

// A caster in cells, and the rows and columns in which it can shadow
// anything. getShadow is 1 wherever |q - g| > 1, so a margin of two cells on
// each side holds every vertex it can touch; a NaN caster yields NaN
// everywhere and so reaches the whole grid.
struct Caster {
    double qx, qz;
    int ilo, ihi, jlo, jhi;
};

void retWindow(double q, int& lo, int& hi)
{
    if (std::isnan(q)) {
        lo = 0;
        hi = GRID - 1;
        return;
    }
    if (!(q > -10.0 && q < GRID + 10.0)) { // far off: no vertex within reach
        lo = 1;
        hi = 0;
        return;
    }
    int f = (int)std::floor(q);
    lo = f - 2 < 0 ? 0 : f - 2;
    hi = f + 2 > GRID - 1 ? GRID - 1 : f + 2;
}

Caster retCaster(float px, float pz)
{
    Caster c;
    c.qx = (double)px / bsize;
    c.qz = (double)pz / bsize;
    retWindow(c.qx, c.ilo, c.ihi);
    retWindow(c.qz, c.jlo, c.jhi);
    return c;
}

} // namespace

float getShadow(float px, float pz, float gi, float gj)
{
    return retShadow((double)px / bsize, (double)pz / bsize, gi, gj);
}

namespace {

// Squared distances from the eye that settle the haze: the root of the one
// rounds to a float above 200, that of the other to one below 40.
constexpr double FAR_SQ = 40001.0;
constexpr double NEAR_SQ = 1599.0;

// Rows relaxed side by side, each one vertex behind the row before it.
constexpr int WAVE = 10;

// The heights as the pass found them, for the relaxation's +i and +j
// neighbours and the slope light's +i neighbour, with a margin of zeros all
// round: the neighbours off the grid read 0, and so does whatever a wave's
// lanes read beyond the ends of their rows.
constexpr int MARGIN = WAVE + 1;
constexpr int PITCH = MARGIN + GRID + MARGIN;
float found[GRID + 2][PITCH];

// Row i of the heights as found (i from -1 to GRID; those two are zeros).
float* foundRow(int i)
{
    return &found[i + 1][MARGIN];
}

#if defined(HILLCAR_SHADING_SSE2)

// A wave's rows as pairs of lanes.
constexpr int PAIRS = WAVE / 2;

// Two floats, from p and q, as the two lanes of a vector of doubles.
__m128d retLoadLanes(const float* p, const float* q)
{
    return _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(p), _mm_load_ss(q)));
}

// One step of the wave of rows i0 to i0 + WAVE - 1: lane m relaxes vertex
// (i0 + m, t - m), lanes side by side in pairs. self holds each lane's height
// as found and fresh its new height from the step before; both move on a
// column. At the ends of the rows (edge) some lanes lie off the grid: they
// compute, store nothing and hand on 0, as a vertex off the grid reads. ring
// marks the lanes of the outer rows, whose heights are held at 0.
template <bool edge, bool ringed>
void relaxStep(float (*w)[GRID], int i0, int t, __m128d* self, __m128d* fresh, const __m128d* ring)
{
    // Lane m's +j neighbour as found is at f[m * (PITCH - 1)], and its new
    // height goes to out[m * (GRID - 1)].
    const float* f = foundRow(i0) + t + 1;
    float* out = &w[i0][0] + t;
    constexpr int FSTEP = PITCH - 1, WSTEP = GRID - 1;

    __m128d npj[PAIRS];
    for (int k = 0; k < PAIRS; k++)
        npj[k] = retLoadLanes(f + 2 * k * FSTEP, f + (2 * k + 1) * FSTEP);
    const bool above = i0 > 0 && (!edge || (t >= 0 && t < GRID));
    const __m128d aboveD =
        _mm_cvtss_sd(_mm_setzero_pd(), _mm_load_ss(above ? &w[i0 - 1][t] : foundRow(-1)));
    const __m128d belowD = _mm_cvtss_sd(_mm_setzero_pd(), _mm_load_ss(f + WAVE * FSTEP));

    const __m128d lo = _mm_set1_pd(-LIMIT), hi = _mm_set1_pd(LIMIT);
    __m128d next[PAIRS];
    for (int k = 0; k < PAIRS; k++) {
        // The +i neighbour of a lane is the +j neighbour of the lane after it.
        const __m128d npi = _mm_shuffle_pd(npj[k], k + 1 < PAIRS ? npj[k + 1] : belowD, 1);
        // Lane by lane, the -i neighbour is the lane before's new height.
        const __m128d nmi = k > 0 ? _mm_shuffle_pd(fresh[k - 1], fresh[k], 1)
                                  : _mm_unpacklo_pd(aboveD, fresh[0]);
        const __m128d nmj = fresh[k];

        // maxpd and minpd hand back their second operand when either is
        // NaN, as the limits leave a NaN height as it is.
        __m128d h = _mm_min_pd(hi, _mm_max_pd(lo, self[k]));
        __m128d valid = _mm_setzero_pd();
        if (edge) {
            const __m128d col = _mm_sub_pd(_mm_set1_pd(t), _mm_setr_pd(2 * k, 2 * k + 1));
            valid = _mm_and_pd(_mm_cmpge_pd(col, _mm_setzero_pd()),
                               _mm_cmple_pd(col, _mm_set1_pd(GRID - 1)));
            const __m128d side = _mm_or_pd(_mm_cmpeq_pd(col, _mm_setzero_pd()),
                                           _mm_cmpeq_pd(col, _mm_set1_pd(GRID - 1)));
            h = _mm_andnot_pd(side, h);
        }
        if (ringed) h = _mm_andnot_pd(ring[k], h);

        const __m128d sum = _mm_add_pd(_mm_add_pd(_mm_add_pd(_mm_add_pd(h, npi), npj[k]), nmi), nmj);
        const __m128d mean = _mm_div_pd(sum, _mm_set1_pd(5.0));
        const __m128 x =
            _mm_cvtpd_ps(_mm_add_pd(h, _mm_mul_pd(_mm_set1_pd(0.1), _mm_sub_pd(mean, h))));
        next[k] = _mm_cvtps_pd(x);
        if (edge) next[k] = _mm_and_pd(valid, next[k]);

        float* o0 = out + 2 * k * WSTEP;
        float* o1 = out + (2 * k + 1) * WSTEP;
        if (!edge || (t - 2 * k >= 0 && t - 2 * k < GRID)) _mm_store_ss(o0, x);
        if (!edge || (t - 2 * k - 1 >= 0 && t - 2 * k - 1 < GRID))
            _mm_store_ss(o1, _mm_shuffle_ps(x, x, 1));
    }
    for (int k = 0; k < PAIRS; k++) {
        fresh[k] = next[k];
        self[k] = npj[k];
    }
}

// The rows i0 to i0 + WAVE - 1, each one vertex behind the row before: a
// relaxation waits for the one before it in its row, and rows staggered so
// keep every vertex's inputs as in row order (the row before is a step ahead
// and has done (i - 1, j); the row after is a step behind and has not begun
// (i + 1, j)) while giving the processor many independent chains at once.
void relaxWave(float (*w)[GRID], int i0)
{
    __m128d self[PAIRS], fresh[PAIRS], ringMask[PAIRS];
    bool anyRing = false;
    for (int k = 0; k < PAIRS; k++) {
        const int m = 2 * k;
        // The heights of step -1's +j neighbours, which step 0 starts from.
        self[k] = retLoadLanes(foundRow(i0 + m) - m, foundRow(i0 + m + 1) - m - 1);
        fresh[k] = _mm_setzero_pd();
        const bool ring0 = i0 + m == 0 || i0 + m == GRID - 1;
        const bool ring1 = i0 + m + 1 == 0 || i0 + m + 1 == GRID - 1;
        ringMask[k] = _mm_castsi128_pd(_mm_setr_epi32(-ring0, -ring0, -ring1, -ring1));
        anyRing = anyRing || ring0 || ring1;
    }
    // The steps at the ends of the rows, then those between, where every
    // lane is on the grid and off its sides.
    for (int t = 0; t < WAVE; t++) relaxStep<true, true>(w, i0, t, self, fresh, ringMask);
    if (anyRing)
        for (int t = WAVE; t < GRID - 1; t++) relaxStep<false, true>(w, i0, t, self, fresh, ringMask);
    else
        for (int t = WAVE; t < GRID - 1; t++) relaxStep<false, false>(w, i0, t, self, fresh, ringMask);
    for (int t = GRID - 1; t < GRID + WAVE - 1; t++)
        relaxStep<true, true>(w, i0, t, self, fresh, ringMask);
}

#else

// The height of one vertex: limit, border, and the relaxation toward the
// mean of the vertex and its four neighbours (a tenth of the way). (i - 1, j) and (i, j - 1)
// must already be done, (i + 1, j) and (i, j + 1) not yet begun.
void relaxVertex(float (*w)[GRID], int i, int j)
{
    float h = w[i][j];
    if (h < -LIMIT) h = -LIMIT;
    if (h > LIMIT) h = LIMIT;
    if (i == 0 || i == GRID - 1 || j == 0 || j == GRID - 1) h = 0.0f;
    const double hd = h;
    const double npi = i < GRID - 1 ? w[i + 1][j] : 0.0f;
    const double npj = j < GRID - 1 ? w[i][j + 1] : 0.0f;
    const double nmi = i > 0 ? w[i - 1][j] : 0.0f;
    const double nmj = j > 0 ? w[i][j - 1] : 0.0f;
    const double mean = (hd + npi + npj + nmi + nmj) / 5.0;
    w[i][j] = (float)retFloat(hd + 0.1 * (mean - hd));
}

#endif

// The relaxation of the whole map, i outer and j inner, in place, from the
// heights as found (already in found).
void relaxMap(float (*w)[GRID])
{
#if defined(HILLCAR_SHADING_SSE2)
    for (int i0 = 0; i0 < GRID; i0 += WAVE) relaxWave(w, i0);
#else
    for (int i0 = 0; i0 < GRID; i0 += WAVE)
        for (int t = 0; t < GRID + WAVE - 1; t++)
            for (int m = 0; m < WAVE; m++) {
                const int i = i0 + m, j = t - m;
                if (i < GRID && j >= 0 && j < GRID) relaxVertex(w, i, j);
            }
#endif
}

// Limits and border of one row when nothing is relaxed: each height then
// depends on itself alone.
void limitRow(float* row, bool ring)
{
    if (ring) {
        for (int j = 0; j < GRID; j++) row[j] = 0.0f;
        return;
    }
#if defined(HILLCAR_SHADING_SSE2)
    // maxps and minps hand back their second operand when either is NaN, as
    // the comparisons below leave a NaN height as it is.
    const __m128 lo = _mm_set1_ps(-LIMIT), hi = _mm_set1_ps(LIMIT);
    for (int j = 0; j < GRID; j += 4)
        _mm_storeu_ps(row + j, _mm_min_ps(hi, _mm_max_ps(lo, _mm_loadu_ps(row + j))));
#else
    for (int j = 0; j < GRID; j++) {
        float h = row[j];
        h = h < -LIMIT ? -LIMIT : h;
        row[j] = h > LIMIT ? LIMIT : h;
    }
#endif
    row[0] = 0.0f;
    row[GRID - 1] = 0.0f;
}

// Base colour coefficients: component = a * L + b (times V for the tint).
enum Band { DEEP, SHORE, GRASS, ROCK, SNOW, TINT };
struct Coefficients {
    double ar, br, ag, bg, ab, bb;
};
// Written as the sums the colours are: 0.5 * L is 0.5 * L + 0, as L > 0,
// and deep water's green 0 is 0 * L + 0 while L is finite.
constexpr Coefficients COLOURS[6] = {
    {0.2, 0.1, 0.0, 0.0, 0.7, 0.2}, // deep water
    {0.7, 0.3, 0.7, 0.1, 0.1, 0.0}, // shore and shallow water
    {0.5, 0.0, 0.8, 0.2, 0.2, 0.0}, // grass
    {0.6, 0.1, 0.6, 0.1, 0.6, 0.1}, // rock
    {0.6, 0.4, 0.6, 0.4, 0.6, 0.4}, // snow
    {0.6, 0.2, 0.6, 0.2, 0.7, 0.3}, // a playing script's blue-grey
};

// What the colours of one pass read besides the heights.
struct ShadeInputs {
    vec3 tra;
    vec3 clearcol;
    bool tint;
    // Every vertex beyond 200 units then takes exactly the sky colour (see
    // retPlainSky), and its light and band need not be worked out.
    bool plainSky;
    double dzz[GRID]; // squared distance from the eye along z, per column
    Caster casters[CASTERS];
    // Neither the eye nor the grid spacing is NaN: the columns nearLo to
    // nearHi are then the only ones within FAR_SQ along z alone.
    bool eyeBounded;
    int nearLo, nearHi;
    // Some height may be NaN, so each row must be looked at.
    bool mayHoldNaN;
#if defined(HILLCAR_SHADING_SSE2)
    __m128d skyR, skyG, skyB; // the sky's components in both lanes
    __m128 sky4[3];           // four sky colours in a row, as three vectors
#endif
};

// The visibility at distance D: 1 up to 40, 0 from 200 on, linear between.
// (200 - D) / 160 rounds to the same float as 1 - (D - 40) / 160 for every
// float D in (40, 200], without a division; it is 1 at 40 and above it
// nearer, 0 at 200 and below it further, so clamping settles both ends (a
// NaN distance gives 1, as the tests of the distance do). The vector lanes
// work it out the same way.
float retVisibility(float D)
{
    const float inner = (float)retFloat((200.0 - D) * (1.0 / 160.0));
    const float V = inner < 1.0f ? inner : 1.0f;
    return V > 0.0f ? V : 0.0f;
}

// Whether a vertex beyond the haze comes out exactly as the sky colour. Its
// colour is base + (sky - base) * 1 in double from a float base and sky. With
// the base 0 or between 2^-12 and 1, which it is for any light while no
// caster is NaN, that gives the sky back for sky +0, and for any finite sky of
// magnitude 2^-20 or more: its float neighbours lie further off than the
// double roundings reach.
bool retPlainSky(vec3 clearcol, const Caster* casters)
{
    for (int k = 0; k < CASTERS; k++)
        if (std::isnan(casters[k].qx) || std::isnan(casters[k].qz)) return false;
    const float sky[3] = {clearcol.x, clearcol.y, clearcol.z};
    for (float c : sky) {
        const bool plusZero = c == 0.0f && !std::signbit(c);
        const float a = std::fabs(c);
        if (!plusZero && !(a >= 0x1p-20f && a <= 3.4e38f)) return false;
    }
    return true;
}

// Whether any of the n floats at p (n a multiple of 4) is NaN.
bool retAnyNaN(const float* p, int n)
{
#if defined(HILLCAR_SHADING_SSE2)
    __m128 nan = _mm_setzero_ps();
    for (int j = 0; j < n; j += 4) {
        const __m128 v = _mm_loadu_ps(p + j);
        nan = _mm_or_ps(nan, _mm_cmpunord_ps(v, v));
    }
    return _mm_movemask_ps(nan) != 0;
#else
    bool nan = false;
    for (int j = 0; j < n; j++) nan = nan || std::isnan(p[j]);
    return nan;
#endif
}

// The distance from the eye as retDis measures it, squared: float
// differences, the squares summed in double.
double retSquaredDistance(const ShadeInputs& in, double dxx, float h, int j)
{
    const float dy = h - in.tra.y;
    return dxx + (double)dy * dy + in.dzz[j];
}

// The colour of vertex (i, j) from its final height h, its +i neighbour as
// the pass found it and its squared distance from the eye: the slope light,
// the shadows, the haze, the base colour and the fade, one vertex at a time.
vec3 retVertexColour(const ShadeInputs& in, int i, int j, float h, float npi, double sq)
{
    // Slopes rising toward +i are lit; level ground gets a quarter.
    const double hd = h;
    float L;
    if (npi > hd + 6.0)
        L = 1.0f;
    else if (npi > hd - 2.0)
        L = (float)retFloat((npi - hd + 2.0) / 8.0);
    else
        L = 0.0f;
    if (L < 0.1f) L = 0.1f;

    // After the floor, so a shadowed vertex may end below 0.1; in the
    // casters' order.
    for (const Caster& k : in.casters)
        if (i >= k.ilo && i <= k.ihi && j >= k.jlo && j <= k.jhi)
            L *= retShadow(k.qx, k.qz, (float)i, (float)j);

    // Well beyond 200 or well within 40 the root cannot round to the other
    // side of the limit, and V is known without it.
    double V;
    if (sq > FAR_SQ) {
        V = 0.0;
    } else if (sq < NEAR_SQ) {
        V = 1.0;
    } else {
        V = retVisibility((float)retFloat(std::sqrt(sq)));
    }

    // A playing script shows as one blue-grey, darkened with distance.
    const double l = L;
    const Band band = in.tint ? TINT
                      : hd < -9.0 ? DEEP
                      : hd < 0.1  ? SHORE
                      : hd < 10.0 ? GRASS
                      : hd < 30.0 ? ROCK
                                  : SNOW;
    const Coefficients& k = COLOURS[band];
    double r, g, b;
    if (in.tint) {
        r = retFloat((k.ar * l + k.br) * V);
        g = retFloat((k.ag * l + k.bg) * V);
        b = retFloat((k.ab * l + k.bb) * V);
    } else {
        r = retFloat(k.ar * l + k.br);
        // Deep water has no green whatever the light, even a NaN one.
        g = band == DEEP ? 0.0 : retFloat(k.ag * l + k.bg);
        b = retFloat(k.ab * l + k.bb);
    }

    // Every colour fades to the sky; only the tint was darkened first.
    const double fade = 1.0 - V;
    return vec3((float)(r + (in.clearcol.x - r) * fade), (float)(g + (in.clearcol.y - g) * fade),
                (float)(b + (in.clearcol.z - b) * fade));
}

#if defined(HILLCAR_SHADING_SSE2)

// Two vertices side by side in the lanes of a vector, with the operations of
// retVertexColour in the same order and precision, lane by lane.

// Rounded to float and back: the target's own conversions, which no
// optimiser takes for a pair that cancels.
__m128d retFloats(__m128d x)
{
    return _mm_cvtps_pd(_mm_cvtpd_ps(x));
}

// Two floats from p, as doubles. The pair need not lie on an 8-byte boundary,
// so it is loaded as unaligned bytes rather than through a double pointer.
__m128d retLoadPair(const float* p)
{
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadu_si64(p)));
}

// Two colours from their components (the low two floats of each) to out[0]
// and out[1].
void storePair(vec3* out, __m128 r, __m128 g, __m128 b)
{
    const __m128 rg = _mm_unpacklo_ps(r, g);                                    // r0 g0 r1 g1
    const __m128 u = _mm_unpacklo_ps(b, _mm_shuffle_ps(rg, rg, _MM_SHUFFLE(3, 2, 3, 2))); // b0 r1 b1 g1
    _mm_storeu_ps(&out[0].x, _mm_shuffle_ps(rg, u, _MM_SHUFFLE(1, 0, 1, 0)));  // r0 g0 b0 r1
    _mm_storel_pi((__m64*)&out[1].y, _mm_shuffle_ps(u, u, _MM_SHUFFLE(2, 3, 2, 3))); // g1 b1
}

// The sky colour on four vertices in a row.
void storeSky(const ShadeInputs& in, vec3* out)
{
    _mm_storeu_ps(&out[0].x, in.sky4[0]);
    _mm_storeu_ps(&out[1].y, in.sky4[1]);
    _mm_storeu_ps(&out[2].z, in.sky4[2]);
}

// A constant in both lanes, kept in memory so that it costs one load.
struct alignas(16) Lanes {
    double v[2];
};
constexpr Lanes both(double x)
{
    return Lanes{{x, x}};
}
__m128d retLanes(const Lanes& c)
{
    return _mm_load_pd(c.v);
}

const Lanes ONE = both(1.0), TWO = both(2.0), EIGHTH = both(0.125), SIX = both(6.0),
            LIGHT_FLOOR = both((double)0.1f), FAR_EDGE = both(200.0),
            INV_SPAN = both(1.0 / 160.0);

// COLOURS in both lanes: ar, br, ag, bg, ab, bb.
struct alignas(16) LaneCoefficients {
    Lanes c[6];
};
constexpr LaneCoefficients retLaneCoefficients(const Coefficients& k)
{
    return LaneCoefficients{{both(k.ar), both(k.br), both(k.ag), both(k.bg), both(k.ab), both(k.bb)}};
}
const LaneCoefficients LANE_COLOURS[6] = {
    retLaneCoefficients(COLOURS[0]), retLaneCoefficients(COLOURS[1]),
    retLaneCoefficients(COLOURS[2]), retLaneCoefficients(COLOURS[3]),
    retLaneCoefficients(COLOURS[4]), retLaneCoefficients(COLOURS[5]),
};

// Colours of vertices j and j + 1 of a row, both in the given band (or the
// tint) and neither within reach of a caster, at squared distances sq from
// the eye.
void shadePair(const ShadeInputs& in, vec3* out, const float* row, const float* next, int j,
               __m128d sq, int band)
{
    const __m128d hd = retLoadPair(row + j);
    const __m128d npi = retLoadPair(next + j);
    const __m128d one = retLanes(ONE);

    // The light: 1 where steep, else the ramp where lit, else 0; then the
    // floor, which maxpd applies as L < 0.1f does (L is never NaN here).
    const __m128d ramp = retFloats(
        _mm_mul_pd(_mm_add_pd(_mm_sub_pd(npi, hd), retLanes(TWO)), retLanes(EIGHTH)));
    const __m128d steep = _mm_cmpgt_pd(npi, _mm_add_pd(hd, retLanes(SIX)));
    const __m128d lit = _mm_cmpgt_pd(npi, _mm_sub_pd(hd, retLanes(TWO)));
    __m128d L = _mm_or_pd(_mm_and_pd(steep, one), _mm_andnot_pd(steep, _mm_and_pd(lit, ramp)));
    L = _mm_max_pd(L, retLanes(LIGHT_FLOOR));

    // The visibility as retVisibility has it: minpd and maxpd clamp as its
    // comparisons do, NaN included. The clamps make the tests of the square
    // needless too.
    const __m128d D = retFloats(_mm_sqrt_pd(sq));
    const __m128d inner = retFloats(_mm_mul_pd(_mm_sub_pd(retLanes(FAR_EDGE), D), retLanes(INV_SPAN)));
    const __m128d V = _mm_max_pd(_mm_min_pd(inner, one), _mm_setzero_pd());

    const Lanes* k = LANE_COLOURS[band].c;
    __m128d r = _mm_add_pd(_mm_mul_pd(retLanes(k[0]), L), retLanes(k[1]));
    __m128d g, b;
    if (band == TINT) {
        r = retFloats(_mm_mul_pd(r, V));
        g = r;
        b = retFloats(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(retLanes(k[4]), L), retLanes(k[5])), V));
    } else if (band >= ROCK) {
        r = retFloats(r);
        g = r;
        b = r;
    } else {
        r = retFloats(r);
        g = retFloats(_mm_add_pd(_mm_mul_pd(retLanes(k[2]), L), retLanes(k[3])));
        b = retFloats(_mm_add_pd(_mm_mul_pd(retLanes(k[4]), L), retLanes(k[5])));
    }

    const __m128d fade = _mm_sub_pd(one, V);
    const __m128 fr = _mm_cvtpd_ps(_mm_add_pd(r, _mm_mul_pd(_mm_sub_pd(in.skyR, r), fade)));
    const __m128 fg = _mm_cvtpd_ps(_mm_add_pd(g, _mm_mul_pd(_mm_sub_pd(in.skyG, g), fade)));
    const __m128 fb = _mm_cvtpd_ps(_mm_add_pd(b, _mm_mul_pd(_mm_sub_pd(in.skyB, b), fade)));
    storePair(out + j, fr, fg, fb);
}

// Row i under a plain sky, two vertices at a time.
void shadeRowPairs(const ShadeInputs& in, vec3* colours, int i, const float* row,
                   const float* next, double dxx, int slo, int shi)
{
    // The squared distance is a sum of squares, each rounding monotonic, so
    // it is at least dxx and at least dzz[j]: beyond the haze by either, the
    // vertex is, unless a NaN spoils the sum.
    const bool bounded = in.eyeBounded && !(in.mayHoldNaN && retAnyNaN(row, GRID));
    int jlo = 0, jhi = GRID - 1;
    if (bounded) {
        if (dxx > FAR_SQ) {
            for (int j = 0; j < GRID; j += 4) storeSky(in, colours + j);
            return;
        }
        jlo = in.nearLo & ~3;
        jhi = in.nearHi | 3;
        for (int j = 0; j < jlo; j += 4) storeSky(in, colours + j);
        for (int j = jhi + 1; j < GRID; j += 4) storeSky(in, colours + j);
    }

    // The squared distances, and each vertex's band as the number of band
    // limits (-9, 0.1, 10, 30) it lies at or above. A float lies below 0.1
    // exactly when it lies below 0.1f, the next float above 0.1, so float
    // comparisons do; a NaN lies below none and is snow, as in the tests.
    alignas(16) double sq[GRID];
    alignas(16) int band[GRID];
    const __m128d dxx2 = _mm_set1_pd(dxx);
    const __m128 eyeY = _mm_set1_ps(in.tra.y);
    for (int j = jlo; j <= jhi; j += 4) {
        const __m128 h = _mm_loadu_ps(row + j);
        // dy in float, then squared and summed in double.
        const __m128 dy = _mm_sub_ps(h, eyeY);
        const __m128d dy0 = _mm_cvtps_pd(dy);
        const __m128d dy1 = _mm_cvtps_pd(_mm_movehl_ps(dy, dy));
        _mm_store_pd(sq + j, _mm_add_pd(_mm_add_pd(dxx2, _mm_mul_pd(dy0, dy0)), _mm_loadu_pd(in.dzz + j)));
        _mm_store_pd(sq + j + 2,
                     _mm_add_pd(_mm_add_pd(dxx2, _mm_mul_pd(dy1, dy1)), _mm_loadu_pd(in.dzz + j + 2)));
        if (in.tint) continue;
        __m128i below = _mm_castps_si128(_mm_cmplt_ps(h, _mm_set1_ps(-9.0f)));
        below = _mm_add_epi32(below, _mm_castps_si128(_mm_cmplt_ps(h, _mm_set1_ps(0.1f))));
        below = _mm_add_epi32(below, _mm_castps_si128(_mm_cmplt_ps(h, _mm_set1_ps(10.0f))));
        below = _mm_add_epi32(below, _mm_castps_si128(_mm_cmplt_ps(h, _mm_set1_ps(30.0f))));
        _mm_store_si128((__m128i*)(band + j), _mm_add_epi32(below, _mm_set1_epi32(4)));
    }

    const __m128d far = _mm_set1_pd(FAR_SQ);
    for (int j = jlo; j <= jhi; j += 2) {
        const __m128d sqp = _mm_load_pd(sq + j);
        // Most of the map usually lies beyond the haze.
        if (_mm_movemask_pd(_mm_cmpgt_pd(sqp, far)) == 3) {
            _mm_storeu_ps(&colours[j].x, in.sky4[0]);
            _mm_storel_pi((__m64*)&colours[j + 1].y, in.sky4[1]);
            continue;
        }
        // Two lanes at once where the pair shares a band and lies beyond the
        // casters' reach (slo to shi), else one vertex at a time.
        if ((in.tint || band[j] == band[j + 1]) && (j + 1 < slo || j > shi)) {
            shadePair(in, colours, row, next, j, sqp, in.tint ? TINT : band[j]);
            continue;
        }
        colours[j] = retVertexColour(in, i, j, row[j], next[j], sq[j]);
        colours[j + 1] = retVertexColour(in, i, j + 1, row[j + 1], next[j + 1], sq[j + 1]);
    }
}

#endif

// The colours of row i from its final heights and the +i row as the pass
// found it.
void shadeRow(const ShadeInputs& in, vec3* colours, int i, const float* row, const float* next)
{
    const float x = i * bsize;
    const float dx = x - in.tra.x;
    const double dxx = (double)dx * dx;

    // The columns the casters reach in this row, if any.
    int slo = GRID, shi = -1;
    for (const Caster& k : in.casters) {
        if (i < k.ilo || i > k.ihi || k.jlo > k.jhi) continue;
        slo = k.jlo < slo ? k.jlo : slo;
        shi = k.jhi > shi ? k.jhi : shi;
    }

#if defined(HILLCAR_SHADING_SSE2)
    if (in.plainSky) {
        shadeRowPairs(in, colours, i, row, next, dxx, slo, shi);
        return;
    }
#endif
    for (int j = 0; j < GRID; j++) {
        const double sq = retSquaredDistance(in, dxx, row[j], j);
        colours[j] = in.plainSky && sq > FAR_SQ ? in.clearcol
                                                 : retVertexColour(in, i, j, row[j], next[j], sq);
    }
}

} // namespace

void relaxAndShade(TerrainState& terrain, const RigState& rig, vec3 tra, vec3 clearcol,
                   bool dosmooth)
{
    float (*w)[GRID] = terrain.w;
    // The key state cannot change during the pass.
    const bool smooth = keyHeld('F') || dosmooth;

    ShadeInputs in;
    in.tra = tra;
    in.clearcol = clearcol;
    in.tint = terrain.ptime > -1;
    for (int j = 0; j < GRID; j++) {
        const float dz = j * bsize - tra.z;
        in.dzz[j] = (double)dz * dz;
    }
    // In the order their factors are multiplied in.
    in.casters[0] = retCaster(rig.rnos.x, rig.rnos.z);
    in.casters[1] = retCaster(rig.rpos[0].x, rig.rpos[0].z);
    in.casters[2] = retCaster((rig.rnos.x + rig.rpos[0].x) / 2, (rig.rnos.z + rig.rpos[0].z) / 2);
    in.casters[3] = retCaster(rig.vnos[0].x, rig.vnos[0].z);
    in.casters[4] = retCaster(rig.vpos[0].x, rig.vpos[0].z);
    in.casters[5] =
        retCaster((rig.vnos[0].x + rig.vpos[0].x) / 2, (rig.vnos[0].z + rig.vpos[0].z) / 2);
    in.plainSky = retPlainSky(clearcol, in.casters);
    in.eyeBounded = !std::isnan(tra.x) && !std::isnan(tra.y) && !std::isnan(tra.z);
    in.nearLo = GRID;
    in.nearHi = -1;
    for (int j = 0; j < GRID; j++) {
        if (std::isnan(in.dzz[j])) in.eyeBounded = false;
        if (in.dzz[j] > FAR_SQ) continue;
        in.nearLo = j < in.nearLo ? j : in.nearLo;
        in.nearHi = j;
    }
#if defined(HILLCAR_SHADING_SSE2)
    in.skyR = _mm_set1_pd(clearcol.x);
    in.skyG = _mm_set1_pd(clearcol.y);
    in.skyB = _mm_set1_pd(clearcol.z);
    in.sky4[0] = _mm_setr_ps(clearcol.x, clearcol.y, clearcol.z, clearcol.x);
    in.sky4[1] = _mm_setr_ps(clearcol.y, clearcol.z, clearcol.x, clearcol.y);
    in.sky4[2] = _mm_setr_ps(clearcol.z, clearcol.x, clearcol.y, clearcol.z);
#endif

    // The pass works in place, i outer and j inner: each vertex sees this
    // pass's values behind it and the old ones ahead. A colour reads only the
    // vertex's final height and the +i neighbour as the pass found it, so the
    // colours of a row can wait until its heights are done.
    if (!smooth) {
        // The limits leave a NaN height as it is, and the border turns one
        // to 0: whatever holds a NaN after them held it before.
        in.mayHoldNaN = retAnyNaN(&w[0][0], GRID * GRID);
        // Row i's colours read row i + 1 before its limits.
        limitRow(w[0], true);
        for (int i = 0; i < GRID; i++) {
            const float* next = i < GRID - 1 ? w[i + 1] : foundRow(GRID);
            shadeRow(in, terrain.c[i], i, w[i], next);
            if (i < GRID - 1) limitRow(w[i + 1], i + 1 == GRID - 1);
        }
        return;
    }

    for (int i = 0; i < GRID; i++) memcpy(foundRow(i), w[i], sizeof(float) * GRID);
    relaxMap(w);
    in.mayHoldNaN = retAnyNaN(&w[0][0], GRID * GRID);
    for (int i = 0; i < GRID; i++) shadeRow(in, terrain.c[i], i, w[i], foundRow(i + 1));
}
