// hillcar-replay [SCRIPT]: runs the script from the file, or from standard
// input, and writes the trace to standard output.
#include "replay/run.h"

#include <cstdio>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv)
{
    if (argc > 2) {
        fputs("usage: hillcar-replay [SCRIPT]\n", stderr);
        return 2;
    }
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
    if (!replayReadFile(argc == 2 ? argv[1] : nullptr, text, stderr)) return 2;
    return runReplay(text.data(), text.size(), stdout, stderr, 0);
}
