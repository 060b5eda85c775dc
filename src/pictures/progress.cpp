#include "pictures/progress.h"

#include <time.h>
#include <unistd.h>

double monotonicSeconds()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

Progress startProgress(FILE* out, bool show, uint64_t total, uint64_t drawnTotal)
{
    bool terminal = show && isatty(fileno(out));
    double now = monotonicSeconds();
    return Progress{terminal ? out : nullptr, total, drawnTotal, now, now};
}

void showProgress(Progress& p, uint64_t done, uint64_t drawn, bool final)
{
    if (!p.out) return;
    double now = monotonicSeconds();
    if (!final && now - p.shown < 0.1) return;
    p.shown = now;
    double rate = now > p.start ? (double)done / (now - p.start) : 0.0;
    // \r and a clear to the end of the line: one line, rewritten.
    fprintf(p.out, "\rhillcar-render: frame %llu of %llu, %llu of %llu drawn, %.0f frames/s\033[K",
            (unsigned long long)done, (unsigned long long)p.total, (unsigned long long)drawn,
            (unsigned long long)p.drawnTotal, rate);
    if (final) fputc('\n', p.out);
    fflush(p.out);
}
