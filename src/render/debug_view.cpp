#include "render/debug_view.h"

#include <GL/gl.h>

namespace {

void sendVertex(vec3 p)
{
    glVertex3f(p.x, p.y, p.z);
}

// Flat squares lie in world x-z whatever the rig's tilt, so a marker reads the
// same from any view. Corners are formed in double and rounded once as sent.
void sendSquareA(vec3 p, double r)
{
    glVertex3f((float)(p.x + r), p.y, (float)(p.z + r));
    glVertex3f((float)(p.x - r), p.y, (float)(p.z + r));
    glVertex3f((float)(p.x - r), p.y, (float)(p.z - r));
    glVertex3f((float)(p.x + r), p.y, (float)(p.z - r));
}

// The other winding, at a height of the caller's choosing: the red markers are
// lifted so that they show above the white and yellow ones at the same point.
void sendSquareB(vec3 p, float y, double r)
{
    glVertex3f((float)(p.x + r), y, (float)(p.z - r));
    glVertex3f((float)(p.x - r), y, (float)(p.z - r));
    glVertex3f((float)(p.x - r), y, (float)(p.z + r));
    glVertex3f((float)(p.x + r), y, (float)(p.z + r));
}

void sendRedMarker(vec3 p)
{
    sendSquareB(p, (float)(p.y + 0.1), 0.3);
}

// A flat triangle at a wheel's nominal centre: 0.4 long along the wheel's
// heading, its tip 0.2 beyond the centre on the outer side.
void sendWheelMarker(vec3 axle, vec3 side, bool left, vec3 heading)
{
    const vec3 centre = left ? axle + side * 0.8f : axle - side * 0.8f;
    sendVertex(centre + heading * 0.2f);
    sendVertex(left ? axle + side : axle - side);
    sendVertex(centre - heading * 0.2f);
}

void sendHeading(vec3 p, vec3 f, vec3 s, vec3 u)
{
    const vec3 top = p + u * 1.2f;
    sendVertex(top + f * 0.3f);
    sendVertex(top + s * 0.1f);
    sendVertex(top - s * 0.1f);
}

vec3 retTruckCentre(const RigState& rig)
{
    return (rig.rnos + rig.rpos[0]) / 2.0f;
}

vec3 retTrailerCentre(const RigState& rig)
{
    return (rig.vnos[0] + rig.vpos[0]) / 2.0f;
}

} // namespace

void drawRigDebug(const RigState& rig, const bool bumped[5])
{
    const vec3 f = rig.rpos[1], s = rig.rpos[2], u = rig.rpos[3];
    const vec3 h = retNrm(vec3(0, 0, 0), f + s * rig.rtrn);

    glBegin(GL_QUADS);
    glColor3f(1.0f, 1.0f, 1.0f);
    sendSquareA(rig.rnos, 0.2);
    sendSquareA(rig.rpos[0], 0.2);
    sendSquareA(rig.rais, 0.1);
    glColor3f(1.0f, 1.0f, 0.0f);
    const vec3 t = retTruckCentre(rig);
    sendSquareB(t, t.y, 0.1);
    glEnd();

    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 1.0f, 1.0f);
    // The front markers follow the steering; the rear ones the body.
    sendWheelMarker(rig.rnos, s, true, h);
    sendWheelMarker(rig.rnos, s, false, h);
    sendWheelMarker(rig.rpos[0], s, true, f);
    sendWheelMarker(rig.rpos[0], s, false, f);
    glColor3f(1.0f, 0.5f, 0.5f);
    sendHeading(rig.rnos, f, s, u);
    glEnd();

    glBegin(GL_QUADS);
    glColor3f(1.0f, 1.0f, 1.0f);
    sendSquareA(rig.vnos[0], 0.2);
    sendSquareA(rig.vpos[0], 0.2);
    glColor3f(1.0f, 1.0f, 0.0f);
    const vec3 c = retTrailerCentre(rig);
    sendSquareB(c, c.y, 0.1);
    glEnd();

    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 1.0f, 1.0f);
    sendWheelMarker(rig.vnos[0], rig.vnos[2], true, rig.vnos[1]);
    sendWheelMarker(rig.vnos[0], rig.vnos[2], false, rig.vnos[1]);
    sendWheelMarker(rig.vpos[0], rig.vpos[2], true, rig.vpos[1]);
    sendWheelMarker(rig.vpos[0], rig.vpos[2], false, rig.vpos[1]);
    glColor3f(1.0f, 0.5f, 0.5f);
    sendHeading(rig.vnos[0], rig.vnos[1], rig.vnos[2], rig.vnos[3]);
    sendHeading(rig.vpos[0], rig.vpos[1], rig.vpos[2], rig.vpos[3]);
    glEnd();

    // Each pair shows the two points a separation rule pushed apart.
    glBegin(GL_QUADS);
    glColor3f(1.0f, 0.0f, 0.0f);
    if (bumped[0]) {
        sendRedMarker(retTruckCentre(rig));
        sendRedMarker(rig.vnos[0]);
    }
    if (bumped[1]) {
        sendRedMarker(retTruckCentre(rig));
        sendRedMarker(rig.vpos[0]);
    }
    if (bumped[2]) {
        sendRedMarker(rig.rnos);
        sendRedMarker(rig.vpos[0]);
    }
    if (bumped[3]) {
        sendRedMarker(rig.rpos[0]);
        sendRedMarker(rig.vpos[0]);
    }
    if (bumped[4]) {
        sendRedMarker(rig.rais);
        sendRedMarker(retTrailerCentre(rig));
    }
    glEnd();
}
