#include "pictures/choice.h"

#include "replay/script.h"

#include <cstdio>

std::vector<uint32_t> readFrameTicks(const char* text, size_t len, uint64_t count)
{
    std::vector<uint32_t> ticks;
    ticks.reserve(count);
    ReplayReader reader = replayReader(text, len, 0);
    static ReplayDirective d;
    ReplayReason why;
    while (replayNext(reader, d, why) == REPLAY_READ_DIRECTIVE) {
        if (d.kind != REPLAY_FRAMES) continue;
        uint32_t tick = d.tick;
        for (uint32_t k = 0; k < d.count && ticks.size() < count; k++, tick += d.step)
            ticks.push_back(tick);
        if (ticks.size() == count) break;
    }
    return ticks;
}

namespace {

// Milliseconds from frame `from` to each frame up to `to` (0-based), never
// going back.
std::vector<uint64_t> frameTimes(const std::vector<uint32_t>& ticks, size_t from, size_t to)
{
    std::vector<uint64_t> times(to - from + 1);
    times[0] = 0;
    for (size_t i = from + 1; i <= to; i++) {
        int32_t step = (int32_t)(ticks[i] - ticks[i - 1]);
        times[i - from] = times[i - from - 1] + (uint64_t)(step > 0 ? step : 0);
    }
    return times;
}

void choosePictures(const RenderOptions& o, uint32_t first, uint32_t last, FrameChoice& c)
{
    uint32_t every = o.every ? o.every : 1;
    for (uint64_t f = first; f <= last; f += every) {
        c.shows[f - 1] = 1;
        c.drawn++;
        c.outputs++;
    }
}

void chooseVideo(const RenderOptions& o, const std::vector<uint32_t>& ticks, uint32_t first,
                 uint32_t last, FrameChoice& c)
{
    uint64_t fps = o.fps ? o.fps : 30;
    std::vector<uint64_t> times = frameTimes(ticks, first - 1, last - 1);
    // Video frame k comes at k * 1000 / fps ms: compared times fps, in whole numbers.
    uint64_t end = times.back() * fps;
    size_t shown = 0;
    for (uint64_t at = 0; at <= end; at += 1000) {
        while (shown + 1 < times.size() && times[shown + 1] * fps <= at) shown++;
        uint64_t& n = c.shows[first - 1 + shown];
        if (n == 0) c.drawn++;
        n++;
        c.outputs++;
    }
}

} // namespace

uint64_t chosenLast(const RenderOptions& o, uint64_t total)
{
    return o.haveFrames ? o.last : total;
}

bool chooseFrames(const RenderOptions& o, uint64_t total, const std::vector<uint32_t>& ticks,
                  FrameChoice& c, char* why, size_t whySize)
{
    if (total == 0) {
        snprintf(why, whySize, "the script runs no frames");
        return false;
    }
    if (o.haveFrames && o.last > total) {
        snprintf(why, whySize, "the script runs %llu frames; --frames asks for frame %u",
                 (unsigned long long)total, (unsigned)o.last);
        return false;
    }
    bool video = o.kind == RENDER_MP4 || o.kind == RENDER_WEBM;
    uint64_t lastFrame = chosenLast(o, total);
    if (lastFrame > (video ? MAX_VIDEO_SCRIPT_FRAMES : (uint64_t)UINT32_MAX)) {
        snprintf(why, whySize, "the script runs %llu frames; %s up to %llu (choose with --frames)",
                 (unsigned long long)total, video ? "a video takes" : "pictures are numbered",
                 (unsigned long long)(video ? MAX_VIDEO_SCRIPT_FRAMES : UINT32_MAX));
        return false;
    }
    uint32_t last = (uint32_t)lastFrame;
    uint32_t first = o.haveFrames ? o.first : (video || o.every) ? 1 : last;
    if (video && ticks.size() < last) {
        snprintf(why, whySize, "the tick counts of %u frames are needed, %zu were read", last,
                 ticks.size());
        return false;
    }
    c.shows.assign(last, 0);
    c.drawn = 0;
    c.outputs = 0;
    if (video) chooseVideo(o, ticks, first, last, c);
    else choosePictures(o, first, last, c);
    // Nothing after the last frame drawn needs to run.
    while (!c.shows.empty() && c.shows.back() == 0) c.shows.pop_back();
    return true;
}
