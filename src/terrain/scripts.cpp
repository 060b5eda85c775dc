#include "terrain/scripts.h"
void loadStartupScript(TerrainState&) {} // STUB
void loadScript(TerrainState&, int) {} // STUB
bool stepScript(TerrainState&, int&, bool&, bool&) { return false; } // STUB
