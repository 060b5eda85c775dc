// hillcar-replay [SCRIPT]: runs the script from the file, or from standard
// input, and writes the trace to standard output.
#include "replay.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

bool readAll(FILE* in, std::vector<char>& text)
{
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, in)) > 0) text.insert(text.end(), chunk, chunk + n);
    return !ferror(in);
}

} // namespace

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
    const char* name = argc == 2 ? argv[1] : "standard input";
    FILE* in = argc == 2 ? fopen(argv[1], "rb") : stdin;
    if (!in) {
        fprintf(stderr, "hillcar-replay: cannot open %s: %s\n", name, strerror(errno));
        return 2;
    }
    bool ok = readAll(in, text);
    int readErrno = errno;
    if (in != stdin) fclose(in);
    if (!ok) {
        fprintf(stderr, "hillcar-replay: cannot read %s: %s\n", name, strerror(readErrno));
        return 2;
    }
    return runReplay(text.data(), text.size(), stdout, stderr, 0);
}
