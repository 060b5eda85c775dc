#include "app/player.h"

namespace {

// How late a frame may run before the pace counts from it rather than from
// when it was due: a stalled playback then goes on at the script's pace
// instead of racing to catch up.
constexpr uint32_t MAX_LATE = 250;

// The wait for a tick step: none for a step back (a difference past 2^31).
uint32_t waitFor(uint32_t step)
{
    if ((int32_t)step < 0) return 0;
    return step > MAX_PLAY_WAIT ? MAX_PLAY_WAIT : step;
}

// When the next frame is due.
uint32_t dueAt(const Player& player)
{
    return player.base + waitFor(player.tick - player.lastTick);
}

} // namespace

bool playerOpen(Player& player, const char* path, FILE* err)
{
    player.text.clear();
    if (!replayReadFile(path, player.text, err)) return false;
    if (!replayCheckScript(player.text.data(), player.text.size(), player.check, err)) return false;
    player.reader = replayReader(player.text.data(), player.text.size(), 0);
    player.left = 0;
    player.started = false;
    return true;
}

bool playerAdvance(Player& player, World& world, PlayerSetHook onSet, void* data)
{
    if (player.left > 0) return true;
    ReplayReason why;
    for (;;) {
        ReplayRead got = replayNext(player.reader, player.run, why);
        // The script was checked whole: nothing can be refused here.
        if (got != REPLAY_READ_DIRECTIVE) return false;
        const ReplayDirective& d = player.run;
        if (d.kind == REPLAY_FRAMES) {
            player.left = d.count;
            player.tick = d.tick;
            return true;
        }
        if (d.kind == REPLAY_SET && replaySet(world, &bsize, d.setArgs, d.setLen, why) && onSet)
            onSet(d.setArgs, d.setLen, data);
        // seed and rand were taken when the script was checked; dumps are for
        // hillcar-replay.
    }
}

bool playerDue(const Player& player, uint32_t now)
{
    return !player.started || (int32_t)(now - dueAt(player)) >= 0;
}

void playerFrame(const Player& player, uint32_t& tick, bool held[256])
{
    tick = player.tick;
    for (int vk = 0; vk < 256; vk++) held[vk] = false;
    for (int k = 0; k < player.run.keys.count; k++) held[player.run.keys.vk[k]] = true;
}

void playerPlayed(Player& player, uint32_t now)
{
    uint32_t due = player.started ? dueAt(player) : now;
    player.base = (int32_t)(now - due) > (int32_t)MAX_LATE ? now : due;
    player.started = true;
    player.lastTick = player.tick;
    player.left--;
    player.tick += player.run.step;
}
