#include "terrain/shading.h"

#include "frame/keys.h"

#include <cmath>

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

// The +i neighbour of the last row.
const float noRow[GRID] = {};

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

    // Each row is done in two sweeps: first the heights, vertex after vertex,
    // then the colours. A vertex's colour reads only its own final height and
    // its +i neighbour, which the next row has not touched yet, so the
    // colours come out as if every vertex were finished before the next one
    // is begun, while the colour sweep has no chain from vertex to vertex.
    for (int i = 0; i < GRID; i++) {
        float* row = w[i];
        const float* next = i < GRID - 1 ? w[i + 1] : noRow;
        const float* prev = i > 0 ? w[i - 1] : noRow;
        const bool edgeRow = i == 0 || i == GRID - 1;

        for (int j = 0; j < GRID; j++) {
            float h = row[j];
            if (h < -LIMIT) h = -LIMIT;
            if (h > LIMIT) h = LIMIT;
            if (edgeRow || j == 0 || j == GRID - 1) h = 0.0f;
            if (smooth) {
                // (i - 1, j) and (i, j - 1) already hold this pass's values;
                // the other two are still as the frame left them.
                const double hd = h;
                const double npj = j < GRID - 1 ? row[j + 1] : 0.0f;
                const double nmj = j > 0 ? row[j - 1] : 0.0f;
                const double mean = (hd + next[j] + npj + prev[j] + nmj) / 5.0;
                h = (float)(hd + 0.1 * (mean - hd));
            }
            row[j] = h;
        }

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
            const float D = (float)std::sqrt((double)dx * dx + (double)dy * dy + (double)dz * dz);
            const float ramp = (float)(1.0 - (D - 40.0) / 160.0);
            const float V = D > 200.0f ? 0.0f : D > 40.0f ? ramp : 1.0f;

            const double l = light[j];
            double r, g, b;
            if (tint) {
                // A playing script shows as one blue-grey, darkened with distance.
                r = (float)((0.6 * l + 0.2) * V);
                g = r;
                b = (float)((0.7 * l + 0.3) * V);
            } else if (hd < -9.0) { // deep water
                r = (float)(0.2 * l + 0.1);
                g = 0.0;
                b = (float)(0.7 * l + 0.2);
            } else if (hd < 0.1) { // shore and shallow water
                r = (float)(0.7 * l + 0.3);
                g = (float)(0.7 * l + 0.1);
                b = (float)(0.1 * l);
            } else if (hd < 10.0) { // grass
                r = (float)(0.5 * l);
                g = (float)(0.8 * l + 0.2);
                b = (float)(0.2 * l);
            } else if (hd < 30.0) { // rock
                r = (float)(0.6 * l + 0.1);
                g = r;
                b = r;
            } else { // snow
                r = (float)(0.6 * l + 0.4);
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
