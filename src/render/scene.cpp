#include "render/scene.h"
#include <GL/gl.h>
void stepSkyKeys(SkyState&, float) {} // STUB
void setClearColour(const SkyState& s) { glClearColor(s.clearcol.x, s.clearcol.y, s.clearcol.z, 0.0f); } // STUB
void drawTerrain(const TerrainState&) {} // STUB
void drawWater(vec3, vec3) {} // STUB
