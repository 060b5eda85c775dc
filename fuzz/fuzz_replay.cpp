// The replay script reader and the frames it drives, fed any bytes at all.
// Built as a libFuzzer target with clang (run-fuzz.sh), and everywhere as
// hillcar-replay-corpus, which runs saved inputs once each: the seed corpus
// and every input that once found a fault.
#include "replay/run.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Frames per input. `set` puts the world in any state in one line, so a few
// frames after it reach what long runs reach; the long runs themselves are
// the soak's. A frame costs milliseconds under the sanitizers, and a short
// cap keeps the fuzzer at dozens of inputs a second instead of a few.
constexpr long FRAMES_PER_INPUT = 32;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The trace and the error lines are not looked at, only the run itself.
    static FILE* sink = fopen("/dev/null", "w");
    if (!sink) abort();
    int status = runReplay(reinterpret_cast<const char*>(data), size, sink, sink,
                           FRAMES_PER_INPUT);
    // The tool promises exactly these two statuses.
    if (status != 0 && status != 2) abort();
    return 0;
}
