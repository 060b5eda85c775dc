// Preloaded into the real program by valgrind_program.py: counts the frames
// (buffer swaps) and keeps the count in the file named by
// HILLCAR_SWAP_COUNT_FILE, so the test knows how many frames ran under
// valgrind without asking the program anything. No heap is used, so it adds
// nothing to the leak check.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
using swap_fn = void (*)(void*);
}

extern "C" void SDL_GL_SwapWindow(void* window)
{
    static swap_fn real;
    static unsigned long frames;
    static int fd = -2;
    if (!real) real = reinterpret_cast<swap_fn>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
    if (real) real(window);
    frames++;
    if (fd == -2) {
        const char* path = getenv("HILLCAR_SWAP_COUNT_FILE");
        fd = path ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    }
    if (fd >= 0) {
        char text[32];
        int n = snprintf(text, sizeof text, "%lu\n", frames);
        if (n > 0 && pwrite(fd, text, (size_t)n, 0) < 0) {
            close(fd);
            fd = -1;
        }
    }
}
