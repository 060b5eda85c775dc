// The program's command line.
#pragma once

#include <cstddef>
#include <cstdio>

enum ScreenChoice { SCREEN_ASK, SCREEN_WINDOWED, SCREEN_FULL };

struct Options {
    ScreenChoice screen;   // --windowed, --fullscreen: the question is not asked
    bool fit;              // --fit: the picture fills the drawable at 4:3
    const char* record;    // --record FILE, or null
    const char* play;      // --play FILE, or null
    const char* trace;     // --trace FILE, or null
    bool help;             // --help
    bool version;          // --version
};

// Reads argv[1..argc). Each option that takes a file takes it as the next
// argument or after '='. False, with the reason in why, for an unknown
// option, a missing or empty file name, any other argument, or both
// --windowed and --fullscreen.
bool parseOptions(int argc, char** argv, Options& options, char* why, size_t whySize);

// The usage line, with no newline.
extern const char* const USAGE;
// The usage line and what each option does.
void printHelp(FILE* out);
