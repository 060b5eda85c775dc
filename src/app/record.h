// The files a run writes as it goes: the recording (a hillcar-replay script
// of the run) and the trace. Both are written in large pieces, at least once
// a second and at the end, so a crash or a kill loses at most the last second;
// a write that fails is reported once and that file is given up while the run
// goes on. Nothing here allocates once a file is open.
#pragma once

#include "platform/scripted/rand_model.h"
#include "replay/script.h"
#include "replay/trace.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The keys a frame can see and a script can name, in virtual-key order.
struct ScriptKeys {
    int vk[64];
    int count;
};
const ScriptKeys& scriptKeys();

// Output gathered in memory and written to a file in large pieces.
struct OutFile {
    FILE* file;       // null when none was asked for or after a failed write
    const char* name; // as given on the command line
    const char* what; // "record to", "write the trace to": for the messages
    FILE* err;        // where they go
    size_t n;         // bytes waiting in buf
    char buf[1 << 16];
};

// Opens name for writing a recording. False, with "hillcar: cannot record to
// FILE: reason" on err, when it can't; later messages go to err too.
bool recordOpen(OutFile& out, const char* name, FILE* err);
// Writes what is waiting. On a failed write the file is closed and given up,
// with one message; later calls do nothing.
void outFlush(OutFile& out);
// Flushes and closes.
void outClose(OutFile& out);

// The recording's opening lines: a comment naming what made it (made, e.g.
// "hillcar 1.0.0 on Linux") and when (a UTC time), the generator as a `rand`
// line when it is one hillcar-replay models (a comment when not), and the seed.
void recordHeader(OutFile& out, const char* made, RandSource rand, uint32_t seed);
// One frame: "frame TICK KEY ...", the keys of held (indexed by virtual key)
// that a script can name. Room is made by flushing when the buffer is nearly full.
void recordFrame(OutFile& out, uint32_t tick, const bool held[256]);
// A played script's `set` line, so that a recording of a playback replays too.
void recordSet(OutFile& out, const char* args, size_t len);

// The generator the platform's own rand is, as the recording names it:
// RAND_GLIBC or RAND_MSVCRT, RAND_PLATFORM for a C library with no model.
RandSource platformRandModel();

// Traces go through hillcar-replay's writer into the file's stdio buffer; the
// file is flushed with outFlush like a recording. traceOpen's message is
// "hillcar: cannot write the trace to FILE: reason".
bool traceOpen(OutFile& out, const char* name, FILE* err);
void traceFrame(OutFile& out, uint64_t frame, uint32_t tick, const World& world,
                const FrameValues& values, GlCounts gl);
