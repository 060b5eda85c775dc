#include "rig/drive.h"

#include "frame/keys.h"


void driveRig(RigState& rig, float dt)
{
    // Autopilot. Each draw is made only when the one before it missed, so the
    // number of platformRand() calls per frame depends on the outcome.
    if (rig.timeout > 0.0f) {
        rig.timeout -= dt;
        rig.aimind = 0;
    } else if (platformRand() % 100 == 1) {
        rig.aimind = 1;
    } else if (platformRand() % 300 == 1) {
        rig.aimind = platformRand() % 4; // never backwards
    } else if (platformRand() % 600 == 1) {
        rig.aimind = platformRand() % 7;
    }

    bool left = keyHeld(VK_LEFT);
    bool right = keyHeld(VK_RIGHT);
    bool up = keyHeld(VK_UP);
    bool down = keyHeld(VK_DOWN);

    // After the pick, so this frame's pick still acts alongside the key.
    if (left || right || up || down) rig.timeout = 15.0f;

    int a = rig.aimind;

    if (left || a == 3 || a == 6) rig.rtrn += dt;
    if (rig.rtrn > 0.5f) rig.rtrn = 0.5f;
    if (right || a == 2 || a == 5) rig.rtrn -= dt;
    if (rig.rtrn < -0.5f) rig.rtrn = -0.5f;
    rig.rtrn -= rig.rtrn * dt;

    // The limits belong to the drive: with the rear wheels in the air neither
    // the pedals nor the clamps act.
    if (rig.candrive) {
        if (up || a == 1 || a == 2 || a == 3) rig.rspd += dt * 10.0f;
        if (rig.rspd > 30.0f) rig.rspd = 30.0f;
        if (down || a == 4 || a == 5 || a == 6) rig.rspd -= dt * 10.0f;
        if (rig.rspd < -7.0f) rig.rspd = -7.0f;
    }

    rig.rspd -= rig.rspd * dt * 0.5f;
}
