// hillcar-replay running real frames: scripts in, traces and dumps out.
#ifdef HILLCAR_HAVE_REPLAY

#include "frame/frame.h"
#include "geometry/vec3.h"
#include "platform/scripted/gl_record.h"
#include "platform/scripted/scripted.h"
#include "terrain/heightmap.h"
#include "replay/run.h"
#include "test_capture.h"
#include "test_replay_json.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

struct Outcome {
    int status;
    std::string out, err;
    std::vector<Json> traces; // the frame lines, parsed
    std::vector<Json> dumps;  // every other line, parsed
};

Outcome replay(const std::string& script, long maxFrames = 0)
{
    Capture outCapture, errCapture;
    FILE* out = openCapture(outCapture);
    FILE* err = openCapture(errCapture);
    Outcome o;
    o.status = runReplay(script.data(), script.size(), out, err, maxFrames);
    o.out = takeCapture(outCapture);
    o.err = takeCapture(errCapture);
    for (const std::string& line : splitLines(o.out)) {
        Json j;
        EXPECT_TRUE(parseJson(line, j)) << line.substr(0, 200);
        if (j.has("frame")) o.traces.push_back(std::move(j));
        else o.dumps.push_back(std::move(j));
    }
    return o;
}

struct ReplayRun : ::testing::Test {
    void TearDown() override
    {
        bsize = 4.0f;
        scriptReleaseKeys();
    }
};

std::string callName(const Json& call)
{
    return call[0].text;
}

TEST_F(ReplayRun, FrameTimeIsTheTickDifferenceBoundedToAQuarterSecond)
{
    Outcome o = replay("frame 1000\nframe 1016\nframe 61016\nframe 61016\nframe 61049\n");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    ASSERT_EQ(o.traces.size(), 5u);
    const unsigned ticks[] = {1000, 1016, 61016, 61016, 61049};
    const float dts[] = {0.0f, 0.016f, 0.25f, 0.0f, 0.033f};
    for (int k = 0; k < 5; k++) {
        EXPECT_EQ(o.traces[k]["frame"].i(), k + 1);
        EXPECT_EQ(o.traces[k]["tick"].i(), ticks[k]);
        EXPECT_EQ(o.traces[k]["dt"].f(), dts[k]) << "frame " << k + 1;
    }
}

// Every number of a trace line: a non-finite value prints as null.
bool allFinite(const Json& j)
{
    if (j.type == Json::Null) return false;
    for (const Json& item : j.items)
        if (!allFinite(item)) return false;
    for (const auto& field : j.fields)
        if (!allFinite(field.second)) return false;
    return true;
}

vec3 traceVec3(const Json& v)
{
    return vec3(v[0].f(), v[1].f(), v[2].f());
}

// A process stopped for a minute, several times while driving: each gap is a
// quarter-second frame, so the rig keeps driving, lands and tows in one piece.
TEST_F(ReplayRun, MinuteStallsWhileDrivingLeaveTheRigWhole)
{
    std::string script = "seed 11\nrepeat 400 1000 16\nrepeat 300 7400 16 UP\n";
    unsigned tick = 12200;
    for (int k = 0; k < 6; k++) {
        tick += 60000;
        script += "frame " + std::to_string(tick) + (k % 2 ? " UP LEFT\n" : " UP\n");
        script += "repeat 40 " + std::to_string(tick + 16) + " 16 UP\n";
        tick += 16 * 41;
    }
    script += "repeat 300 " + std::to_string(tick) + " 16\n";
    Outcome o = replay(script);
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.traces.size(), 700u + 6 * 41 + 300);

    int stalls = 0;
    for (const Json& t : o.traces) {
        const long long frame = t["frame"].i();
        ASSERT_TRUE(allFinite(t)) << "frame " << frame;
        if (t["dt"].f() == 0.25f) stalls++;
        const vec3 nose = traceVec3(t["rnos"]), rear = traceVec3(t["rpos"][0]), hitch = traceVec3(t["rais"]);
        ASSERT_NEAR(retDis(nose, rear), 3.0, 1e-3) << "frame " << frame;
        ASSERT_NEAR(retDis(rear, hitch), 1.5, 1e-3) << "frame " << frame;
        ASSERT_LT(std::fabs(t["rspd"].f()), 31.0f) << "frame " << frame;
    }
    EXPECT_EQ(stalls, 6);

    // Standing again on the ground it drove over: the axle centres 0.3 above it.
    const RigState& rig = theWorld().rig;
    const float (*w)[GRID] = theWorld().terrain.w;
    EXPECT_NEAR(rig.rpos[0].y, getGround(rig.rpos[0], w) + 0.3f, 0.05f);
    EXPECT_NEAR(rig.vpos[0].y, getGround(rig.vpos[0], w) + 0.3f, 0.05f);
}

