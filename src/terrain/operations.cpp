#include "terrain/operations.h"

#include "frame/keys.h"
#include "terrain/scripts.h"

#include <cmath>

namespace {

constexpr int SPRAY = 200;      // points per application
constexpr double REACH = 15.0;  // spray radius in cells

} // namespace

// Vertices off the grid count as the centre, so the border is not dragged
// toward an imaginary 0. The sum is a float added a outer, b inner, for the
// same rounding every time.
float retBlockMean(const float (*w)[GRID], int i, int j)
{
    float centre = w[i][j];
    float sum = 0.0f;
    for (int a = i - 2; a <= i + 2; a++)
        for (int b = j - 2; b <= j + 2; b++) {
            bool inside = a >= 0 && a < GRID && b >= 0 && b < GRID;
            sum += inside ? w[a][b] : centre;
        }
    return sum / 25.0f;
}

void applyTerrainOperation(float (*w)[GRID], int opnum)
{
    float cx = (float)((platformRand() % 1000) / 10.0);
    float cz = (float)((platformRand() % 1000) / 10.0);

    for (int n = 0; n < SPRAY; n++) {
        double angle = (platformRand() % 10000) / 10000.0 * 6.2831853;
        double radius = (platformRand() % 10000) / 10000.0 * REACH;
        // Truncation toward zero: a point just below 0 still lands on index 0.
        int i = (int)(cx + std::cos(angle) * radius);
        int j = (int)(cz + std::sin(angle) * radius);
        // A point off the grid draws nothing more.
        if (i < 0 || i >= GRID || j < 0 || j >= GRID) continue;

        if (opnum == 9) {
            w[i][j] = retBlockMean(w, i, j);
            continue;
        }
        if (opnum < 0 || opnum > 9) continue;

        double r = (platformRand() % 10000) / 10000.0;
        double h = w[i][j];
        switch (opnum) {
        case 0: h = h + r; break;
        case 1: h = h - r; break;
        case 2: h = h - h * (0.1 * r); break;
        case 3: h = h + 10.0 * r; break;
        case 4: h = h - 10.0 * r; break;
        case 5: h = h - h * (0.5 * r); break;
        case 6: h = h + 50.0 * r; break;
        case 7: h = h - 50.0 * r; break;
        case 8: h = h - h * r; break;
        }
        w[i][j] = (float)h;
    }
}

int readTerrainKeys(TerrainState& terrain, bool dorandom)
{
    // '1'..'7': with Shift a script is loaded and the chain goes on (a later
    // digit may load another over it); without Shift the operation is chosen.
    for (int key = '1'; key <= '7'; key++) {
        if (!keyHeld(key)) continue;
        if (keyHeld(VK_SHIFT))
            loadScript(terrain, key);
        else
            return key - '1';
    }
    // '8' and '9' have no script, so Shift does not matter.
    if (keyHeld('8')) return 7;
    if (keyHeld('9')) return 8;
    if (keyHeld('0')) {
        if (keyHeld(VK_SHIFT))
            loadScript(terrain, '0');
        else
            return 9;
    }
    if (keyHeld(VK_RETURN) || dorandom) return platformRand() % 10;
    return -1;
}
