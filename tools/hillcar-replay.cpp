// hillcar-replay [SCRIPT]: runs the script from the file, or from standard
// input, and writes the trace to standard output.
#include "replay.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc > 2) {
        fputs("usage: hillcar-replay [SCRIPT]\n", stderr);
        return 2;
    }
    // A long run writes a trace line per frame: let stdio gather them.
    static char outBuffer[1 << 20];
    setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    std::vector<char> text;
    if (!replayReadFile(argc == 2 ? argv[1] : nullptr, text, stderr)) return 2;
    return runReplay(text.data(), text.size(), stdout, stderr, 0);
}
