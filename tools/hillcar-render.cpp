// hillcar-render SCRIPT -o OUT: pictures or a video of a script's frames,
// drawn off-screen.
#include "pictures/render_options.h"
#include "pictures/render_run.h"

#include <cstdio>

#ifndef HILLCAR_VERSION
#define HILLCAR_VERSION "unknown"
#endif

int main(int argc, char** argv)
{
    RenderOptions options;
    char why[512];
    if (!parseRenderOptions(argc, argv, options, why, sizeof why)) {
        fprintf(stderr, "hillcar-render: %s\n%s\n", why, RENDER_USAGE);
        return 2;
    }
    if (options.help) {
        printRenderHelp(stdout);
        return 0;
    }
    if (options.version) {
        printf("hillcar-render %s\n", HILLCAR_VERSION);
        return 0;
    }
    return runRender(options, stderr);
}
