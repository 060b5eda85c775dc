// The program's own work per frame for a recording: the keys of the key map
// read from the keyboard array, and the frame's line formatted and buffered
// (with the file write each full buffer costs, to /dev/null).
#include "app/record.h"
#include "frame/keys.h"
#include "platform/sdl/keymap.h"

#include <benchmark/benchmark.h>

namespace {

void BM_RecordFrame(benchmark::State& state)
{
    static OutFile out;
    if (!recordOpen(out, "/dev/null", stderr)) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    recordHeader(out, "hillcar-bench", RAND_GLIBC, 1);
    // A keyboard with Up, Left and D down, as SDL's array has it.
    static unsigned char keyboard[512];
    keyboard[SC_UP] = keyboard[SC_LEFT] = keyboard[SC_A + ('D' - 'A')] = 1;
    const ScriptKeys& keys = scriptKeys();
    bool held[256] = {};
    uint32_t tick = 4000000000u;
    for (auto _ : state) {
        for (int k = 0; k < keys.count; k++)
            held[keys.vk[k]] = (getKeyStateFrom(keys.vk[k], keyboard, 512) & 0x80) != 0;
        recordFrame(out, tick, held);
        tick += 16;
        benchmark::ClobberMemory();
    }
    outClose(out);
}
BENCHMARK(BM_RecordFrame)->Unit(benchmark::kMicrosecond);

} // namespace