TEST_F(ReplayRun, RepeatStepsTheTickAndWrapsPast32Bits)
{
    Outcome o = replay("repeat 3 4294967286 10\nrepeat 2 500 0\nframe 4294967295\nframe 15\n");
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.traces.size(), 7u);
    const long long ticks[] = {4294967286, 0, 10, 500, 500, 4294967295, 15};
    const float dts[] = {0, 0.01f, 0.01f, 0.25f, 0, 0.25f, 0.016f};
    for (int k = 0; k < 7; k++) {
        EXPECT_EQ(o.traces[k]["frame"].i(), k + 1);
        EXPECT_EQ(o.traces[k]["tick"].i(), ticks[k]) << k;
        EXPECT_EQ(o.traces[k]["dt"].f(), dts[k]) << k;
    }
}

TEST_F(ReplayRun, TheFirstFrameBuildsTheWorld)
{
    Outcome o = replay("frame 0\n");
    ASSERT_EQ(o.traces.size(), 1u);
    const Json& t = o.traces[0];
    EXPECT_FALSE(t["init"].b);
    // The start-up script's table and its first acting frame.
    const int pro[] = {11, 3, 11, -1};
    const int pam[] = {250, 15, 50};
    for (int k = 0; k < 4; k++) EXPECT_EQ(t["pro"][k].i(), pro[k]);
    for (int k = 0; k < 3; k++) EXPECT_EQ(t["pam"][k].i(), pam[k]);
    EXPECT_EQ(t["ptime"].i(), 0);
    EXPECT_EQ(t["ptim2"].i(), 1);
    EXPECT_TRUE(t["dosmooth"].b);
    EXPECT_EQ(t["opnum"].i(), -1);
    EXPECT_EQ(t["bsize"].f(), 4.0f);
    // The random terrain is not flat.
    EXPECT_NE(t["wsum"].num(), 0.0);
}

