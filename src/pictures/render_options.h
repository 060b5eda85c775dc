// hillcar-render's command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// What the output's name asks for.
enum RenderOutput {
    RENDER_DIR,  // an existing directory, or a name with no extension: DIR/frame-NNNNNN.png
    RENDER_PNG,  // NAME.png: one picture, or NAME-NNNNNN.png for each of several
    RENDER_MP4,  // NAME.mp4: H.264 video
    RENDER_WEBM, // NAME.webm: VP8 video
};

struct RenderOptions {
    const char* script; // the script file, "-" for standard input
    const char* out;
    RenderOutput kind;
    bool haveFrames;     // --frames given
    uint32_t first;      // --frames FIRST[-LAST], 1-based
    uint32_t last;
    uint32_t every;      // --every N; 0 when not given
    uint32_t fps;        // --fps N; 0 when not given
    bool quiet;          // --quiet: no progress line
    bool stats;          // --stats: where the time went, at the end
    bool help;
    bool version;
};

// Reads argv[1..argc). False, with the reason in why, for an unknown option,
// a missing or malformed value, a missing or second script, a missing -o, an
// output of an unknown kind, or options that don't fit the output (--every
// for a video, --fps for pictures). The output's kind is taken from its name
// and, for a name with no extension, whether it is a directory.
bool parseRenderOptions(int argc, char** argv, RenderOptions& options, char* why,
                        size_t whySize);

// The usage line, with no newline.
extern const char* const RENDER_USAGE;
// The usage line and what each option does.
void printRenderHelp(FILE* out);
