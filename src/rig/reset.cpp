#include "rig/reset.h"

#include "frame/keys.h"

// Level-triggered: while numpad 0 is held the trailer is put back in line at
// the start of every frame, whatever the motion stages then do.
void resetRig(RigState& rig)
{
    if (!keyHeld(VK_NUMPAD0)) return;

    vec3 f = rig.rpos[1];
    rig.rpos[0] = rig.rnos - f * 3.0f;
    rig.rais = rig.rpos[0] - f * 1.5f;
    rig.vnos[0] = rig.rais - f * 2.0f;
    rig.vpos[0] = rig.vnos[0] - f * 3.0f;

    // The motion stages build each side axis as up x forward, so upright up
    // axes give horizontal side axes this very frame: an overturned rig lands
    // on its wheels again.
    rig.rpos[3] = vec3(0, 1, 0);
    rig.vnos[3] = vec3(0, 1, 0);
    rig.vpos[3] = vec3(0, 1, 0);
}