TEST_F(ReplayRun, GlRecordRunsInStageOrder)
{
    Outcome o = replay("frame 1000\nframe 1016 UP\ndump gl\n");
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.dumps.size(), 1u);
    const Json& gl = o.dumps[0]["gl"];
    ASSERT_EQ(gl.type, Json::Array);
    const size_t n = gl.items.size();
    ASSERT_GT(n, 10u);

    EXPECT_EQ(callName(gl[0]), "glClear");
    ASSERT_EQ(gl[0].items.size(), 2u);
    EXPECT_EQ(gl[0][1].text, "16640"); // colour and depth bits, as an integer
    EXPECT_EQ(callName(gl[1]), "glLoadIdentity");
    EXPECT_EQ(gl[1].items.size(), 1u);
    EXPECT_EQ(callName(gl[n - 2]), "glPopMatrix");
    EXPECT_EQ(callName(gl[n - 1]), "swap");

    size_t clearColour = n, lookAt = n, push = n, firstBegin = n;
    int depth = 0, pushes = 0, pops = 0, swaps = 0, clearColours = 0, lookAts = 0;
    for (size_t k = 0; k < n; k++) {
        std::string name = callName(gl[k]);
        if (name == "glClearColor") clearColour = k, clearColours++;
        if (name == "gluLookAt") lookAt = k, lookAts++;
        if (name == "glPushMatrix") push = k, pushes++;
        if (name == "glPopMatrix") pops++;
        if (name == "swap") swaps++;
        if (name == "glBegin") {
            if (firstBegin == n) firstBegin = k;
            EXPECT_EQ(depth, 0) << "glBegin inside a primitive at call " << k;
            depth++;
        }
        if (name == "glEnd") depth--;
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(clearColours, 1);
    EXPECT_EQ(lookAts, 1);
    EXPECT_EQ(pushes, 1);
    EXPECT_EQ(pops, 1);
    EXPECT_EQ(swaps, 1);
    // Clear colour for the next frame, then the camera, then everything drawn
    // under the saved matrix.
    EXPECT_LT(clearColour, lookAt);
    EXPECT_LT(lookAt, push);
    EXPECT_LT(push, firstBegin);

    const Json& cc = gl[clearColour];
    ASSERT_EQ(cc.items.size(), 5u);
    EXPECT_EQ(cc[1].f(), 0.5f);
    EXPECT_EQ(cc[2].f(), 0.8f);
    EXPECT_EQ(cc[3].f(), 1.0f);
    EXPECT_EQ(cc[4].f(), 0.0f);
    EXPECT_EQ(gl[lookAt].items.size(), 10u);
}

TEST_F(ReplayRun, DumpsAgreeWithTheTrace)
{
    Outcome o = replay("seed 3\nrepeat 4 100 16 UP 5\ndump heights\ndump colors\ndump gl\n");
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.traces.size(), 4u);
    ASSERT_EQ(o.dumps.size(), 3u);
    const Json& t = o.traces.back();
    ASSERT_EQ(o.dumps[0].fields.size(), 1u);
    ASSERT_EQ(o.dumps[1].fields.size(), 1u);
    ASSERT_EQ(o.dumps[2].fields.size(), 1u);

    // Sums taken back from the printed floats, in the trace's order, must
    // reproduce the trace's doubles exactly.
    const Json& h = o.dumps[0]["heights"];
    ASSERT_EQ(h.items.size(), 100u);
    double wsum = 0;
    for (const Json& row : h.items) {
        ASSERT_EQ(row.items.size(), 100u);
        for (const Json& x : row.items) wsum += x.f();
    }
    EXPECT_EQ(wsum, t["wsum"].num());

    const Json& c = o.dumps[1]["colors"];
    ASSERT_EQ(c.items.size(), 100u);
    double csum[3] = {0, 0, 0};
    for (const Json& row : c.items) {
        ASSERT_EQ(row.items.size(), 100u);
        for (const Json& rgb : row.items) {
            ASSERT_EQ(rgb.items.size(), 3u);
            for (int k = 0; k < 3; k++) csum[k] += rgb[k].f();
        }
    }
    for (int k = 0; k < 3; k++) EXPECT_EQ(csum[k], t["csum"][k].num()) << k;

    long begins = 0, vertices = 0, colours = 0;
    for (const Json& call : o.dumps[2]["gl"].items) {
        std::string name = callName(call);
        begins += name == "glBegin";
        vertices += name == "glVertex3f";
        colours += name == "glColor3f" || name == "glColor4f";
    }
    EXPECT_EQ(begins, t["gl"]["begins"].i());
    EXPECT_EQ(vertices, t["gl"]["vertices"].i());
    EXPECT_EQ(colours, t["gl"]["colors"].i());
    // 99 x 99 terrain quads at least.
    EXPECT_GE(vertices, 4 * 99 * 99);
}

