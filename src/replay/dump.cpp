#include "replay/dump.h"

#include "replay/json.h"

using namespace json;

namespace {

// A 100 x 100 grid as one JSON line: {"NAME": [[row 0], [row 1], ...]}.
template <typename T>
void dumpGrid(FILE* out, const char* name, const T (*grid)[GRID], void (*putItem)(Writer&, T))
{
    Writer& w = startLine(out);
    put(w, "{\"");
    put(w, name);
    put(w, "\": [");
    for (int i = 0; i < GRID; i++) {
        put(w, i ? ", [" : "[");
        for (int j = 0; j < GRID; j++) {
            if (j) put(w, ", ");
            putItem(w, grid[i][j]);
        }
        put(w, "]");
    }
    put(w, "]}\n");
    flush(w);
}

} // namespace

void replayDumpHeights(FILE* out, const World& world)
{
    dumpGrid(out, "heights", world.terrain.w, putFloat);
}

void replayDumpColors(FILE* out, const World& world)
{
    dumpGrid(out, "colors", world.terrain.c, putVec3);
}
