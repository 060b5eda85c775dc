#include "camera/camera.h"

#include "frame/keys.h"
#include "terrain/heightmap.h"

#include <GL/glu.h>


namespace {

// The view changes on release, once per press.
void stepViewKey(CameraState& camera)
{
    if (keyHeld('V')) {
        camera.vBtn = true;
    } else if (camera.vBtn) {
        // The bound is tested before the step, so that no view, however it
        // was set, steps past the largest int.
        camera.view = camera.view >= 9 ? 0 : camera.view + 1;
        camera.vBtn = false;
    }
}

} // namespace

void placeCamera(CameraState& camera, const RigState& rig, const float (*w)[GRID])
{
    stepViewKey(camera);

    const vec3 worldUp(0, 1, 0);
    const vec3& rnos = rig.rnos;
    const positions& rpos = rig.rpos;
    const positions& vpos = rig.vpos;
    vec3& eye = camera.tra;
    vec3 target = rnos;
    vec3 up = worldUp;

    switch (camera.view) {
    case 0: { // leash on the nose, never lower than 20
        vec3 n = retNrm(eye, rnos);
        eye = rnos - n * 30.0f;
        if (eye.y < 20.0f) eye.y = 20.0f;
        break;
    }
    case 1: // cab
        eye = rnos + rpos[3] * 1.9f - rpos[1] * 0.5f;
        target = eye + rpos[1];
        up = rpos[3];
        break;
    case 2: // beside the cab
        eye = rnos + rpos[2] * 1.2f - rpos[1] * 2.0f + rpos[3] * 0.5f;
        target = eye + rpos[1];
        up = rpos[3];
        break;
    case 3: // looking back at the trailer
        eye = rnos + rpos[3] * 2.3f - rpos[1] * 2.0f;
        target = vpos[0] + vpos[3] * 1.5f;
        up = rpos[3];
        break;
    case 4: { // roadside: stays put until the truck is well past it
        vec3 d = eye - rnos;
        float ahead = d.x * rpos[1].x + d.y * rpos[1].y + d.z * rpos[1].z;
        if (ahead < -25.0f) {
            // Drawn Z first, then Y, then X.
            float z = (float)(platformRand() % 31 - 15);
            float y = (float)(platformRand() % 15);
            float x = (float)(platformRand() % 31 - 15);
            eye = rnos + rpos[1] * 25.0f + vec3(x, y, z);
            if (eye.y < 1.0f) eye.y = 1.0f;
        }
        break;
    }
    case 5: // overhead
        eye = vpos[0] + vec3(0, 40, 0);
        target = rpos[0];
        break;
    case 6: // behind the rig
        eye = vpos[0] + vec3(0, 3, 0);
        break;
    case 7: // side-on
        eye = rpos[0] + rpos[2] * 10.0f + vec3(0, 3, 0);
        target = rpos[0];
        break;
    case 8: { // follower on foot: keeps within 10..30 of the nose
        // One distance decides, so at most one correction applies.
        float d = retDis(eye, rnos);
        vec3 n = retNrm(eye, rnos);
        if (d > 30.0f) eye = rnos - n * 30.0f;
        if (d < 10.0f) eye = rnos - n * 10.0f;
        eye.y = getGround(eye, w) + 1.3f;
        break;
    }
    case 9: { // high and far
        vec3 n = retNrm(eye, rpos[0]);
        eye = rpos[0] - n * 150.0f;
        eye.y = 150.0f;
        target = rpos[0];
        break;
    }
    default:
        break;
    }

    float g = getGround(eye, w) + 0.3f;
    if (g > eye.y) eye.y = g;

    gluLookAt((double)eye.x, (double)eye.y, (double)eye.z, (double)target.x, (double)target.y,
              (double)target.z, (double)up.x, (double)up.y, (double)up.z);
}