TEST_F(ReplayRun, SameScriptSameBytesWhateverRanBefore)
{
    const std::string script =
        "seed 11\n"
        "repeat 5 0 16 UP LEFT\n"
        "repeat 3 80 16 3\n"
        "frame 128 RETURN\n"
        "frame 144 R\n"
        "frame 160 SHIFT 2\n"
        "frame 176 D\n"
        "frame 192 V\n"
        "frame 208 ADD\n"
        "frame 224\n"
        "dump heights\ndump colors\ndump gl\n";
    Outcome first = replay(script);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(first.traces.size(), 15u);
    // A run that leaves keys, bsize, view and the terrain changed.
    Outcome other = replay("frame 0\nset bsize 9\nset view 2\nframe 5 SUBTRACT LEFT 7\n");
    ASSERT_EQ(other.status, 0) << other.err;
    Outcome second = replay(script);
    EXPECT_TRUE(first.out == second.out) << "the same script gave different bytes";
    EXPECT_EQ(second.err, "");
}

TEST_F(ReplayRun, SeedChoosesTheTerrain)
{
    Outcome byDefault = replay("frame 0\ndump heights\n");
    Outcome one = replay("# the default, spelled out\nseed 1\nframe 0\ndump heights\n");
    Outcome two = replay("seed 2\nframe 0\ndump heights\n");
    Outcome lastWins = replay("seed 1\nseed 2\nframe 0\ndump heights\n");
    ASSERT_EQ(byDefault.dumps.size(), 1u);
    ASSERT_EQ(two.dumps.size(), 1u);
    EXPECT_EQ(byDefault.out, one.out);
    EXPECT_EQ(two.out, lastWins.out);

    const Json& a = byDefault.dumps[0]["heights"];
    const Json& b = two.dumps[0]["heights"];
    ASSERT_EQ(a.items.size(), 100u);
    ASSERT_EQ(b.items.size(), 100u);
    int differing = 0;
    for (int i = 0; i < 100; i++)
        for (int j = 0; j < 100; j++) differing += a[i][j].text != b[i][j].text;
    // Away from the border (held at 0) nearly every random vertex differs.
    EXPECT_GT(differing, 5000);
}

TEST_F(ReplayRun, RandChoosesTheGeneratorModel)
{
    Outcome glibc = replay("rand glibc\nseed 9\nframe 0\ndump heights\n");
    Outcome msvcrt = replay("seed 9\nrand msvcrt\nframe 0\ndump heights\n");
    Outcome lastWins = replay("rand glibc\nrand msvcrt\nseed 9\nframe 0\ndump heights\n");
    Outcome platform = replay("seed 9\nframe 0\ndump heights\n");
    ASSERT_EQ(glibc.status, 0);
    ASSERT_EQ(msvcrt.dumps.size(), 1u);
    EXPECT_EQ(msvcrt.out, lastWins.out);
    EXPECT_NE(glibc.out, msvcrt.out);
#if defined(__GLIBC__) || defined(_WIN32)
    // On its own C library a model and the library's rand build one world.
#ifdef __GLIBC__
    EXPECT_EQ(glibc.out, platform.out);
#else
    EXPECT_EQ(msvcrt.out, platform.out);
#endif
#endif
}

