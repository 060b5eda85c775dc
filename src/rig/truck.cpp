#include "rig/truck.h"

#include "rig/rig_math.h"
#include "terrain/heightmap.h"

namespace {

// Below the water surface a point sinks at a fifth of its fall speed.
void dropPoint(vec3& p, float fall, float dt)
{
    if (p.y < -0.1f)
        p.y -= fall * dt * 0.2f;
    else
        p.y -= fall * dt;
}

// Lifts a wheel point onto the ground; true when it had to be lifted. A point
// exactly at the ground counts as not touching. The clearance is added in
// double and rounded once, as the wheels' drawing does, so a wheel resting
// here is drawn with no suspension travel.
bool liftWheel(vec3& p, const float (*w)[GRID])
{
    float g = (float)(getGround(p, w) + 0.3);
    if (g > p.y) {
        p.y = g;
        return true;
    }
    return false;
}

bool lowestOf(float a, float b, float c, float d)
{
    return a < b && a < c && a < d;
}

// Moves p onto the line from q through m, keeping its distance from m.
void placeInPlane(vec3& p, vec3 q, vec3 m)
{
    p = m + retNrm(q, m) * retDis(m, p);
}

} // namespace

void moveTruck(RigState& rig, const float (*w)[GRID], float dt)
{
    // Slope, after the speed limits of the drive, so a hill can carry the
    // speed past them.
    float s = rig.rpos[1].y;
    if (s > 0.3f) rig.rspd -= dt * (s - 0.3f) * 10.0f;
    if (s < -0.3f) rig.rspd += dt * (-s - 0.3f) * 10.0f;

    // Steering needs a front wheel on the ground in the previous frame.
    vec3 heading = rig.rpos[1];
    if (rig.canturn) heading = retNrm(vec3(), rig.rpos[1] + rig.rpos[2] * rig.rtrn);

    rig.rnos = rig.rnos + heading * rig.rspd * dt;

    // Only the nose is held inside the world; the other points follow it
    // through the fixed lengths. Each coordinate is held on its own, so a
    // truck driven into an edge slides along it.
    float edge = bsize * 99.0f + 5.0f;
    if (rig.rnos.x < -5.0f) rig.rnos.x = -5.0f;
    if (rig.rnos.z < -5.0f) rig.rnos.z = -5.0f;
    if (rig.rnos.x > edge) rig.rnos.x = edge;
    if (rig.rnos.z > edge) rig.rnos.z = edge;

    rig.rrot += rig.rspd * dt;

    // All four axle points fall here, the trailer's too, before its own stage.
    dropPoint(rig.rnos, rig.rafall, dt);
    dropPoint(rig.rpos[0], rig.rbfall, dt);
    dropPoint(rig.vnos[0], rig.vafall, dt);
    dropPoint(rig.vpos[0], rig.vbfall, dt);

    rig.canturn = false;
    rig.candrive = false;
    // The front falls fastest, so a truck in the air tips nose first.
    rig.rafall += 7.0f * dt;
    rig.rbfall += 5.5f * dt;
    rig.vafall += 4.5f * dt;
    rig.vbfall += 4.5f * dt;

    // The rear axle's fall acts only through the direction of the forward axis.
    rig.rpos[1] = retNrm(rig.rpos[0], rig.rnos);
    rig.rpos[2] = retCross(rig.rpos[3], rig.rpos[1]);
    rig.rpos[0] = rig.rnos - rig.rpos[1] * 3.0f;
    rig.rais = rig.rpos[0] - rig.rpos[1] * 1.5f;

    vec3 side = rig.rpos[2];
    vec3 fl = rig.rnos + side * 0.8f;
    vec3 fr = rig.rnos - side * 0.8f;
    vec3 rl = rig.rpos[0] + side * 0.8f;
    vec3 rr = rig.rpos[0] - side * 0.8f;

    // A front touch lets the next frame steer, a rear touch lets it drive.
    if (liftWheel(fl, w)) { rig.canturn = true; rig.rafall = 1.0f; }
    if (liftWheel(fr, w)) { rig.canturn = true; rig.rafall = 1.0f; }
    if (liftWheel(rl, w)) { rig.candrive = true; rig.rbfall = 1.0f; }
    if (liftWheel(rr, w)) { rig.candrive = true; rig.rbfall = 1.0f; }

    // The truck rests on three wheels: the strictly lowest wheel, or rear-right
    // on any tie, goes into the plane of the other three. A wheel over a hole
    // so never drags the truck down.
    if (lowestOf(fl.y, fr.y, rl.y, rr.y))
        placeInPlane(fl, rr, (fr + rl) / 2.0f);
    else if (lowestOf(fr.y, fl.y, rl.y, rr.y))
        placeInPlane(fr, rl, (fl + rr) / 2.0f);
    else if (lowestOf(rl.y, fl.y, fr.y, rr.y))
        placeInPlane(rl, fr, (fl + rr) / 2.0f);
    else
        placeInPlane(rr, fl, (fr + rl) / 2.0f);

    rig.rnos.y = (fl.y + fr.y) / 2.0f;
    rig.rpos[0].y = (rl.y + rr.y) / 2.0f;

    rig.rpos[1] = retNrm(rig.rpos[0], rig.rnos);
    rig.rpos[2] = retNrm((fr + rr) / 2.0f, (fl + rl) / 2.0f);
    rig.rpos[3] = retCross(rig.rpos[1], rig.rpos[2]);
    rig.rpos[0] = rig.rnos - rig.rpos[1] * 3.0f;
    rig.rais = rig.rpos[0] - rig.rpos[1] * 1.5f;
}
