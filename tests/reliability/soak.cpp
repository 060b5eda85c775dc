// hillcar-soak: a long replay of hostile input, with the world checked after
// every frame.
//
// The script is made here from a fixed seed: random sets of keys from the
// whole key map held for random spans (a few frames up to hours of idle
// time), frame times of 0, 1 ms, 16 ms, 1 s and 60 s, and a tick count that
// starts just short of the 32-bit wrap and is thrown back there now and then.
// It runs through the real frames of hillcar-replay; an observer looks at the
// world after each one.
//
//     hillcar-soak [--frames N] [--seed S] [--write-script FILE]
//
// Exit status 0 when every check held on every frame and the run reached the
// states it is meant to reach (see coverage below); 1 otherwise. With
// --write-script the script is saved, so a failing frame can be looked at
// with hillcar-replay.
#include "frame/keys.h"
#include "replay/run.h"
#include "terrain/heightmap.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- the script

// Every key of the key map a frame polls, by its script name.
const char* const keyNames[] = {
    "LEFT", "RIGHT", "UP", "DOWN", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
    "SHIFT", "RETURN", "F", "D", "R", "V", "NUMPAD0", "ADD", "SUBTRACT",
};
constexpr int KEY_COUNT = sizeof keyNames / sizeof keyNames[0];

// Tick steps in ms: a stalled clock, a fast machine, 60 Hz, a hiccup, a stall.
const uint32_t tickSteps[] = {0, 1, 16, 1000, 60000};

// mt19937 is the same sequence everywhere; the reductions below are plain
// arithmetic, so the script is too.
struct Dice {
    std::mt19937 gen;
    explicit Dice(uint32_t seed) : gen(seed) {}
    uint32_t below(uint32_t n) { return (uint32_t)(gen() % n); }
    bool chance(uint32_t percent) { return below(100) < percent; }
};

uint32_t pickStep(Dice& dice)
{
    // Mostly 60 Hz, but every step often enough to meet each state.
    uint32_t r = dice.below(100);
    if (r < 12) return tickSteps[0];
    if (r < 24) return tickSteps[1];
    if (r < 76) return tickSteps[2];
    if (r < 88) return tickSteps[3];
    return tickSteps[4];
}

uint32_t pickSpan(Dice& dice)
{
    uint32_t r = dice.below(100);
    if (r < 70) return 1 + dice.below(30);
    if (r < 95) return 30 + dice.below(570);
    return 600 + dice.below(4400);
}

std::string pickKeys(Dice& dice)
{
    std::string keys;
    uint32_t r = dice.below(100);
    if (r < 12) return keys; // nobody at the keyboard
    if (r < 15) {            // a hand on the whole keyboard
        for (const char* k : keyNames) (keys += ' ') += k;
        return keys;
    }
    uint32_t n = 1 + dice.below(5);
    for (uint32_t k = 0; k < n; k++) (keys += ' ') += keyNames[dice.below(KEY_COUNT)];
    // Shift often, so that digits load and stop scripts and R cycles.
    if (dice.chance(30)) keys += " SHIFT";
    return keys;
}

void appendf(std::string& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

void appendf(std::string& s, const char* fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) s.append(buf, (size_t)n < sizeof buf ? (size_t)n : sizeof buf - 1);
}

// Ticks start 30 s short of the wrap and are sent back near it every
// wrapEvery frames, so the count wraps several times in a long run.
std::string makeScript(uint32_t seed, long frames)
{
    Dice dice(seed);
    std::string script;
    appendf(script, "# hillcar-soak, seed %" PRIu32 ", %ld frames\nseed %" PRIu32 "\n", seed,
            frames, (uint32_t)dice.gen());
    const long wrapEvery = 40000;
    uint32_t tick = 0xffffffffu - 30000u;
    long made = 0, nextWrap = wrapEvery;
    while (made < frames) {
        uint32_t span = pickSpan(dice);
        if ((long)span > frames - made) span = (uint32_t)(frames - made);
        std::string keys = pickKeys(dice);
        if (dice.chance(50)) {
            uint32_t step = pickStep(dice);
            appendf(script, "repeat %" PRIu32 " %" PRIu32 " %" PRIu32 "%s\n", span, tick, step,
                    keys.c_str());
            tick += span * step;
        } else {
            for (uint32_t k = 0; k < span; k++) {
                appendf(script, "frame %" PRIu32 "%s\n", tick, keys.c_str());
                tick += pickStep(dice);
            }
        }
        made += span;
        if (made >= nextWrap) {
            tick = 0xffffffffu - dice.below(100000);
            nextWrap += wrapEvery;
        }
    }
    return script;
}