TEST_F(ReplayRun, SetValuesShowInTheNextFrame)
{
    // With no script playing and no key held, nothing but the pass's limits and
    // border touches the heights, and nothing touches view, bsize or the tables.
    Outcome o = replay("frame 0\n"
                       "set ptime -1\n"
                       "set ptim2 7\n"
                       "set view 3\n"
                       "set bsize 6\n"
                       "set step 9 5 42\n"
                       "set heights 2\n"
                       "set clearcol 0.25 0.5 0.75\n"
                       "frame 16\n"
                       "dump gl\n"
                       "set heights 250\n"
                       "frame 32\n"
                       "set heights 0\n"
                       "set height 50 50 7\n"
                       "set height 0 50 7\n"
                       "frame 48\n"
                       "dump heights\n");
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.traces.size(), 4u);
    const Json& t = o.traces[1];
    EXPECT_EQ(t["ptime"].i(), -1);
    EXPECT_EQ(t["ptim2"].i(), 7);
    EXPECT_EQ(t["view"].i(), 3);
    EXPECT_EQ(t["bsize"].f(), 6.0f);
    EXPECT_EQ(t["pro"][9].i(), 5);
    EXPECT_EQ(t["pam"][9].i(), 42);
    EXPECT_EQ(t["opnum"].i(), -1);
    // 98 x 98 inner vertices at 2, the 396 border vertices held at 0.
    EXPECT_EQ(t["wsum"].num(), 98.0 * 98.0 * 2.0);
    EXPECT_EQ(t["clearcol"][0].f(), 0.25f);
    EXPECT_EQ(t["clearcol"][1].f(), 0.5f);
    EXPECT_EQ(t["clearcol"][2].f(), 0.75f);
    bool sawClearColour = false;
    for (const Json& call : o.dumps[0]["gl"].items) {
        if (callName(call) != "glClearColor") continue;
        sawClearColour = true;
        EXPECT_EQ(call[1].f(), 0.25f);
        EXPECT_EQ(call[2].f(), 0.5f);
        EXPECT_EQ(call[3].f(), 0.75f);
    }
    EXPECT_TRUE(sawClearColour);

    // Heights above 100 are limited to 100.
    EXPECT_EQ(o.traces[2]["wsum"].num(), 98.0 * 98.0 * 100.0);

    // One inner vertex keeps its height; one on the border is held at 0.
    EXPECT_EQ(o.traces[3]["wsum"].num(), 7.0);
    const Json& h = o.dumps[1]["heights"];
    EXPECT_EQ(h[50][50].f(), 7.0f);
    EXPECT_EQ(h[0][50].f(), 0.0f);
}

TEST_F(ReplayRun, CommentsBlanksAndLineEnds)
{
    Outcome o = replay("# a comment\n\n \t \nframe 0 UP# comment after a key\r\n"
                       "repeat 2 16 16\t\tLEFT   RIGHT LEFT\r\nframe 64");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.traces.size(), 4u);
    EXPECT_EQ(o.traces.back()["tick"].i(), 64);

    Outcome empty = replay("");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "");

    // A dump before any frame shows the fresh world.
    Outcome early = replay("dump heights\ndump gl\n");
    ASSERT_EQ(early.status, 0) << early.err;
    ASSERT_EQ(early.dumps.size(), 2u);
    EXPECT_EQ(early.dumps[0]["heights"][99][99].f(), 0.0f);
    EXPECT_EQ(early.dumps[1]["gl"].items.size(), 0u);
}

// ---------------------------------------------------------------- errors

struct BadScript {
    std::string script;
    int line;
    const char* reason; // a part of the message
    size_t frames;      // frames run before the bad line
};

void expectRefused(const BadScript& b, long maxFrames = 0)
{
    Outcome o = replay(b.script, maxFrames);
    SCOPED_TRACE(b.script.substr(0, 80));
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.traces.size(), b.frames);
    std::string prefix = "hillcar-replay: line " + std::to_string(b.line) + ": ";
    EXPECT_EQ(o.err.compare(0, prefix.size(), prefix), 0) << o.err;
    EXPECT_NE(o.err.find(b.reason), std::string::npos) << o.err;
    ASSERT_FALSE(o.err.empty());
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << "one line: " << o.err;
    EXPECT_LT(o.err.size(), 400u);
    for (unsigned char c : o.err)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << "raw byte " << (int)c << " in " << o.err;
}

