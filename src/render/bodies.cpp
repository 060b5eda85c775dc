#include "render/bodies.h"

#include "render/wheel.h"
#include "terrain/heightmap.h"

#include <GL/gl.h>

namespace {

// A corner: a station along the forward axis (the anchor with its forward
// term already added), then the side term, then the up term, each added in
// single precision in that order so that corners shared by faces coincide.
// Left of the body is +side; a right-hand corner subtracts the side term.
vec3 retCorner(vec3 station, vec3 s, float ks, vec3 u, float ku)
{
    vec3 p = ks < 0.0f ? station - s * -ks : station + s * ks;
    return p + u * ku;
}

void sendVertex(vec3 p)
{
    glVertex3f(p.x, p.y, p.z);
}

// Light from -x: a face is shaded by the x component of its outward normal.
// The shade is formed in double and kept as a float; each channel is that float
// times the base value, rounded once.
void sendShade(float shade, double r, double g, double b)
{
    glColor3f((float)(shade * r), (float)(shade * g), (float)(shade * b));
}

float retShadeAlong(vec3 a)
{
    return (float)((1.0 + (0.0 - a.x)) * 0.25 + 0.5);
}

float retShadeAgainst(vec3 a)
{
    return (float)((a.x + 1.0) * 0.25 + 0.5);
}

// Suspension offset of one wheel: how far its hub moves along the body's up
// axis to rest on the ground, within a travel of 0.18 either way.
float retSuspension(vec3 p, const float (*w)[GRID])
{
    float g = (float)(getGround(p, w) + 0.3);
    float d = g - p.y;
    if (d < -0.18) d = -0.18f;
    if (d > 0.18) d = 0.18f;
    return d;
}

void drawTruckBody(const RigState& rig)
{
    const vec3 f = rig.rpos[1], s = rig.rpos[2], u = rig.rpos[3];
    const vec3 F = rig.rnos + f * 0.5f;
    const vec3 M = rig.rnos - f * 0.5f;
    const vec3 B = rig.rais - f * 0.2f;

    const float upShade = retShadeAlong(u);
    const float frontShade = retShadeAlong(f);
    const float rearShade = retShadeAgainst(f);
    const float leftShade = retShadeAlong(s);
    const float rightShade = retShadeAgainst(s);

    glBegin(GL_QUADS);

    glColor3f(0.4f, 0.4f, 0.4f);
    sendVertex(retCorner(F, s, 0.8f, u, 0.2f));
    sendVertex(retCorner(F, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(B, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(B, s, 0.8f, u, 0.2f));

    sendShade(upShade, 0.2, 0.7, 0.9);
    sendVertex(retCorner(M, s, 0.8f, u, 1.7f));
    sendVertex(retCorner(M, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(B, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(B, s, 0.8f, u, 1.7f));

    sendShade(frontShade, 0.2, 0.8, 0.8);
    sendVertex(retCorner(M, s, 0.8f, u, 1.4f));
    sendVertex(retCorner(M, s, -0.8f, u, 1.4f));
    sendVertex(retCorner(M, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(M, s, 0.8f, u, 1.7f));

    sendShade(upShade, 0.5, 0.5, 0.7);
    sendVertex(retCorner(M, s, -0.8f, u, 1.4f));
    sendVertex(retCorner(M, s, 0.8f, u, 1.4f));
    sendVertex(retCorner(F, s, 0.8f, u, 1.4f));
    sendVertex(retCorner(F, s, -0.8f, u, 1.4f));

    sendShade(frontShade, 0.2, 0.3, 0.5);
    sendVertex(retCorner(F, s, 0.8f, u, 1.4f));
    sendVertex(retCorner(F, s, -0.8f, u, 1.4f));
    sendVertex(retCorner(F, s, -0.8f, u, 0.9f));
    sendVertex(retCorner(F, s, 0.8f, u, 0.9f));

    sendShade(frontShade, 0.5, 0.5, 0.7);
    sendVertex(retCorner(F, s, 0.8f, u, 0.2f));
    sendVertex(retCorner(F, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(F, s, -0.8f, u, 0.9f));
    sendVertex(retCorner(F, s, 0.8f, u, 0.9f));

    sendShade(rearShade, 0.2, 0.8, 0.8);
    sendVertex(retCorner(B, s, 0.8f, u, 0.2f));
    sendVertex(retCorner(B, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(B, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(B, s, 0.8f, u, 1.7f));

    // Left side, then right: box, window, panel below the window.
    const float sideShade[2] = {leftShade, rightShade};
    const float sideAt[2] = {0.8f, -0.8f};
    for (int k = 0; k < 2; k++) {
        const float sk = sideAt[k];
        sendShade(sideShade[k], 0.2, 0.8, 0.8);
        sendVertex(retCorner(M, s, sk, u, 0.2f));
        sendVertex(retCorner(B, s, sk, u, 0.2f));
        sendVertex(retCorner(B, s, sk, u, 1.7f));
        sendVertex(retCorner(M, s, sk, u, 1.7f));

        sendShade(sideShade[k], 0.2, 0.3, 0.5);
        sendVertex(retCorner(M, s, sk, u, 0.9f));
        sendVertex(retCorner(F, s, sk, u, 0.9f));
        sendVertex(retCorner(F, s, sk, u, 1.4f));
        sendVertex(retCorner(M, s, sk, u, 1.4f));

        sendShade(sideShade[k], 0.5, 0.5, 0.7);
        sendVertex(retCorner(M, s, sk, u, 0.9f));
        sendVertex(retCorner(F, s, sk, u, 0.9f));
        sendVertex(retCorner(F, s, sk, u, 0.2f));
        sendVertex(retCorner(M, s, sk, u, 0.2f));
    }

    glEnd();
}

void drawTruckWheels(const RigState& rig, const float (*w)[GRID])
{
    const vec3 f = rig.rpos[1], s = rig.rpos[2], u = rig.rpos[3];
    const vec3 h = retNrm(vec3(0, 0, 0), f + s * rig.rtrn);
    // Steered axle u x h, each component in double so the wheel's width axis
    // stays as square to its plane as the frame allows.
    const vec3 k((float)((double)h.z * u.y - (double)h.y * u.z),
                 (float)((double)h.x * u.z - (double)h.z * u.x),
                 (float)((double)h.y * u.x - (double)h.x * u.y));

    const vec3 p1 = rig.rnos + s * 0.8f;
    const vec3 p2 = rig.rnos - s * 0.8f;
    const vec3 p3 = rig.rpos[0] - s * 0.8f;
    const vec3 p4 = rig.rpos[0] + s * 0.8f;
    const float d1 = retSuspension(p1, w);
    const float d2 = retSuspension(p2, w);
    const float d3 = retSuspension(p3, w);
    const float d4 = retSuspension(p4, w);

    glBegin(GL_QUADS);
    // The front hubs stay on the unsteered axle; only the wheels turn.
    drawWheel(h, k, u, p1 + u * d1, rig.rrot);
    drawWheel(h, k, u, p2 + u * d2, rig.rrot);
    drawWheel(f, s, u, p3 + u * d3, rig.rrot);
    drawWheel(f, s, u, p4 + u * d4, rig.rrot);
    glEnd();
}

void drawTrailerBody(const RigState& rig)
{
    const vec3 f = rig.vpos[1], s = rig.vpos[2], u = rig.vpos[3];
    // The box reaches half a unit past both axles; its front corners hang on
    // the front axle point but follow the body's own frame, not the drawbar's.
    const vec3 TF = rig.vnos[0] + f * 0.5f;
    const vec3 TB = rig.vpos[0] - f * 0.5f;

    glBegin(GL_QUADS);

    glColor3f(0.4f, 0.4f, 0.4f);
    sendVertex(retCorner(TF, s, 0.8f, u, 0.2f));
    sendVertex(retCorner(TF, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(TB, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(TB, s, 0.8f, u, 0.2f));

    sendShade(retShadeAlong(u), 0.7, 0.9, 0.2);
    sendVertex(retCorner(TF, s, 0.8f, u, 1.7f));
    sendVertex(retCorner(TF, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(TB, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(TB, s, 0.8f, u, 1.7f));

    sendShade(retShadeAlong(f), 0.7, 0.8, 0.2);
    sendVertex(retCorner(TF, s, 0.8f, u, 1.7f));
    sendVertex(retCorner(TF, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(TF, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(TF, s, 0.8f, u, 0.2f));

    sendShade(retShadeAgainst(f), 0.7, 0.8, 0.2);
    sendVertex(retCorner(TB, s, 0.8f, u, 0.2f));
    sendVertex(retCorner(TB, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(TB, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(TB, s, 0.8f, u, 1.7f));

    sendShade(retShadeAlong(s), 0.7, 0.8, 0.2);
    sendVertex(retCorner(TB, s, 0.8f, u, 0.2f));
    sendVertex(retCorner(TF, s, 0.8f, u, 0.2f));
    sendVertex(retCorner(TF, s, 0.8f, u, 1.7f));
    sendVertex(retCorner(TB, s, 0.8f, u, 1.7f));

    sendShade(retShadeAgainst(s), 0.7, 0.8, 0.2);
    sendVertex(retCorner(TB, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(TF, s, -0.8f, u, 0.2f));
    sendVertex(retCorner(TF, s, -0.8f, u, 1.7f));
    sendVertex(retCorner(TB, s, -0.8f, u, 1.7f));

    glEnd();
}

void drawDrawbarAndTrailerWheels(const RigState& rig, const float (*w)[GRID])
{
    const vec3 u = rig.rpos[3];
    const vec3 a = rig.vnos[0], fa = rig.vnos[1], sa = rig.vnos[2], ua = rig.vnos[3];
    const vec3 b = rig.vpos[0], fb = rig.vpos[1], sb = rig.vpos[2], ub = rig.vpos[3];

    glBegin(GL_QUADS);

    // The hitch end takes its height from the truck, so the bar meets the
    // truck's hitch whatever the drawbar's own tilt.
    glColor3f(0.3f, 0.3f, 0.4f);
    sendVertex((a + sa * 0.5f) + ua * 0.2f);
    sendVertex((a - sa * 0.5f) + ua * 0.2f);
    sendVertex((rig.rais - sa * 0.05f) + u * 0.2f);
    sendVertex((rig.rais + sa * 0.05f) + u * 0.2f);

    sendVertex(a + ua * 0.2f);
    sendVertex(a + ua * 0.1f);
    sendVertex(rig.rais + u * 0.15f);
    sendVertex(rig.rais + u * 0.2f);

    const vec3 p5 = a + sa * 0.8f;
    const vec3 p6 = a - sa * 0.8f;
    const vec3 p7 = b - sb * 0.8f;
    const vec3 p8 = b + sb * 0.8f;
    const float d5 = retSuspension(p5, w);
    const float d6 = retSuspension(p6, w);
    const float d7 = retSuspension(p7, w);
    const float d8 = retSuspension(p8, w);

    drawWheel(fa, sa, ua, p5 + ua * d5, rig.vrot);
    drawWheel(fa, sa, ua, p6 + ua * d6, rig.vrot);
    drawWheel(fb, sb, ub, p7 + ub * d7, rig.vrot);
    drawWheel(fb, sb, ub, p8 + ub * d8, rig.vrot);

    glEnd();
}

} // namespace

void drawRig(const RigState& rig, const float (*w)[GRID])
{
    drawTruckBody(rig);
    drawTruckWheels(rig, w);
    drawTrailerBody(rig);
    drawDrawbarAndTrailerWheels(rig, w);
}