// ---------------------------------------------------------------- the checks

enum Check {
    FINITE,
    HEIGHT_RANGE,
    BORDER,
    NOSE_BOUNDS,
    NOSE_TO_REAR,
    REAR_TO_HITCH,
    SIDE_UNIT,
    CLEARANCE,
    VIEW_RANGE,
    BSIZE_VALUE,
    PTIME_RANGE,
    CLEARCOL_RANGE,
    CHECKS
};

const char* const checkNames[CHECKS] = {
    "every world value finite",
    "heights within -100..100 after a frame without smoothing",
    "border heights 0 after a frame without smoothing",
    "nose inside -5..bsize*99+5",
    "nose to rear axle 3.0",
    "rear axle to hitch 1.5",
    "side axis of the truck unit length",
    "eye at least 0.3 above the ground the camera saw",
    "view in 0..9",
    "bsize one of its eight values",
    "ptime in -1..10",
    "clearcol inside 0..1",
};

// What the run met, so that a generator that stopped reaching a state fails
// the soak instead of passing it vacuously.
struct Coverage {
    bool bsizeSeen[8] = {};
    bool viewSeen[10] = {};
    bool opSeen[10] = {};
    bool dtSeen[4] = {}; // 0, 1 ms, 16 ms, the 0.25 s bound
    long smoothFrames = 0, plainFrames = 0, scriptFrames = 0, debugFrames = 0;
    long autopilotFrames = 0, bumpedFrames = 0, wraps = 0;
};

struct Soak {
    long frame = 0;
    long failures[CHECKS] = {};
    long reported = 0;
    float bsizes[8];
    // The heightmap and spacing as the previous frame left them: the rig and
    // the camera of a frame stand on those, not on this frame's edits.
    float prevW[GRID][GRID];
    float prevBsize = 4.0f;
    uint32_t prevTickSeen = 0;
    Coverage cov;
};

void fail(Soak& s, Check c, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

void fail(Soak& s, Check c, const char* fmt, ...)
{
    s.failures[c]++;
    if (s.reported >= 40) return;
    s.reported++;
    fprintf(stderr, "frame %ld: %s: ", s.frame, checkNames[c]);
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
}

bool finite(vec3 v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

void checkFinite(Soak& s, const World& w, const FrameValues& v)
{
    const RigState& r = w.rig;
    struct {
        const char* name;
        float value;
    } floats[] = {
        {"bsize", bsize},      {"dt", v.dt},           {"rtrn", r.rtrn},
        {"rspd", r.rspd},      {"rrot", r.rrot},       {"vrot", r.vrot},
        {"rafall", r.rafall},  {"rbfall", r.rbfall},   {"vafall", r.vafall},
        {"vbfall", r.vbfall},  {"timeout", r.timeout}, {"btntime", w.sky.btntime},
    };
    for (const auto& f : floats)
        if (!std::isfinite(f.value)) fail(s, FINITE, "%s is %g", f.name, (double)f.value);
    struct {
        const char* name;
        vec3 value;
    } vectors[] = {
        {"rnos", r.rnos},         {"rais", r.rais},         {"tra", w.camera.tra},
        {"clearcol", w.sky.clearcol},
    };
    for (const auto& e : vectors)
        if (!finite(e.value)) fail(s, FINITE, "%s is not finite", e.name);
    const positions* frames[] = {&r.rpos, &r.vnos, &r.vpos};
    const char* frameNames[] = {"rpos", "vnos", "vpos"};
    for (int f = 0; f < 3; f++)
        for (int k = 0; k < 4; k++)
            if (!finite((*frames[f])[k])) fail(s, FINITE, "%s[%d] is not finite", frameNames[f], k);
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            if (!std::isfinite(w.terrain.w[i][j]))
                fail(s, FINITE, "w[%d][%d] is %g", i, j, (double)w.terrain.w[i][j]);
            if (!finite(w.terrain.c[i][j])) fail(s, FINITE, "c[%d][%d] is not finite", i, j);
        }
}

void checkTerrain(Soak& s, const World& w, bool smoothed)
{
    if (smoothed) return; // the relaxation after the limits may step past them
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            float h = w.terrain.w[i][j];
            if (!(h >= -100.0f && h <= 100.0f))
                fail(s, HEIGHT_RANGE, "w[%d][%d] = %.9g", i, j, (double)h);
            bool border = i == 0 || j == 0 || i == GRID - 1 || j == GRID - 1;
            if (border && h != 0.0f) fail(s, BORDER, "w[%d][%d] = %.9g", i, j, (double)h);
        }
}

