// hillcar-gl-snapshot SCRIPT OUT.ppm: runs a replay script, then draws its last
// frame with the desktop's GL (libGL and libGLU, e.g. Mesa on Xvfb) into an
// 800x600 window and writes the picture as a binary PPM. The page draws the
// same frame through its translator; the web tests compare the two pictures.
// The frame is drawn after the start-up projection and twice, so that its
// clear takes the sky colour it chose itself, exactly as the page does.
#include "platform/scripted/gl_play.h"
#include "platform/scripted/gl_record.h"
#include "render/scene.h"
#include "replay/run.h"

#include <SDL.h>

#include <cstdio>
#include <vector>

namespace {

bool readScript(const char* path, std::vector<char>& text)
{
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.insert(text.end(), chunk, chunk + n);
    fclose(f);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fputs("usage: hillcar-gl-snapshot SCRIPT OUT.ppm\n", stderr);
        return 2;
    }
    std::vector<char> script;
    if (!readScript(argv[1], script)) {
        fprintf(stderr, "hillcar-gl-snapshot: cannot read %s\n", argv[1]);
        return 2;
    }
    FILE* sink = fopen("/dev/null", "w");
    if (runReplay(script.data(), script.size(), sink, stderr, 0) != 0) return 2;
    fclose(sink);

    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || SDL_GL_LoadLibrary("libGL.so.1") != 0) {
        fprintf(stderr, "hillcar-gl-snapshot: %s\n", SDL_GetError());
        return 1;
    }
    // As the program asks: a compatibility context, double-buffered, 16-bit depth.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_Window* window = SDL_CreateWindow("hillcar-gl-snapshot", 0, 0, 800, 600,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || SDL_GL_MakeCurrent(window, context) != 0) {
        fprintf(stderr, "hillcar-gl-snapshot: no GL: %s\n", SDL_GetError());
        return 1;
    }
    DesktopGl g;
    char why[256];
    if (!loadDesktopGl(g, why, sizeof why)) {
        fprintf(stderr, "hillcar-gl-snapshot: %s\n", why);
        return 1;
    }
    g.Viewport(0, 0, 800, 600);

    size_t frameCalls = glrecSize();
    setFixedProjection();
    playRecordedGl(g, frameCalls, glrecSize());
    playRecordedGl(g, 0, frameCalls);
    playRecordedGl(g, 0, frameCalls);

    std::vector<unsigned char> rgb(800 * 600 * 3);
    g.ReadBuffer(GL_BACK);
    readDesktopPixels(g, 800, 600, GL_RGB, rgb.data());
    FILE* out = fopen(argv[2], "wb");
    if (!out) {
        fprintf(stderr, "hillcar-gl-snapshot: cannot write %s\n", argv[2]);
        return 1;
    }
    // GL's rows run from the bottom up, a PPM's from the top down.
    fprintf(out, "P6\n800 600\n255\n");
    for (int y = 599; y >= 0; y--) fwrite(&rgb[(size_t)y * 800 * 3], 1, 800 * 3, out);
    fclose(out);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
