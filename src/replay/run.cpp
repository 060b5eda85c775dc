#include "replay/run.h"

#include "frame/frame.h"
#include "platform/scripted/scripted.h"
#include "replay/dump.h"
#include "replay/trace.h"

namespace {

void dumpGl(FILE* out)
{
    fputs("{\"gl\": ", out);
    glrecWriteJson(out);
    fputs("}\n", out);
}

struct Run {
    FILE* out;
    ReplayObserver afterFrame;
    void* observerData;
    uint32_t seed;
    RandSource rand;
    uint64_t frames; // frames run so far
    bool stopped;    // the observer has ended the run
};

void runOneFrame(Run& run, uint32_t tick, const ReplayKeys& keys)
{
    // The program seeds once, just before its first frame.
    if (run.frames == 0) {
        scriptSetRand(run.rand);
        platformSrand(run.seed);
    }
    scriptSetTick(tick);
    scriptReleaseKeys();
    for (int k = 0; k < keys.count; k++) scriptSetKey(keys.vk[k], true);
    glrecReset();
    goGLprog(nullptr);
    run.frames++;
    replayWriteTrace(run.out, run.frames, tick, theWorld(), lastFrameValues(), glrecCounts());
    if (run.afterFrame && !run.afterFrame(theWorld(), lastFrameValues(), run.observerData))
        run.stopped = true;
}

// Runs one directive the reader has accepted; false with the reason for a
// `set` that is refused.
bool runDirective(Run& run, const ReplayDirective& d, ReplayReason& why)
{
    switch (d.kind) {
    case REPLAY_FRAMES: {
        uint32_t tick = d.tick;
        for (uint32_t k = 0; k < d.count && !run.stopped; k++, tick += d.step)
            runOneFrame(run, tick, d.keys);
        return true;
    }
    case REPLAY_SEED: run.seed = d.seed; return true;
    case REPLAY_RAND: run.rand = d.rand; return true;
    case REPLAY_SET: return replaySet(theWorld(), &bsize, d.setArgs, d.setLen, why);
    case REPLAY_DUMP:
        if (d.dump == REPLAY_DUMP_HEIGHTS) replayDumpHeights(run.out, theWorld());
        else if (d.dump == REPLAY_DUMP_COLORS) replayDumpColors(run.out, theWorld());
        else dumpGl(run.out);
        return true;
    }
    return true;
}

} // namespace

int runReplay(const char* text, size_t len, FILE* out, FILE* err, long maxFrames,
              ReplayObserver afterFrame, void* observerData)
{
    resetWorld();
    scriptReleaseKeys();
    scriptSetTick(0);
    glrecReset();

    Run run = {out, afterFrame, observerData, 1, RAND_PLATFORM, 0, false};
    ReplayReader reader = replayReader(text, len, maxFrames);
    static ReplayDirective d;
    int status = 0;
    while (!run.stopped) {
        ReplayReason why;
        ReplayRead got = replayNext(reader, d, why);
        if (got == REPLAY_READ_END) break;
        if (got == REPLAY_READ_BAD || !runDirective(run, d, why)) {
            fflush(out);
            replayReportLine(err, reader.line, why);
            status = 2;
            break;
        }
    }
    fflush(out);
    scriptReleaseKeys();
    return status;
}
