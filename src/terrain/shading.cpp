#include "terrain/shading.h"

#include "frame/keys.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int CASTERS = 6; // shadow points: four axles and two body middles
constexpr float LIMIT = 100.0f;

// Distance in cells from a caster to a vertex along one axis, or -1 when it
// is more than a cell away. q is the caster's coordinate in cells.
float retReach(double q, float g)
{
    float d = (float)std::fabs(q - g);
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

// A base colour component, rounded to float as it is stored. GCC 12 at -O2
// and above can lose such a rounding when it packs two of them side by side
// into one vector (the colours then come out of the optimised program a float
// step off); the empty asm keeps each rounding where it is.
double retStored(double x)
{
    float f = (float)x;
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __asm__("" : "+x"(f));
#elif defined(__GNUC__)
    __asm__("" : "+m"(f));
#endif
    return f;
}

// Rows relaxed side by side, each one vertex behind the row before it.
constexpr int WAVE = 4;

// The heights as the pass found them, for the slope light's +i neighbour; one
// row more, of zeros, for the last row's missing neighbour.
float before[GRID + 1][GRID];

// The height of one vertex: limit, border, and the relaxation toward the
// mean of the vertex and its four neighbours (a tenth of the way). (i - 1, j) and (i, j - 1)
// must already be done, (i + 1, j) and (i, j + 1) not yet begun.
void relaxVertex(float (*w)[GRID], int i, int j, bool smooth)
{
    float h = w[i][j];
    if (h < -LIMIT) h = -LIMIT;
    if (h > LIMIT) h = LIMIT;
    if (i == 0 || i == GRID - 1 || j == 0 || j == GRID - 1) h = 0.0f;
    if (smooth) {
        const double hd = h;
        const double npi = i < GRID - 1 ? w[i + 1][j] : 0.0f;
        const double npj = j < GRID - 1 ? w[i][j + 1] : 0.0f;
        const double nmi = i > 0 ? w[i - 1][j] : 0.0f;
        const double nmj = j > 0 ? w[i][j - 1] : 0.0f;
        const double mean = (hd + npi + npj + nmi + nmj) / 5.0;
        h = (float)(hd + 0.1 * (mean - hd));
    }
    w[i][j] = h;
}

} // namespace

void relaxAndShade(TerrainState& terrain, const RigState& rig, vec3 tra, vec3 clearcol,
                   bool dosmooth)
{
    float (*w)[GRID] = terrain.w;
    // The key state cannot change during the pass.
    const bool smooth = keyHeld('F') || dosmooth;
    const bool tint = terrain.ptime > -1;

    // In the order their factors are multiplied in.
    const Caster casters[CASTERS] = {
        retCaster(rig.rnos.x, rig.rnos.z),
        retCaster(rig.rpos[0].x, rig.rpos[0].z),
        retCaster((rig.rnos.x + rig.rpos[0].x) / 2, (rig.rnos.z + rig.rpos[0].z) / 2),
        retCaster(rig.vnos[0].x, rig.vnos[0].z),
        retCaster(rig.vpos[0].x, rig.vpos[0].z),
        retCaster((rig.vnos[0].x + rig.vpos[0].x) / 2, (rig.vnos[0].z + rig.vpos[0].z) / 2),
    };
    const double cr = clearcol.x, cg = clearcol.y, cb = clearcol.z;

    // The pass works in place, i outer and j inner: each vertex sees this
    // pass's values behind it and the old ones ahead. The heights are done
    // first, for the whole map, and the colours after: a colour reads only
    // the vertex's final height and the +i neighbour as the pass found it.
    memcpy(before, w, sizeof(float) * GRID * GRID);

    // A relaxation waits for the one before it in its row. Rows staggered
    // by one vertex keep every vertex's inputs as in row order (the row
    // before is a step ahead and has done (i - 1, j); the row after is a
    // step behind and has not begun (i + 1, j)) and give the processor
    // several independent chains at once.
    if (smooth) {
        for (int i0 = 0; i0 < GRID; i0 += WAVE)
            for (int t = 0; t < GRID + WAVE - 1; t++)
                for (int m = 0; m < WAVE; m++) {
                    const int i = i0 + m, j = t - m;
                    if (i < GRID && j >= 0 && j < GRID) relaxVertex(w, i, j, true);
                }
    } else {
        for (int i = 0; i < GRID; i++)
            for (int j = 0; j < GRID; j++) relaxVertex(w, i, j, false);
    }

    for (int i = 0; i < GRID; i++) {
        const float* row = w[i];
        const float* next = before[i + 1];

        // Slopes rising toward +i are lit; level ground gets a quarter.
        float light[GRID];
        for (int j = 0; j < GRID; j++) {
            const double hd = row[j];
            const double npi = next[j];
            const float ramp = (float)((npi - hd + 2.0) / 8.0);
            float L = npi > hd + 6.0 ? 1.0f : npi > hd - 2.0 ? ramp : 0.0f;
            light[j] = L < 0.1f ? 0.1f : L;
        }

        // After the floor, so a shadowed vertex may end below 0.1. Casters
        // outer, so each vertex takes its factors in the casters' order.
        for (const Caster& k : casters) {
            if (i < k.ilo || i > k.ihi) continue;
            for (int j = k.jlo; j <= k.jhi; j++)
                light[j] *= retShadow(k.qx, k.qz, (float)i, (float)j);
        }

        const float x = i * bsize;
        for (int j = 0; j < GRID; j++) {
            const double hd = row[j];
            // The distance as retDis measures it: float differences, the
            // squares summed in double.
            const float dx = x - tra.x, dy = row[j] - tra.y, dz = j * bsize - tra.z;
            const double sq = (double)dx * dx + (double)dy * dy + (double)dz * dz;
            float V;
            // Well beyond 200 or well within 40 the root cannot round to the
            // other side of the limit, and V is known without it.
            if (sq > FAR_SQ) {
                V = 0.0f;
            } else if (sq < NEAR_SQ) {
                V = 1.0f;
            } else {
                const float D = (float)std::sqrt(sq);
                if (D > 200.0f)
                    V = 0.0f;
                else if (D > 40.0f)
                    V = (float)(1.0 - (D - 40.0) / 160.0);
                else
                    V = 1.0f;
            }

            const double l = light[j];
            double r, g, b;
            if (tint) {
                // A playing script shows as one blue-grey, darkened with distance.
                r = retStored((0.6 * l + 0.2) * V);
                g = r;
                b = retStored((0.7 * l + 0.3) * V);
            } else if (hd < -9.0) { // deep water
                r = retStored(0.2 * l + 0.1);
                g = 0.0;
                b = retStored(0.7 * l + 0.2);
            } else if (hd < 0.1) { // shore and shallow water
                r = retStored(0.7 * l + 0.3);
                g = retStored(0.7 * l + 0.1);
                b = retStored(0.1 * l);
            } else if (hd < 10.0) { // grass
                r = retStored(0.5 * l);
                g = retStored(0.8 * l + 0.2);
                b = retStored(0.2 * l);
            } else if (hd < 30.0) { // rock
                r = retStored(0.6 * l + 0.1);
                g = r;
                b = r;
            } else { // snow
                r = retStored(0.6 * l + 0.4);
                g = r;
                b = r;
            }

            // Every colour fades to the sky; only the tint was darkened first.
            const double fade = 1.0 - V;
            vec3& col = terrain.c[i][j];
            col.x = (float)(r + (cr - r) * fade);
            col.y = (float)(g + (cg - g) * fade);
            col.z = (float)(b + (cb - b) * fade);
        }
    }
}
