#include "rig/trailer.h"

#include "rig/rig_math.h"
#include "terrain/heightmap.h"

namespace {

// Keeps p at least dist from x, moving it along the line from x through it.
bool keepClear(vec3& p, vec3 x, float dist)
{
    if (retDis(x, p) < dist) {
        p = x - retNrm(p, x) * dist;
        return true;
    }
    return false;
}

// One trailer axle on the ground. The forward axis is left as the drawbar or
// body set it; only heights, side and up change.
void settleAxle(positions& f, float& fall, const float (*w)[GRID])
{
    f[2] = retCross(f[3], f[1]);
    vec3 left = f[0] + f[2] * 0.8f;
    vec3 right = f[0] - f[2] * 0.8f;

    // The clearance in double, rounded once, as for the truck's wheels.
    float g = (float)(getGround(left, w) + 0.3);
    if (g > left.y) {
        left.y = g;
        fall = 1.0f;
    }
    g = (float)(getGround(right, w) + 0.3);
    if (g > right.y) {
        right.y = g;
        fall = 1.0f;
    }

    f[0].y = (left.y + right.y) / 2.0f;
    f[2] = retNrm(right, left);
    f[3] = retCross(f[1], f[2]);
}

} // namespace

void coupleTrailer(RigState& rig, const float (*w)[GRID], float dt, bool bumped[5])
{
    // The wheels turn only by what this stage moves the rear axle; the fall and
    // the reset have already happened.
    vec3 o = rig.vpos[0];
    vec3 f = rig.vpos[1];

    vec3 t = (rig.rnos + rig.rpos[0]) / 2.0f;
    bool fired[5];
    fired[0] = keepClear(rig.vnos[0], t, 2.3f);
    fired[1] = keepClear(rig.vpos[0], t, 1.7f);
    fired[2] = keepClear(rig.vpos[0], rig.rnos, 1.7f);
    fired[3] = keepClear(rig.vpos[0], rig.rpos[0], 1.7f);

    // A trailer folded onto the hitch is shifted whole, without turning.
    vec3 u = (rig.vnos[0] + rig.vpos[0]) / 2.0f;
    fired[4] = false;
    if (retDis(u, rig.rais) < 1.3f) {
        vec3 k = rig.rais + retNrm(rig.rais, u) * 1.3f;
        vec3 n = retNrm(u, rig.vnos[0]);
        rig.vnos[0] = k + n * 1.5f;
        rig.vpos[0] = k - n * 1.5f;
        fired[4] = true;
    }

    // The trailer pushes back on the truck only through its speed, and only
    // while the truck's driven wheels grip.
    for (int i = 0; i < 5; i++) {
        if (!fired[i]) continue;
        bumped[i] = true;
        if (rig.candrive) rig.rspd -= rig.rspd * dt * 2.5f;
    }

    rig.vnos[1] = retNrm(rig.vnos[0], rig.rais);
    rig.vnos[0] = rig.rais - rig.vnos[1] * 2.0f;
    rig.vpos[1] = retNrm(rig.vpos[0], rig.vnos[0]);
    rig.vpos[0] = rig.vnos[0] - rig.vpos[1] * 3.0f;

    settleAxle(rig.vnos, rig.vafall, w);
    settleAxle(rig.vpos, rig.vbfall, w);

    rig.vrot += retDot(rig.vpos[0] - o, f);
}