float length(vec3 v)
{
    return (float)std::sqrt((double)v.x * v.x + (double)v.y * v.y + (double)v.z * v.z);
}

void checkRig(Soak& s, const RigState& r)
{
    // The nose was held inside the world the rig moved in, with the spacing
    // the previous frame left.
    float edge = s.prevBsize * 99.0f + 5.0f;
    if (!(r.rnos.x >= -5.0f && r.rnos.x <= edge && r.rnos.z >= -5.0f && r.rnos.z <= edge))
        fail(s, NOSE_BOUNDS, "rnos (%g, %g) with edge %g", (double)r.rnos.x, (double)r.rnos.z,
             (double)edge);
    float a = length(r.rnos - r.rpos[0]);
    if (!(std::fabs(a - 3.0f) <= 1e-3f)) fail(s, NOSE_TO_REAR, "%.9g", (double)a);
    float b = length(r.rpos[0] - r.rais);
    if (!(std::fabs(b - 1.5f) <= 1e-3f)) fail(s, REAR_TO_HITCH, "%.9g", (double)b);
    float side = length(r.rpos[2]);
    if (!(std::fabs(side - 1.0f) <= 1e-3f))
        fail(s, SIDE_UNIT, "|rpos[2]| = %.9g, rpos[1] = (%g, %g, %g)", (double)side,
             (double)r.rpos[1].x, (double)r.rpos[1].y, (double)r.rpos[1].z);
}

void checkCamera(Soak& s, const World& w)
{
    // The first frame's camera stood on the freshly generated heights, which
    // no frame before it left behind; from the second frame on it stands on
    // the previous frame's.
    if (s.frame < 2) return;
    float now = bsize;
    bsize = s.prevBsize;
    float ground = getGround(w.camera.tra, s.prevW);
    bsize = now;
    // 0.3 added in float, as any clearance must be: the sum is the least
    // height representable at or near ground + 0.3.
    float least = ground + 0.3f;
    if (!(w.camera.tra.y >= least))
        fail(s, CLEARANCE, "eye (%g, %.9g, %g), ground %.9g, view %d", (double)w.camera.tra.x,
             (double)w.camera.tra.y, (double)w.camera.tra.z, (double)ground, w.camera.view);
}

void checkRanges(Soak& s, const World& w)
{
    if (w.camera.view < 0 || w.camera.view > 9) fail(s, VIEW_RANGE, "view %d", w.camera.view);
    int k = 0;
    while (k < 8 && s.bsizes[k] != bsize) k++;
    if (k == 8) fail(s, BSIZE_VALUE, "bsize %.9g", (double)bsize);
    else s.cov.bsizeSeen[k] = true;
    if (w.terrain.ptime < -1 || w.terrain.ptime > 10)
        fail(s, PTIME_RANGE, "ptime %d", w.terrain.ptime);
    vec3 c = w.sky.clearcol;
    if (!(c.x >= 0 && c.x <= 1 && c.y >= 0 && c.y <= 1 && c.z >= 0 && c.z <= 1))
        fail(s, CLEARCOL_RANGE, "(%g, %g, %g)", (double)c.x, (double)c.y, (double)c.z);
}

void note(Soak& s, const World& w, const FrameValues& v, bool smoothed)
{
    Coverage& c = s.cov;
    if (w.camera.view >= 0 && w.camera.view <= 9) c.viewSeen[w.camera.view] = true;
    if (v.opnum >= 0 && v.opnum <= 9) c.opSeen[v.opnum] = true;
    if (v.dt == 0.0f) c.dtSeen[0] = true;
    if (v.dt == 0.001f) c.dtSeen[1] = true;
    if (v.dt == 0.016f) c.dtSeen[2] = true;
    if (v.dt == 0.25f) c.dtSeen[3] = true;
    (smoothed ? c.smoothFrames : c.plainFrames)++;
    if (w.terrain.ptime > -1) c.scriptFrames++;
    if (keyHeld('D')) c.debugFrames++;
    if (w.rig.aimind != 0) c.autopilotFrames++;
    for (bool b : v.bumped)
        if (b) {
            c.bumpedFrames++;
            break;
        }
    // The script only ever moves the tick count up (modulo 2^32), so a
    // reading below the one before is a wrap.
    uint32_t tick = w.clock.timeNow;
    if (s.frame > 1 && tick < s.prevTickSeen) c.wraps++;
    s.prevTickSeen = tick;
}

