#include "app/session.h"

#include "app/gl_count.h"
#include "frame/frame.h"
#include "platform/live.h"
#include "platform/window.h"

namespace {

void recordPlayedSet(const char* args, size_t len, void* data)
{
    recordSet(*static_cast<OutFile*>(data), args, len);
}

} // namespace

void startPlaying(Session& s)
{
    s.played = true;
    s.playing = playerAdvance(s.player, theWorld(), nullptr, nullptr);
}

void seedSession(Session& s, RandSource live, uint32_t seed, const char* made)
{
    RandSource named = s.played ? s.player.check.rand : live;
    if (s.played) seed = s.player.check.seed;
    setRandSource(named);
    platformSrand(seed);
    if (s.record.file) {
        recordHeader(s.record, made, named != RAND_PLATFORM ? named : platformRandModel(), seed);
        outFlush(s.record);
    }
    s.lastFlush = readClock();
}

bool sessionFrameReady(const Session& s)
{
    return !s.playing || playerDue(s.player, readClock());
}

// The frame reads its tick and keys from live.h, so that the recording and
// the trace hold exactly what it saw.
void runSessionFrame(Session& s, DeviceContext* dc)
{
    uint32_t now = readClock();
    uint32_t tick;
    if (s.playing) {
        playerFrame(s.player, tick, s.held);
        playerPlayed(s.player, now);
    } else {
        // Read once, before the frame: a frame sees one tick count.
        tick = now + s.clockOffset;
        const ScriptKeys& keys = scriptKeys();
        for (int k = 0; k < keys.count; k++)
            s.held[keys.vk[k]] = (readKeyboard(keys.vk[k]) & 0x80) != 0;
    }
    setFrameTick(tick);
    setFrameKeys(s.held);
    recordFrame(s.record, tick, s.held);

    glCountReset();
    goGLprog(dc);
    s.frames++;
    traceFrame(s.trace, s.frames, tick, theWorld(), lastFrameValues(), glCounted());

    if (s.playing && !playerAdvance(s.player, theWorld(), recordPlayedSet, &s.record)) {
        // The script has ended: the clock goes on from its last tick count.
        s.playing = false;
        s.clockOffset = tick - now;
    }
    if ((uint32_t)(now - s.lastFlush) >= 1000) {
        outFlush(s.record);
        outFlush(s.trace);
        s.lastFlush = now;
    }
}
