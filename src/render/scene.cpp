#include "render/scene.h"

#include "frame/keys.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace {

const vec3 skyBlue(0.5f, 0.8f, 1.0f);
const vec3 waterColour(0.2f, 0.4f, 0.8f);
constexpr float waterAlpha = 0.7f;
constexpr float waterLevel = -0.1f; // just below the height the terrain settles to
constexpr int WATER = 11;           // water vertices along each side

float retRandomComponent()
{
    return (float)(platformRand() % 10000) / 10000.0f;
}

// The cycle sky blue -> black -> white -> sky blue, read from red alone so that
// a random sky joins it wherever its red component puts it.
vec3 retNextSky(vec3 clearcol)
{
    // Truncated toward zero in float: a red set from outside 0..1, or NaN, has
    // no int to convert to, and joins the cycle at sky blue.
    float k = std::trunc(clearcol.x * 10.0f);
    if (k == 5.0f) return vec3(0, 0, 0);
    if (k == 0.0f) return vec3(1, 1, 1);
    return skyBlue;
}

} // namespace

void stepSkyKeys(SkyState& sky, float dt)
{
    bool r = keyHeld('R');
    if (r && keyHeld(VK_SHIFT)) {
        if (sky.btntime > 0.2f) {
            sky.btntime = 0.0f;
            sky.clearcol = retNextSky(sky.clearcol);
        } else {
            sky.btntime += dt;
        }
    } else if (r) {
        // Blue is drawn first and red last.
        float b = retRandomComponent();
        float g = retRandomComponent();
        float red = retRandomComponent();
        sky.clearcol = vec3(red, g, b);
    } else {
        // Released: the next Shift + R steps at once.
        sky.btntime = 1.0f;
    }
}

void setFixedProjection()
{
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, (double)(4.0f / 3.0f), 0.25, 250.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void setClearColour(const SkyState& sky)
{
    glClearColor(sky.clearcol.x, sky.clearcol.y, sky.clearcol.z, 0.0f);
}

void drawTerrain(const TerrainState& terrain)
{
    const float (*w)[GRID] = terrain.w;
    const vec3 (*c)[GRID] = terrain.c;
    const float size = bsize;

    glBegin(GL_QUADS);
    for (int i = 0; i < GRID - 1; i++) {
        const float x0 = (float)i * size;
        const float x1 = (float)(i + 1) * size;
        for (int j = 0; j < GRID - 1; j++) {
            const float z0 = (float)j * size;
            const float z1 = (float)(j + 1) * size;
            const vec3& c00 = c[i][j];
            const vec3& c10 = c[i + 1][j];
            const vec3& c11 = c[i + 1][j + 1];
            const vec3& c01 = c[i][j + 1];
            glColor3f(c00.x, c00.y, c00.z);
            glVertex3f(x0, w[i][j], z0);
            glColor3f(c10.x, c10.y, c10.z);
            glVertex3f(x1, w[i + 1][j], z0);
            glColor3f(c11.x, c11.y, c11.z);
            glVertex3f(x1, w[i + 1][j + 1], z1);
            glColor3f(c01.x, c01.y, c01.z);
            glVertex3f(x0, w[i][j + 1], z1);
        }
    }
    glEnd();
}

void drawWater(vec3 tra, vec3 clearcol)
{
    // Source colour as the destination factor: the water tints and brightens
    // what lies under it instead of covering it.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_SRC_COLOR);

    // Hazed only at its vertices; the quads interpolate between them. Kept
    // apart from the colour map so the terrain's colours survive the frame.
    vec3 col[WATER][WATER];
    const vec3 fade = clearcol - waterColour;
    for (int i = 0; i < WATER; i++) {
        for (int j = 0; j < WATER; j++) {
            vec3 p((float)i * bsize * 10.0f, waterLevel, (float)j * bsize * 10.0f);
            float d = retDis(tra, p);
            float f;
            if (d > 200.0f)
                f = 0.0f;
            else if (d > 40.0f)
                f = (float)(1.0 - ((double)d - 40.0) / 160.0);
            else
                f = 1.0f;
            float g = 1.0f - f;
            col[i][j] = waterColour + fade * g;
        }
    }

    const float s = bsize * 10.0f;
    glBegin(GL_QUADS);
    for (int i = 0; i < WATER - 1; i++) {
        for (int j = 0; j < WATER - 1; j++) {
            const float x0 = (float)i * s;
            const float z0 = (float)j * s;
            const vec3& c00 = col[i][j];
            const vec3& c10 = col[i + 1][j];
            const vec3& c11 = col[i + 1][j + 1];
            const vec3& c01 = col[i][j + 1];
            glColor4f(c00.x, c00.y, c00.z, waterAlpha);
            glVertex3f(x0, waterLevel, z0);
            glColor4f(c10.x, c10.y, c10.z, waterAlpha);
            glVertex3f(x0 + s, waterLevel, z0);
            glColor4f(c11.x, c11.y, c11.z, waterAlpha);
            glVertex3f(x0 + s, waterLevel, z0 + s);
            glColor4f(c01.x, c01.y, c01.z, waterAlpha);
            glVertex3f(x0, waterLevel, z0 + s);
        }
    }
    glEnd();
    glDisable(GL_BLEND);
}
