#include "terrain/heightmap.h"

#include "frame/keys.h"
#include "terrain/scripts.h"


float getGround(vec3 p, const float (*w)[GRID])
{
    float qx = p.x / bsize;
    float qz = p.z / bsize;
    // Only cells 1..97 are sampled. Tested before the truncation so that a
    // point far off the grid (or NaN) never reaches an int conversion it
    // cannot survive; the range is the same as testing the truncated index.
    if (!(qx >= 1.0f && qx < 98.0f && qz >= 1.0f && qz < 98.0f)) return 0.0f;
    int i = (int)qx;
    int j = (int)qz;
    float fx = qx - i;
    float fz = qz - j;

    // Along x first; a and b are kept as floats before the z step.
    float a = (float)(w[i][j] + ((double)w[i + 1][j] - w[i][j]) * fx);
    float b = (float)(w[i][j + 1] + ((double)w[i + 1][j + 1] - w[i][j + 1]) * fx);
    return (float)(a + ((double)b - a) * fz);
}

void generateWorld(TerrainState& terrain)
{
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++)
            terrain.w[i][j] = (float)((platformRand() % 1000) / 1000.0 * 100.0 - 50.0);

    // A low, gentle corner where the rig starts: its nose stands at grid (5, 5).
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 10; j++)
            terrain.w[i][j] = (float)((platformRand() % 1000) / 1000.0 * 3.0);

    loadStartupScript(terrain);
    terrain.init = false;
}

void stepGridKeys(TerrainState& terrain)
{
    // The bounds are tested before the step, so the spacing ends one step
    // beyond them (13.5 and 0.790) and stays there.
    if (keyHeld(VK_ADD)) {
        terrain.addBtn = true;
    } else if (terrain.addBtn) {
        if (bsize < 10.0f) bsize *= 1.5f;
        terrain.addBtn = false;
    }

    if (keyHeld(VK_SUBTRACT)) {
        terrain.subBtn = true;
    } else if (terrain.subBtn) {
        if (bsize > 1.0f) bsize /= 1.5f;
        terrain.subBtn = false;
    }
}
