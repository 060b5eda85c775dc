#include "render/wheel.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// One eighth of a turn and its multiples, each kept as its own constant; the
// half turn is deliberately this value, not the double nearest pi.
constexpr double angQ1 = 0.7853981625;
constexpr double angQ2 = 1.570796325;
constexpr double angQ3 = 2.3561944875;
constexpr double angQ4 = 3.14159265;

constexpr double halfWidth = 0.05;

// Rim point at angle a: zero lies on the up axis, growing angles turn towards
// fwd. The angle arrives in double; sine and cosine are rounded to float before
// they scale the axes, so the rim is built in the rig's own precision.
vec3 retRim(vec3 fwd, vec3 up, vec3 hub, double a)
{
    vec3 sterm = (fwd * (float)std::sin(a)) * 0.3f;
    vec3 cterm = (up * (float)std::cos(a)) * 0.3f;
    return (hub + cterm) + sterm;
}

// The two faces' vertices of a rim point: the width offset is added in double
// and rounded only once, as the vertex is sent.
void sendPlus(vec3 r, vec3 side)
{
    glVertex3f((float)(r.x + side.x * halfWidth), (float)(r.y + side.y * halfWidth),
               (float)(r.z + side.z * halfWidth));
}

void sendMinus(vec3 r, vec3 side)
{
    glVertex3f((float)(r.x - side.x * halfWidth), (float)(r.y - side.y * halfWidth),
               (float)(r.z - side.z * halfWidth));
}

void sendGrey(float g)
{
    glColor3f(g, g, g);
}

// Both side faces' parts over four slots: the plus face first, then the minus.
void sendSides(vec3 a, vec3 b, vec3 c, vec3 d, vec3 side)
{
    sendPlus(a, side);
    sendPlus(b, side);
    sendPlus(c, side);
    sendPlus(d, side);
    sendMinus(a, side);
    sendMinus(b, side);
    sendMinus(c, side);
    sendMinus(d, side);
}

// Tread segment between rim points a and b, starting on the minus face at a.
void sendTread(vec3 a, vec3 b, vec3 side)
{
    sendMinus(a, side);
    sendMinus(b, side);
    sendPlus(b, side);
    sendPlus(a, side);
}

} // namespace

void drawWheel(vec3 fwd, vec3 side, vec3 up, vec3 hub, float rot)
{
    const double a = rot;
    // Four slots: the octagon is covered in three passes, each keeping two of
    // the previous pass's rim points and refilling the other two.
    vec3 r0 = retRim(fwd, up, hub, a);
    vec3 r1 = retRim(fwd, up, hub, a + angQ1);
    vec3 r2 = retRim(fwd, up, hub, a + angQ2);
    vec3 r3 = retRim(fwd, up, hub, a + angQ3);

    sendGrey(0.2f);
    sendSides(r0, r1, r2, r3, side);
    sendGrey(0.25f);
    sendTread(r0, r1, side);
    sendTread(r2, r3, side);
    // The middle segment alone starts on the plus face.
    sendPlus(r1, side);
    sendPlus(r2, side);
    sendMinus(r2, side);
    sendMinus(r1, side);

    r1 = retRim(fwd, up, hub, a - angQ1);
    r2 = retRim(fwd, up, hub, a + angQ4);

    sendGrey(0.2f);
    sendSides(r0, r1, r2, r3, side);
    sendGrey(0.3f);
    sendTread(r0, r1, side);
    sendTread(r2, r3, side);

    r0 = retRim(fwd, up, hub, a - angQ2);
    r3 = retRim(fwd, up, hub, a - angQ3);

    sendGrey(0.2f);
    sendSides(r0, r1, r2, r3, side);
    sendGrey(0.35f);
    sendTread(r0, r1, side);
    sendTread(r0, r3, side);
    sendTread(r2, r3, side);
}