TEST_F(ReplayRun, BadLinesStopTheRunWithTheirNumber)
{
    const BadScript bad[] = {
        {"frame 0\nbogus 1\nframe 16\n", 2, "unknown directive \"bogus\"", 1},
        {"FRAME 0\n", 1, "unknown directive", 0},
        {"frame 0 up\n", 1, "unknown key \"up\"", 0},
        {"frame 0\nframe 16 UP F1\n", 2, "unknown key \"F1\"", 1},
        {"frame 0\nrepeat 2 16 16 LEFT AA\n", 2, "unknown key \"AA\"", 1},
        {"frame\n", 1, "missing tick count", 0},
        {"frame 12x\n", 1, "malformed", 0},
        {"frame -1\n", 1, "malformed", 0},
        {"frame 4294967296\n", 1, "out of range", 0},
        {"frame 4294967295\nframe 99999999999999999999999\n", 2, "out of range", 1},
        {"repeat 0 0 16\n", 1, "at least 1", 0},
        {"repeat 2 0\n", 1, "missing tick step", 0},
        {"repeat 2\n", 1, "missing tick count", 0},
        {"repeat\n", 1, "missing frame count", 0},
        {"repeat 2 0 -16\n", 1, "malformed", 0},
        {"repeat 1 0 4294967296\n", 1, "out of range", 0},
        {"seed\n", 1, "missing seed", 0},
        {"seed 1 2\n", 1, "unexpected \"2\"", 0},
        {"seed -1\n", 1, "malformed", 0},
        {"frame 0\nseed 3\n", 2, "seed after the first frame", 1},
        {"rand\n", 1, "missing generator name", 0},
        {"rand ucrt\n", 1, "unknown generator \"ucrt\"", 0},
        {"rand glibc msvcrt\n", 1, "unexpected \"msvcrt\"", 0},
        {"frame 0\nrand glibc\n", 2, "rand after the first frame", 1},
        {"set bsize 2\nframe 0\n", 1, "set before the first frame", 0},
        {"frame 0\nset\n", 2, "missing set name", 1},
        {"frame 0\nset wind 1\n", 2, "unknown set name \"wind\"", 1},
        {"frame 0\nset bsize\n", 2, "missing", 1},
        {"frame 0\nset bsize nan\n", 2, "malformed", 1},
        {"frame 0\nset bsize 1e39\n", 2, "out of range", 1},
        {"frame 0\nset view 3 4\n", 2, "unexpected \"4\"", 1},
        {"frame 0\nset rnos 1 2\n", 2, "missing", 1},
        {"frame 0\nset height 100 0 1\n", 2, "out of range", 1},
        {"frame 0\nset height 0 -1 1\n", 2, "out of range", 1},
        {"frame 0\nset step 10 0 0\n", 2, "out of range", 1},
        {"frame 0\nset ptime 11\n", 2, "out of range", 1},
        {"frame 0\nset canturn yes\n", 2, "0 or 1", 1},
        {"dump\n", 1, "missing dump name", 0},
        {"frame 0\ndump sky\n", 2, "unknown dump \"sky\"", 1},
        {"frame 0\ndump gl now\n", 2, "unexpected \"now\"", 1},
        {"# one\n\n   \n# four\nframe 0\r\nframe 16\nnope\n", 7, "unknown directive", 2},
        {std::string("frame 0\nfr\0me 16\n", 17), 2, "NUL byte", 1},
        {std::string("frame 0 # c\0mment\n", 18), 1, "NUL byte", 0},
        {"frame 0\n\xff\xfe\x01\x80\n", 2, "unknown directive \"\\xff\\xfe\\x01\\x80\"", 1},
        {"frame 0\nframe 16 \xc3\xa9\n", 2, "unknown key \"\\xc3\\xa9\"", 1},
        {"frame 0\nframe\v16\n", 2, "unknown directive", 1},
    };
    for (const BadScript& b : bad) expectRefused(b);
}

TEST_F(ReplayRun, FrameCapRefusesTheDirectiveThatWouldPassIt)
{
    expectRefused({"repeat 5 0 16\n", 1, "more than 3 frames", 0}, 3);
    expectRefused({"frame 0\nframe 1\nframe 2\nframe 3\n", 4, "more than 3 frames", 3}, 3);
    expectRefused({"repeat 2 0 16\nrepeat 2 32 16\n", 2, "more than 3 frames", 2}, 3);
    Outcome o = replay("repeat 3 0 16\n", 3);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.traces.size(), 3u);
}

// Stops after the frame numbered stopAt, noting each frame's GL call count.
struct Stopper {
    int stopAt;
    int seen;
    std::vector<size_t> calls;
};

