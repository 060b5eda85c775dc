// The replay script language: the line reader, the `set` directive and the
// key names. hillcar-replay runs what the reader gives on the scripted
// platform (run.h); the program plays it in its window. Nothing here calls
// the platform or GL.
#pragma once

#include "frame/world.h"
#include "platform/scripted/rand_model.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// Why a line was refused, as the message shows it after "line N: ".
struct ReplayReason {
    char text[256];
};

// The keys held in one frame, each named once however often the line names it.
struct ReplayKeys {
    int vk[256];
    int count;
};

enum ReplayKind { REPLAY_FRAMES, REPLAY_SEED, REPLAY_RAND, REPLAY_SET, REPLAY_DUMP };
enum ReplayDump { REPLAY_DUMP_HEIGHTS, REPLAY_DUMP_COLORS, REPLAY_DUMP_GL };

// One directive as read. `frame T KEYS` is a run of one frame with step 0.
struct ReplayDirective {
    ReplayKind kind;
    uint32_t count, tick, step; // REPLAY_FRAMES
    ReplayKeys keys;            // REPLAY_FRAMES
    uint32_t seed;              // REPLAY_SEED
    RandSource rand;            // REPLAY_RAND
    const char* setArgs;        // REPLAY_SET: "NAME VALUE ..." within the script text
    size_t setLen;
    ReplayDump dump; // REPLAY_DUMP
};

// Reads a script's directives one at a time. The text is not copied: it must
// outlive the reader and the directives it gives. Reading allocates nothing.
struct ReplayReader {
    const char* p;
    const char* end;
    unsigned long line;  // number of the line last read
    uint64_t frames;     // frames of the runs read so far
    long maxFrames;      // > 0: a run that takes the total past it is refused
};

ReplayReader replayReader(const char* text, size_t len, long maxFrames);

enum ReplayRead { REPLAY_READ_DIRECTIVE, REPLAY_READ_END, REPLAY_READ_BAD };

// The next directive. A refused line gives REPLAY_READ_BAD and its reason
// (reader.line is its number); the order rules (`seed` and `rand` only before
// the first frame, `set` only after it, the frame cap) are checked here. A
// `set` line is checked for its place only: its name and values are read when
// it is applied.
ReplayRead replayNext(ReplayReader& reader, ReplayDirective& d, ReplayReason& why);

// "hillcar-replay: line N: reason" on err, the message of a refused line.
void replayReportLine(FILE* err, unsigned long line, const ReplayReason& why);

// Applies a `set` line's "NAME VALUE ..." to world, with `bsize` going to
// *bsizeTarget. On a bad line it changes nothing and gives the reason.
bool replaySet(World& world, float* bsizeTarget, const char* args, size_t len,
               ReplayReason& why);

// The `set` directive alone, on the global bsize: the reason goes to why
// (NUL-terminated, truncated to whySize).
bool replayApplySet(World& world, const char* args, size_t len, char* why, size_t whySize);

// A whole script checked before any of it runs, as the program's player
// needs: every line as hillcar-replay reads it, every `set` applied to a
// scratch world. False, with the line's message on err, for a script
// hillcar-replay would stop on; else the seed and generator it names (1 and
// the platform's own when it names none) and its frame count.
struct ReplayCheck {
    uint32_t seed;
    RandSource rand;
    uint64_t frames;
};
bool replayCheckScript(const char* text, size_t len, ReplayCheck& result, FILE* err);

// The script name for a virtual key of the key map ("LEFT", "A", "0"), or
// null for a key no script can hold.
const char* replayKeyName(int vk);

// Reads a whole script file into text; false, with "hillcar-replay: cannot
// open|read NAME: reason" on err, when it can't. Null path: standard input.
bool replayReadFile(const char* path, std::vector<char>& text, FILE* err);
