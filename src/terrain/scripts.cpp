#include "terrain/scripts.h"

#include "platform/platform.h"

#include <climits>

namespace {

constexpr int SMOOTH = 11;    // step code: smoothing in this frame's pass
constexpr int RANDOMOP = 10;  // step code: a random terrain operation
constexpr int ENDMARK = -1;   // step code: the script ends here
constexpr int STEPS = 10;     // room in pro / pam

void setStep(TerrainState& terrain, int k, int code, int length)
{
    terrain.pro[k] = code;
    terrain.pam[k] = length;
}

// Any code 0..11: an operation, a random operation or smoothing.
int retRandomCode()
{
    return platformRand() % 12;
}

int retRandomLength()
{
    return platformRand() % 100 + 5;
}

} // namespace

void loadStartupScript(TerrainState& terrain)
{
    for (int k = 0; k < STEPS; k++) setStep(terrain, k, 0, 0);
    terrain.ptime = -1;

    // Relax the raw random heights, raise them a little, relax again.
    setStep(terrain, 0, SMOOTH, 250);
    setStep(terrain, 1, 3, 15);
    setStep(terrain, 2, SMOOTH, 50);
    terrain.pro[3] = ENDMARK;
    terrain.ptime = 0;
    terrain.ptim2 = 0;
}

void loadScript(TerrainState& terrain, int digit)
{
    // Callers pass the digit key ('0'..'9'); its value (0..9) is taken as well.
    int n = digit >= '0' && digit <= '9' ? digit - '0' : digit;

    // Each load writes only its own steps and end marker: entries beyond the
    // end are never played, so they are left as they were.
    switch (n) {
    case 1:
        setStep(terrain, 0, 6, 50);
        setStep(terrain, 1, SMOOTH, 200);
        setStep(terrain, 2, 6, 100);
        setStep(terrain, 3, SMOOTH, 200);
        setStep(terrain, 4, 6, 50);
        setStep(terrain, 5, SMOOTH, 400);
        terrain.pro[6] = ENDMARK;
        break;
    case 2:
        setStep(terrain, 0, RANDOMOP, 50);
        setStep(terrain, 1, SMOOTH, 100);
        setStep(terrain, 2, RANDOMOP, 50);
        setStep(terrain, 3, SMOOTH, 100);
        setStep(terrain, 4, 8, 100);
        setStep(terrain, 5, SMOOTH, 300);
        terrain.pro[6] = ENDMARK;
        break;
    case 3:
    case 4:
        // Code before length, step by step: the draw order is part of the script.
        for (int k = 0; k < 3; k++) {
            terrain.pro[k] = retRandomCode();
            terrain.pam[k] = retRandomLength();
        }
        terrain.pro[3] = SMOOTH;
        terrain.pam[3] = n == 3 ? retRandomLength() : 500;
        terrain.pro[4] = ENDMARK;
        break;
    case 5:
        for (int k = 0; k < STEPS; k++) {
            terrain.pro[k] = retRandomCode();
            terrain.pam[k] = retRandomLength();
        }
        // The last step is always a long smoothing; its first draws are discarded.
        terrain.pro[9] = SMOOTH;
        terrain.pam[9] = platformRand() % 400 + 25;
        break;
    case 6:
        setStep(terrain, 0, SMOOTH, platformRand() % 475 + 25);
        terrain.pro[1] = ENDMARK;
        break;
    case 7:
        setStep(terrain, 0, 8, 100);
        setStep(terrain, 1, SMOOTH, 100);
        setStep(terrain, 2, 8, 100);
        setStep(terrain, 3, SMOOTH, 100);
        setStep(terrain, 4, 0, 200);
        setStep(terrain, 5, SMOOTH, 100);
        setStep(terrain, 6, 3, 1);
        setStep(terrain, 7, SMOOTH, 25);
        terrain.pro[8] = ENDMARK;
        break;
    case 0:
        // Stops the running script: its first step is the end.
        terrain.pro[0] = ENDMARK;
        break;
    default:
        // '8' and '9' have no script.
        return;
    }
    terrain.ptime = 0;
    terrain.ptim2 = 0;
}

bool stepScript(TerrainState& terrain, int& opnum, bool& dorandom, bool& dosmooth)
{
    if (terrain.ptime < 0) return false;
    // The index is tested before the table so that index 10 is never read.
    if (terrain.ptime >= STEPS || terrain.pro[terrain.ptime] == ENDMARK) {
        terrain.ptime = -1;
        return false;
    }
    // A step of length n acts on n + 1 frames, then spends one frame advancing.
    // A count that has reached the largest int is done whatever the length,
    // rather than stepping past it.
    if (terrain.ptim2 > terrain.pam[terrain.ptime] || terrain.ptim2 == INT_MAX) {
        terrain.ptime += 1;
        terrain.ptim2 = 0;
        return false;
    }
    terrain.ptim2 += 1;

    int code = terrain.pro[terrain.ptime];
    if (code >= 0 && code <= 9) {
        opnum = code;
        return true;
    }
    if (code == RANDOMOP) dorandom = true;
    if (code == SMOOTH) dosmooth = true;
    return false;
}
