// hillcar-replay: the program's real frames driven by a script of tick counts
// and held keys, with the world state printed after every frame as one JSON
// line. The script language and the trace are described in replay.md.
#pragma once

#include "replay/script.h"

#include "frame/world.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Runs the script text[0..len) (not NUL-terminated; NUL bytes in it are a line
// error) on a fresh world: the world, bsize, the held keys and the GL record
// are reset first, so a process may call it any number of times. The trace
// and the dumps go to out, which is flushed before returning; a bad line is
// reported on err as "hillcar-replay: line N: reason" and ends the run.
// Returns the exit status: 0 after the last directive, 2 on a bad line.
// Afterwards every key is released; theWorld() and bsize stay as the run left
// them, for the caller to inspect (a test that goes on must restore bsize).
//
// maxFrames > 0 caps the frames of one run: a `frame` or `repeat` that would
// take the total past it is reported as a line error before any of its frames
// run. 0 means no cap.
//
// Choices the script language leaves open:
// - numbers are decimal only; a float must be finite (no nan, inf or hex
//   forms, no overflow to infinity; an underflow to zero or a denormal is
//   taken as it rounds). Huge finite values are accepted and may drive the
//   world to non-finite states, which the trace prints as null;
// - `ptime` is an index into the script tables: -1..10, the states the
//   stepper itself can reach. `view` and `aimind` take any int;
// - a carriage return right before the line end is ignored;
// - a dump before the first frame prints the fresh state (heights and
//   colours all 0, an empty GL record); it is not an error.
//
// afterFrame, when given, is called after every frame (and after that frame's
// trace line) with the world the frame ran on, its per-frame values and
// observerData. The frame's keys are still held during the call, so it may
// ask keyHeld what the frame saw, and its GL calls are still recorded. Soak
// tests check the world through it; hillcar-render draws frames from it. It
// returns false to end the run there, with status 0: the rest of the script
// is neither read nor run.
using ReplayObserver = bool (*)(const World& world, const FrameValues& values, void* data);

int runReplay(const char* text, size_t len, FILE* out, FILE* err, long maxFrames,
              ReplayObserver afterFrame = nullptr, void* observerData = nullptr);
