// The program's command line.
#pragma once

#include <cstddef>
#include <cstdio>

enum ScreenChoice { SCREEN_ASK, SCREEN_WINDOWED, SCREEN_FULL };

struct Options {
    ScreenChoice screen;   // --windowed, --fullscreen: the question is not asked
    bool fit;              // --fit: the picture fills the drawable at 4:3
    const char* record;    // --record FILE, or null
    const char* play;      // --play FILE or a file named alone, or null
    const char* trace;     // --trace FILE, or null
    bool help;             // --help, -h
    bool version;          // --version, -V
};

// Reads argv[1..argc). Each option that takes a file takes it as the next
// argument or after '='. A file named with no option before it is played, as
// a desktop opens a recording with the program. False, with the reason in
// why, for an unknown option, a missing or empty file name, a second file to
// play, or both --windowed and --fullscreen.
bool parseOptions(int argc, char** argv, Options& options, char* why, size_t whySize);

// The usage line, with no newline.
extern const char* const USAGE;
// The usage line, what each option does, the keys and the gamepad's buttons.
void printHelp(FILE* out);