bool afterFrame(const World& w, const FrameValues& v, void* data)
{
    Soak& s = *static_cast<Soak*>(data);
    s.frame++;
    bool smoothed = keyHeld('F') || v.dosmooth;
    checkFinite(s, w, v);
    checkTerrain(s, w, smoothed);
    checkRig(s, w.rig);
    checkCamera(s, w);
    checkRanges(s, w);
    note(s, w, v, smoothed);
    memcpy(s.prevW, w.terrain.w, sizeof s.prevW);
    s.prevBsize = bsize;
    return true;
}

// The spacing starts at 4 and steps by 1.5 in float arithmetic; these are the
// values that stepping from 4 up three times and down four times gives.
void makeBsizes(float (&out)[8])
{
    float up = 4.0f, down = 4.0f;
    out[0] = 4.0f;
    for (int k = 1; k <= 3; k++) out[k] = up *= 1.5f;
    for (int k = 4; k < 8; k++) out[k] = down /= 1.5f;
}

bool reportCoverage(const Soak& s)
{
    const Coverage& c = s.cov;
    bool ok = true;
    auto need = [&](bool cond, const char* what) {
        if (!cond) {
            fprintf(stderr, "coverage: the run never %s\n", what);
            ok = false;
        }
    };
    auto all = [](const bool* seen, int n) {
        for (int k = 0; k < n; k++)
            if (!seen[k]) return false;
        return true;
    };
    need(all(c.bsizeSeen, 8), "met every grid spacing");
    need(all(c.viewSeen, 10), "met every camera view");
    need(all(c.opSeen, 10), "applied every terrain operation");
    need(all(c.dtSeen, 4), "met frame times 0, 1 ms, 16 ms and the 0.25 s bound");
    need(c.smoothFrames > 0 && c.plainFrames > 0, "met frames with and without smoothing");
    need(c.scriptFrames > 0, "played a terrain script");
    need(c.debugFrames > 0, "held D");
    need(c.autopilotFrames > 0, "let the autopilot drive");
    need(c.bumpedFrames > 0, "pushed the trailer clear of the truck");
    need(c.wraps > 0, "wrapped the tick count");
    printf("soak coverage: %ld frames smoothed, %ld plain, %ld under a script, %ld with D, "
           "%ld on autopilot, %ld with the trailer pushed clear, %ld tick wraps\n",
           c.smoothFrames, c.plainFrames, c.scriptFrames, c.debugFrames, c.autopilotFrames,
           c.bumpedFrames, c.wraps);
    return ok;
}

int usage()
{
    fprintf(stderr, "usage: hillcar-soak [--frames N] [--seed S] [--write-script FILE]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    long frames = 200000;
    uint32_t seed = 1;
    const char* scriptPath = nullptr;
    for (int k = 1; k < argc; k++) {
        if (k + 1 >= argc) return usage();
        if (strcmp(argv[k], "--frames") == 0) frames = strtol(argv[++k], nullptr, 10);
        else if (strcmp(argv[k], "--seed") == 0) seed = (uint32_t)strtoul(argv[++k], nullptr, 10);
        else if (strcmp(argv[k], "--write-script") == 0) scriptPath = argv[++k];
        else return usage();
    }
    if (frames < 1) return usage();

    std::string script = makeScript(seed, frames);
    if (scriptPath) {
        FILE* f = fopen(scriptPath, "w");
        if (!f || fwrite(script.data(), 1, script.size(), f) != script.size() || fclose(f) != 0) {
            fprintf(stderr, "hillcar-soak: cannot write %s\n", scriptPath);
            return 2;
        }
    }

    // Big (two heightmaps): static, like the world itself.
    static Soak soak;
    makeBsizes(soak.bsizes);
    FILE* trace = fopen("/dev/null", "w");
    if (!trace) {
        fprintf(stderr, "hillcar-soak: cannot open /dev/null\n");
        return 2;
    }
    int status = runReplay(script.data(), script.size(), trace, stderr, 0, afterFrame, &soak);
    fclose(trace);

    bool ok = status == 0 && soak.frame == frames;
    if (!ok) fprintf(stderr, "hillcar-soak: replay status %d after %ld of %ld frames\n", status,
                     soak.frame, frames);
    long failed = 0;
    for (int c = 0; c < CHECKS; c++) {
        if (soak.failures[c])
            fprintf(stderr, "%ld failures: %s\n", soak.failures[c], checkNames[c]);
        failed += soak.failures[c];
    }
    if (!reportCoverage(soak)) ok = false;
    printf("soak: %ld frames, seed %" PRIu32 ", %d checks each, %ld failures\n", soak.frame, seed,
           (int)CHECKS, failed);
    return ok && failed == 0 ? 0 : 1;
}
