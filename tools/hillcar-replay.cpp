// hillcar-replay [SCRIPT | -]: runs the script from the file, or from standard
// input, and writes the trace to standard output.
#include "replay/run.h"

#include <cstdio>
#include <cstring>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#ifndef HILLCAR_VERSION
#define HILLCAR_VERSION "unknown"
#endif

namespace {

const char* const USAGE = "usage: hillcar-replay [SCRIPT | -]\n"
                          "       hillcar-replay --help | --version\n";

#ifdef _WIN32
const char* const END_OF_INPUT = "Ctrl+Z, then Enter";
#else
const char* const END_OF_INPUT = "Ctrl+D";
#endif

void printHelp()
{
    fputs(USAGE, stdout);
    fputs("\n"
          "Runs hillcar's frames with no window: the keys and the tick counts come\n"
          "from the script, the GL calls are recorded instead of drawn, and the\n"
          "world state after every frame is written to standard output as one\n"
          "JSON line. The script is read from SCRIPT, or from standard input when\n"
          "it is - or not given. A recording made with hillcar --record is a script.\n"
          "\n"
          "Directives, one a line (# starts a comment):\n"
          "  seed N                      seed the random generator (default 1)\n"
          "  rand glibc | rand msvcrt    draw from that C library's generator\n"
          "  frame T [KEY ...]           one frame at tick count T with the keys held\n"
          "  repeat K T0 STEP [KEY ...]  K frames at T0, T0+STEP, ...\n"
          "  set NAME VALUE ...          change the world before the next frame\n"
          "  dump heights|colors|gl      print the heights, colours or GL calls\n"
          "Keys: LEFT RIGHT UP DOWN SHIFT RETURN NUMPAD0 ADD SUBTRACT ESCAPE,\n"
          "0 to 9 and A to Z.\n"
          "\n"
          "Exit status: 0 after the last directive; 2 for a bad script or option.\n",
          stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const char* path = nullptr; // standard input
    if (argc > 2) {
        fputs(USAGE, stderr);
        return 2;
    }
    if (argc == 2) {
        const char* arg = argv[1];
        if (strcmp(arg, "--help") == 0) {
            printHelp();
            return 0;
        }
        if (strcmp(arg, "--version") == 0) {
            printf("hillcar-replay %s\n", HILLCAR_VERSION);
            return 0;
        }
        if (arg[0] == '-' && arg[1] != '\0') {
            fprintf(stderr, "hillcar-replay: unknown option '%s'\n%s", arg, USAGE);
            return 2;
        }
        if (strcmp(arg, "-") != 0) path = arg;
    }
    // Someone who typed the bare name would otherwise face a silent wait.
    if (!path && isatty(fileno(stdin)))
        fprintf(stderr,
                "hillcar-replay: reading a script from standard input (%s ends it);"
                " --help gives the usage\n",
                END_OF_INPUT);

    // A long run writes a trace line per frame: let stdio gather them.
    static char outBuffer[1 << 20];
#ifdef _WIN32
    // Scripts and traces are bytes, the same on every system: no CRLF line
    // ends on the way in or out.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    std::vector<char> text;
    if (!replayReadFile(path, text, stderr)) return 2;
    return runReplay(text.data(), text.size(), stdout, stderr, 0);
}
