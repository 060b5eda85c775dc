#include "render/wheel.h"
void drawWheel(vec3, vec3, vec3, vec3, float) {} // STUB