bool stopAfter(const World&, const FrameValues&, void* data)
{
    Stopper& s = *static_cast<Stopper*>(data);
    s.calls.push_back(glrecSize());
    return ++s.seen < s.stopAt;
}

TEST_F(ReplayRun, AnObserverEndsTheRunInsideARepeatWithItsFrameStillRecorded)
{
    // The bad line after the stop is never read.
    const std::string script = "repeat 5 0 16\nframe 80\ndump gl\nnonsense\n";
    Capture outCapture, errCapture;
    FILE* out = openCapture(outCapture);
    FILE* err = openCapture(errCapture);
    Stopper s = {3, 0, {}};
    int status = runReplay(script.data(), script.size(), out, err, 0, stopAfter, &s);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(splitLines(takeCapture(outCapture)).size(), 3u);
    EXPECT_EQ(takeCapture(errCapture), "");
    ASSERT_EQ(s.calls.size(), 3u);
    for (size_t n : s.calls) EXPECT_GT(n, 40000u) << "a whole frame's calls";
}

TEST_F(ReplayRun, HugeLinesAndGarbage)
{
    // A megabyte line of keys is one frame.
    std::string keys = "frame 0";
    while (keys.size() < (1u << 20)) keys += " A UP";
    Outcome many = replay(keys + "\n");
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(many.traces.size(), 1u);

    // A megabyte token is reported short.
    expectRefused({std::string(1 << 20, 'x') + "\n", 1, "unknown directive \"xxxx", 0});
    expectRefused({"frame 0\nset rspd 1" + std::string(1 << 20, '0') + "\n", 2, "out of range", 1});
    // A megabyte comment is nothing.
    Outcome comment = replay("#" + std::string(1 << 20, '#') + "\nframe 0\n");
    EXPECT_EQ(comment.status, 0);
    EXPECT_EQ(comment.traces.size(), 1u);

    // Random bytes after a good frame: refused at line 2, never a crash.
    unsigned state = 12345;
    for (int k = 0; k < 20; k++) {
        std::string junk = "frame 0\n";
        for (int b = 0; b < 300; b++) {
            state = state * 1103515245u + 12345u;
            char c = (char)(state >> 16);
            // No newline, '#' or blank at the start, so that line 2 holds a token.
            if (b == 0 && (c == '\n' || c == '#' || c == ' ' || c == '\t' || c == '\r')) c = '?';
            junk += c == '\n' ? '?' : c;
        }
        Outcome o = replay(junk);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.traces.size(), 1u);
        EXPECT_EQ(o.err.compare(0, 22, "hillcar-replay: line 2"), 0) << o.err;
    }
}

// ---------------------------------------------------------------- the program

struct Program {
    int status;
    std::string out, err;
};

