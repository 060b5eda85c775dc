// The progress of a long render on one updating terminal line.
#pragma once

#include <cstdint>
#include <cstdio>

struct Progress {
    FILE* out;       // null: no line is shown
    uint64_t total;  // frames to run
    uint64_t drawnTotal;
    double start;    // seconds, monotonic
    double shown;    // when the line was last written
};

// A line on out only when it is a terminal and show is set.
Progress startProgress(FILE* out, bool show, uint64_t total, uint64_t drawnTotal);
// Rewrites the line, at most ten times a second unless final.
void showProgress(Progress& p, uint64_t done, uint64_t drawn, bool final);
// Seconds on the monotonic clock.
double monotonicSeconds();