std::string slurp(FILE* f)
{
    std::string s;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

#ifdef _WIN32
// The command interpreter quotes with double quotes.
std::string shellQuoted(const std::string& s)
{
    return "\"" + s + "\"";
}

// A new file's name in the user's temporary directory.
std::string tempName()
{
    char* name = _tempnam(nullptr, "hillcar-replay-");
    std::string s = name ? name : "";
    free(name);
    return s;
}

int exitStatus(int raw)
{
    return raw;
}
#else
std::string shellQuoted(const std::string& s)
{
    return "'" + s + "'";
}

std::string tempName()
{
    char name[] = "/tmp/hillcar-replay-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) return "";
    close(fd);
    return name;
}

int exitStatus(int raw)
{
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

std::string writeTempFile(const std::string& text)
{
    std::string name = tempName();
    EXPECT_NE(name, "");
    FILE* f = fopen(name.c_str(), "wb");
    EXPECT_NE(f, nullptr) << name;
    if (f) {
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    return name;
}

Program runProgram(const std::string& args, const std::string* input)
{
    std::string inName = writeTempFile(input ? *input : std::string());
    std::string errName = tempName();
    std::string command = shellQuoted(HILLCAR_REPLAY_BIN) + " " + args + " < " + shellQuoted(inName) +
                          " 2> " + shellQuoted(errName);
#ifdef _WIN32
    // cmd /c takes off the first and the last quote of a line that starts
    // with one: give it a pair to take.
    command = "\"" + command + "\"";
#endif
    Program p;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr) << command;
    if (!pipe) return Program{-1, "", ""};
#ifdef _WIN32
    // The trace is bytes: no line ends made of them on the way.
    _setmode(_fileno(pipe), _O_BINARY);
#endif
    p.out = slurp(pipe);
    p.status = exitStatus(pclose(pipe));
    // Text mode: a Windows program writes its messages with CRLF line ends.
    FILE* errFile = fopen(errName.c_str(), "r");
    if (errFile) {
        p.err = slurp(errFile);
        fclose(errFile);
    }
    remove(inName.c_str());
    remove(errName.c_str());
    return p;
}

TEST_F(ReplayRun, ProgramReadsAFileOrStandardInput)
{
    const std::string script = "seed 5\nrepeat 3 0 16 UP\ndump heights\n";
    Outcome inProcess = replay(script);
    ASSERT_EQ(inProcess.status, 0);

    Program fromStdin = runProgram("", &script);
    EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
    EXPECT_EQ(fromStdin.err, "");
    EXPECT_TRUE(fromStdin.out == inProcess.out);

    std::string name = writeTempFile(script);
    Program fromFile = runProgram(shellQuoted(name), nullptr);
    remove(name.c_str());
    EXPECT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_TRUE(fromFile.out == inProcess.out);
}

TEST_F(ReplayRun, ProgramStatusTwoOnBadScriptsAndMissingFiles)
{
    const std::string script = "frame 0\nframe 16\nwhat\n";
    Program bad = runProgram("", &script);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "hillcar-replay: line 3: unknown directive \"what\"\n");
    EXPECT_EQ(splitLines(bad.out).size(), 2u) << "frames already run stay printed";

    Program missing = runProgram("/nonexistent/dir/script.txt", nullptr);
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    const std::string prefix = "hillcar-replay: cannot open /nonexistent/dir/script.txt: ";
    EXPECT_EQ(missing.err.compare(0, prefix.size(), prefix), 0) << missing.err;
}

TEST_F(ReplayRun, ProgramOptions)
{
    const std::string script = "seed 5\nrepeat 3 0 16 UP\n";
    const std::string usage = "usage: hillcar-replay [SCRIPT | -]\n"
                              "       hillcar-replay --help | --version\n";
    const std::string trace = replay(script).out;
    const struct {
        const char* args;
        int status;
        std::string outStart; // what standard output begins with
        std::string err;
        bool text;            // standard output is text: CR LF line ends on Windows
    } cases[] = {
        {"-", 0, trace, "", false}, // standard input, as with no argument
        {"--help", 0, usage + "\n", "", true},
        {"--version", 0, "hillcar-replay ", "", true},
        {"--bogus", 2, "", "hillcar-replay: unknown option '--bogus'\n" + usage, true},
        {"-x", 2, "", "hillcar-replay: unknown option '-x'\n" + usage, true},
        {"a b", 2, "", usage, true},
    };
    for (const auto& c : cases) {
        Program p = runProgram(c.args, &script);
        if (c.text) p.out.erase(std::remove(p.out.begin(), p.out.end(), '\r'), p.out.end());
        EXPECT_EQ(p.status, c.status) << c.args;
        EXPECT_EQ(p.out.compare(0, c.outStart.size(), c.outStart), 0) << c.args << ": " << p.out;
        EXPECT_EQ(p.err, c.err) << c.args;
        if (c.status != 0) {
            EXPECT_EQ(p.out, "") << c.args;
        }
    }
    // The help names every directive.
    std::string help = runProgram("--help", nullptr).out;
    for (const char* directive : {"seed N", "rand glibc", "frame T", "repeat K", "set NAME", "dump "})
        EXPECT_NE(help.find(directive), std::string::npos) << directive;
}

} // namespace

#endif
