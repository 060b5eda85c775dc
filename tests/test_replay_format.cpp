// The trace line and the `set` directive of hillcar-replay, on worlds of the
// tests' own (no frame runs here).
#ifdef HILLCAR_HAVE_REPLAY

#include "replay/run.h"
#include "replay/trace.h"
#include "test_capture.h"
#include "test_replay_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>

namespace {

std::string traceOf(const World& world, const FrameValues& values, GlCounts gl, uint64_t frame,
                    uint32_t tick)
{
    Capture capture;
    FILE* out = openCapture(capture);
    replayWriteTrace(out, frame, tick, world, values, gl);
    return takeCapture(capture);
}

// The keys of a trace line, in their order.
const char* const traceKeys[] = {
    "frame",  "tick",    "dt",      "opnum",   "dorandom", "dosmooth", "bumped",  "bsize",
    "init",   "ptime",   "ptim2",   "pro",     "pam",      "rtrn",     "rspd",    "rrot",
    "vrot",   "rafall",  "rbfall",  "vafall",  "vbfall",   "aimind",   "timeout", "btntime",
    "view",   "vBtn",    "addBtn",  "subBtn",  "canturn",  "candrive", "tra",     "rnos",
    "rais",   "clearcol", "rpos",   "vnos",    "vpos",     "wsum",     "csum",    "gl",
};

void expectVec3(const Json& j, vec3 v)
{
    ASSERT_EQ(j.type, Json::Array);
    ASSERT_EQ(j.items.size(), 3u);
    EXPECT_EQ(j[0].f(), v.x);
    EXPECT_EQ(j[1].f(), v.y);
    EXPECT_EQ(j[2].f(), v.z);
}

void expectFrame(const Json& j, const positions& p)
{
    ASSERT_EQ(j.type, Json::Array);
    ASSERT_EQ(j.items.size(), 4u);
    for (int k = 0; k < 4; k++) expectVec3(j[k], p[k]);
}

struct ReplayTraceFormat : ::testing::Test {
    std::unique_ptr<World> world{new World()};
    void TearDown() override { bsize = 4.0f; }
};

TEST_F(ReplayTraceFormat, EveryItemInItsPlaceReadsBackExactly)
{
    World& w = *world;
    // Heights i on row i: 100 rows of 100, so the sum is 100 * (0 + ... + 99).
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) {
            w.terrain.w[i][j] = (float)i;
            w.terrain.c[i][j] = vec3(0.25f, 0.5f, j == 0 ? 1.0f : 0.0f);
        }
    w.terrain.init = false;
    w.terrain.ptime = 3;
    w.terrain.ptim2 = -7;
    for (int k = 0; k < 10; k++) {
        w.terrain.pro[k] = 11 * k - 5;
        w.terrain.pam[k] = 1000 + k;
    }
    w.terrain.addBtn = true;
    w.camera.vBtn = true;
    w.camera.view = 9;
    w.camera.tra = vec3(1.0f / 3, -2.0f / 7, 1e-20f);
    w.rig.rtrn = 1.0f / 3;
    w.rig.rspd = -2.5e-7f;
    w.rig.rrot = 1e30f;
    w.rig.vrot = std::numeric_limits<float>::quiet_NaN();
    w.rig.rafall = std::numeric_limits<float>::infinity();
    w.rig.rbfall = -0.0f;
    w.rig.vafall = 123456789.0f;
    w.rig.vbfall = 0.1f;
    w.rig.aimind = 4;
    w.rig.timeout = 0.3f;
    w.rig.canturn = true;
    w.rig.rnos = vec3(20.5f, 0.7f, -3);
    w.rig.rais = vec3(16.9391327f, 1.99490881f, 3.4e38f);
    for (int k = 0; k < 4; k++) {
        w.rig.rpos[k] = vec3(k + 0.1f, k + 0.2f, k + 0.3f);
        w.rig.vnos[k] = vec3(-k - 0.1f, -k - 0.2f, -k - 0.3f);
        w.rig.vpos[k] = vec3(k * 1e-3f, k * 1e3f, k / 7.0f);
    }
    w.sky.clearcol = vec3(0.5f, 0.8f, 1.0f);
    w.sky.btntime = 7;
    bsize = 6.75f;
    FrameValues fv = {};
    fv.dt = 0.016f;
    fv.opnum = 7;
    fv.dorandom = true;
    fv.bumped[0] = fv.bumped[2] = fv.bumped[4] = true;

    std::string line = traceOf(w, fv, GlCounts{3, 40000, 40001}, 123456789012ull, 4294967295u);
    ASSERT_EQ(line.back(), '\n');
    ASSERT_EQ(line.find('\n'), line.size() - 1) << "one line per frame";
    Json t;
    ASSERT_TRUE(parseJson(line, t)) << line;
    ASSERT_EQ(t.type, Json::Object);
    ASSERT_EQ(t.fields.size(), sizeof traceKeys / sizeof traceKeys[0]);
    for (size_t k = 0; k < t.fields.size(); k++) EXPECT_EQ(t.fields[k].first, traceKeys[k]);

    EXPECT_EQ(t["frame"].text, "123456789012");
    EXPECT_EQ(t["tick"].text, "4294967295");
    EXPECT_EQ(t["dt"].f(), 0.016f);
    EXPECT_EQ(t["opnum"].i(), 7);
    EXPECT_TRUE(t["dorandom"].b);
    EXPECT_EQ(t["dosmooth"].type, Json::Bool);
    EXPECT_FALSE(t["dosmooth"].b);
    ASSERT_EQ(t["bumped"].items.size(), 5u);
    for (int k = 0; k < 5; k++) EXPECT_EQ(t["bumped"][k].b, k % 2 == 0) << k;
    EXPECT_EQ(t["bsize"].f(), 6.75f);
    EXPECT_FALSE(t["init"].b);
    EXPECT_EQ(t["ptime"].i(), 3);
    EXPECT_EQ(t["ptim2"].i(), -7);
    ASSERT_EQ(t["pro"].items.size(), 10u);
    ASSERT_EQ(t["pam"].items.size(), 10u);
    for (int k = 0; k < 10; k++) {
        EXPECT_EQ(t["pro"][k].i(), 11 * k - 5);
        EXPECT_EQ(t["pam"][k].i(), 1000 + k);
    }
    EXPECT_EQ(t["rtrn"].f(), 1.0f / 3);
    EXPECT_EQ(t["rspd"].f(), -2.5e-7f);
    EXPECT_EQ(t["rrot"].f(), 1e30f);
    EXPECT_EQ(t["vrot"].type, Json::Null);
    EXPECT_EQ(t["rafall"].type, Json::Null);
    EXPECT_EQ(t["rbfall"].f(), 0.0f);
    EXPECT_TRUE(std::signbit(t["rbfall"].f()));
    EXPECT_EQ(t["vafall"].f(), 123456789.0f);
    EXPECT_EQ(t["vbfall"].f(), 0.1f);
    EXPECT_EQ(t["aimind"].i(), 4);
    EXPECT_EQ(t["timeout"].f(), 0.3f);
    EXPECT_EQ(t["btntime"].f(), 7.0f);
    EXPECT_EQ(t["view"].i(), 9);
    EXPECT_TRUE(t["vBtn"].b);
    EXPECT_TRUE(t["addBtn"].b);
    EXPECT_FALSE(t["subBtn"].b);
    EXPECT_TRUE(t["canturn"].b);
    EXPECT_FALSE(t["candrive"].b);
    expectVec3(t["tra"], w.camera.tra);
    expectVec3(t["rnos"], w.rig.rnos);
    expectVec3(t["rais"], w.rig.rais);
    expectVec3(t["clearcol"], w.sky.clearcol);
    expectFrame(t["rpos"], w.rig.rpos);
    expectFrame(t["vnos"], w.rig.vnos);
    expectFrame(t["vpos"], w.rig.vpos);
    EXPECT_EQ(t["wsum"].num(), 495000.0);
    ASSERT_EQ(t["csum"].items.size(), 3u);
    EXPECT_EQ(t["csum"][0].num(), 2500.0);
    EXPECT_EQ(t["csum"][1].num(), 5000.0);
    EXPECT_EQ(t["csum"][2].num(), 100.0);
    const Json& gl = t["gl"];
    ASSERT_EQ(gl.fields.size(), 3u);
    EXPECT_EQ(gl.fields[0].first, "begins");
    EXPECT_EQ(gl.fields[1].first, "vertices");
    EXPECT_EQ(gl.fields[2].first, "colors");
    EXPECT_EQ(gl["begins"].i(), 3);
    EXPECT_EQ(gl["vertices"].i(), 40000);
    EXPECT_EQ(gl["colors"].i(), 40001);
}

TEST_F(ReplayTraceFormat, SumsAreDoublesAndNonFiniteSumsPrintNull)
{
    World& w = *world;
    // 0.1f is not 0.1: 10,000 of them summed in double keep the float's error
    // exactly, which a float sum would not.
    for (auto& row : w.terrain.w)
        for (float& h : row) h = 0.1f;
    double expected = 0;
    for (int k = 0; k < GRID * GRID; k++) expected += (double)0.1f;
    w.terrain.c[3][4] = vec3(0, std::numeric_limits<float>::infinity(), 0);

    Json t;
    ASSERT_TRUE(parseJson(traceOf(w, FrameValues{}, GlCounts{0, 0, 0}, 1, 0), t));
    EXPECT_EQ(t["wsum"].num(), expected);
    EXPECT_EQ(t["csum"][0].num(), 0.0);
    EXPECT_EQ(t["csum"][1].type, Json::Null);
    EXPECT_EQ(t["csum"][2].num(), 0.0);
}

// ---------------------------------------------------------------- set

bool set(World& w, const char* args, std::string* why = nullptr)
{
    char reason[256] = "";
    bool ok = replayApplySet(w, args, strlen(args), reason, sizeof reason);
    if (why) *why = reason;
    if (ok) EXPECT_STREQ(reason, "") << args;
    else EXPECT_STRNE(reason, "") << args;
    return ok;
}

using ReplaySet = ReplayTraceFormat;

TEST_F(ReplaySet, EachFloatNameWritesItsItem)
{
    const struct {
        const char* name;
        std::function<float(const World&)> item;
    } items[] = {
        {"bsize", [](const World&) { return bsize; }},
        {"rtrn", [](const World& w) { return w.rig.rtrn; }},
        {"rspd", [](const World& w) { return w.rig.rspd; }},
        {"rrot", [](const World& w) { return w.rig.rrot; }},
        {"vrot", [](const World& w) { return w.rig.vrot; }},
        {"rafall", [](const World& w) { return w.rig.rafall; }},
        {"rbfall", [](const World& w) { return w.rig.rbfall; }},
        {"vafall", [](const World& w) { return w.rig.vafall; }},
        {"vbfall", [](const World& w) { return w.rig.vbfall; }},
        {"timeout", [](const World& w) { return w.rig.timeout; }},
        {"btntime", [](const World& w) { return w.sky.btntime; }},
    };
    for (const auto& e : items) {
        *world = World();
        std::string line = std::string(e.name) + "  \t-2.75";
        ASSERT_TRUE(set(*world, line.c_str())) << line;
        EXPECT_EQ(e.item(*world), -2.75f) << e.name;
        // No other float item moved.
        for (const auto& other : items) {
            if (&other == &e) continue;
            EXPECT_NE(other.item(*world), -2.75f) << e.name << " " << other.name;
        }
        bsize = 4.0f;
    }
}

TEST_F(ReplaySet, IntegersFlagsAndIndexes)
{
    World& w = *world;
    EXPECT_TRUE(set(w, "view -2147483648"));
    EXPECT_EQ(w.camera.view, INT32_MIN);
    EXPECT_TRUE(set(w, "aimind 2147483647"));
    EXPECT_EQ(w.rig.aimind, INT32_MAX);
    EXPECT_TRUE(set(w, "ptim2 +12"));
    EXPECT_EQ(w.terrain.ptim2, 12);

    // The stepper's own states are -1 (idle) to 10 (past step 9).
    EXPECT_TRUE(set(w, "ptime -1"));
    EXPECT_EQ(w.terrain.ptime, -1);
    EXPECT_TRUE(set(w, "ptime 10"));
    EXPECT_EQ(w.terrain.ptime, 10);
    EXPECT_FALSE(set(w, "ptime 11"));
    EXPECT_FALSE(set(w, "ptime -2"));
    EXPECT_EQ(w.terrain.ptime, 10);

    EXPECT_TRUE(set(w, "canturn 1"));
    EXPECT_TRUE(set(w, "candrive 1"));
    EXPECT_TRUE(w.rig.canturn && w.rig.candrive);
    EXPECT_TRUE(set(w, "candrive 0"));
    EXPECT_TRUE(w.rig.canturn);
    EXPECT_FALSE(w.rig.candrive);
    std::string why;
    EXPECT_FALSE(set(w, "canturn 2", &why));
    EXPECT_NE(why.find("0 or 1"), std::string::npos) << why;
    EXPECT_FALSE(set(w, "canturn true"));
    EXPECT_FALSE(set(w, "canturn 01"));
    EXPECT_TRUE(w.rig.canturn);

    EXPECT_TRUE(set(w, "step 9 -1 -40"));
    EXPECT_EQ(w.terrain.pro[9], -1);
    EXPECT_EQ(w.terrain.pam[9], -40);
    EXPECT_TRUE(set(w, "step 0 11 250"));
    EXPECT_EQ(w.terrain.pro[0], 11);
    EXPECT_EQ(w.terrain.pam[0], 250);
    EXPECT_FALSE(set(w, "step 10 1 1", &why));
    EXPECT_NE(why.find("out of range"), std::string::npos) << why;
    EXPECT_FALSE(set(w, "step -1 1 1"));
}

TEST_F(ReplaySet, VectorsFramesAndHeights)
{
    World& w = *world;
    EXPECT_TRUE(set(w, "tra 1 2 3"));
    EXPECT_TRUE(set(w, "rnos 4 5 6"));
    EXPECT_TRUE(set(w, "rais 7 8 9"));
    EXPECT_TRUE(set(w, "clearcol 0.25 0.5 0.75"));
    const struct {
        vec3 got, want;
    } vectors[] = {
        {w.camera.tra, vec3(1, 2, 3)},
        {w.rig.rnos, vec3(4, 5, 6)},
        {w.rig.rais, vec3(7, 8, 9)},
        {w.sky.clearcol, vec3(0.25f, 0.5f, 0.75f)},
    };
    for (const auto& v : vectors) {
        EXPECT_EQ(v.got.x, v.want.x);
        EXPECT_EQ(v.got.y, v.want.y);
        EXPECT_EQ(v.got.z, v.want.z);
    }

    // Twelve values: [0].x [0].y [0].z [1].x ... [3].z.
    const char* frameNames[] = {"rpos", "vnos", "vpos"};
    positions* frames[] = {&w.rig.rpos, &w.rig.vnos, &w.rig.vpos};
    for (int f = 0; f < 3; f++) {
        std::string line = frameNames[f];
        for (int k = 1; k <= 12; k++) line += " " + std::to_string(k + 100 * f);
        ASSERT_TRUE(set(w, line.c_str()));
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ((*frames[f])[k].x, 3 * k + 1 + 100 * f) << line;
            EXPECT_EQ((*frames[f])[k].y, 3 * k + 2 + 100 * f) << line;
            EXPECT_EQ((*frames[f])[k].z, 3 * k + 3 + 100 * f) << line;
        }
    }

    EXPECT_TRUE(set(w, "heights -12.5"));
    for (int i = 0; i < GRID; i++)
        for (int j = 0; j < GRID; j++) ASSERT_EQ(w.terrain.w[i][j], -12.5f);
    EXPECT_TRUE(set(w, "height 99 0 3"));
    EXPECT_TRUE(set(w, "height 0 99 4"));
    EXPECT_EQ(w.terrain.w[99][0], 3.0f);
    EXPECT_EQ(w.terrain.w[0][99], 4.0f);
    EXPECT_EQ(w.terrain.w[0][0], -12.5f);
    EXPECT_FALSE(set(w, "height 100 0 1"));
    EXPECT_FALSE(set(w, "height 0 100 1"));
    EXPECT_FALSE(set(w, "height -1 0 1"));
}

TEST_F(ReplaySet, RefusedLinesChangeNothing)
{
    World& w = *world;
    const std::string before = traceOf(w, FrameValues{}, GlCounts{0, 0, 0}, 1, 0);
    const char* bad[] = {
        "rpos 1 2 3 4 5 6 7 8 9 10 11 x", // the last value spoils the line
        "rpos 1 2 3 4 5 6 7 8 9 10 11",   // one short
        "rpos 1 2 3 4 5 6 7 8 9 10 11 12 13",
        "step 3 1",
        "height 5 5",
        "height 5 5 x",
        "tra 1 2",
        "heights",
        "heights 1 2",
        "view 1.5",
        "view 2147483648",
        "view -2147483649",
        "ptim2 99999999999999999999",
        "rtrn",
        "nosuchname 1",
        "RTRN 1",
        "",
    };
    for (const char* line : bad) {
        std::string why;
        EXPECT_FALSE(set(w, line, &why)) << line;
        EXPECT_EQ(traceOf(w, FrameValues{}, GlCounts{0, 0, 0}, 1, 0), before) << line;
    }
    std::string why;
    set(w, "nosuchname 1", &why);
    EXPECT_NE(why.find("unknown set name \"nosuchname\""), std::string::npos) << why;
    set(w, "tra 1 2", &why);
    EXPECT_NE(why.find("missing"), std::string::npos) << why;
    set(w, "rpos 1 2 3 4 5 6 7 8 9 10 11 12 13", &why);
    EXPECT_NE(why.find("unexpected \"13\""), std::string::npos) << why;
}

TEST_F(ReplaySet, FloatsArePlainFiniteDecimals)
{
    World& w = *world;
    const struct {
        const char* text;
        float value;
    } good[] = {
        {"1", 1.0f},       {"-1.5", -1.5f},   {"+2", 2.0f},      {".5", 0.5f},
        {"5.", 5.0f},      {"1e3", 1000.0f},  {"1E-3", 1e-3f},   {"-0", -0.0f},
        {"0.1", 0.1f},     {"1e-50", 0.0f},   {"3.40282347e38", 3.40282347e38f},
        {"16777217", 16777216.0f}, // rounds to the nearest float
    };
    for (const auto& g : good) {
        std::string line = std::string("rspd ") + g.text;
        ASSERT_TRUE(set(w, line.c_str())) << line;
        EXPECT_EQ(w.rig.rspd, g.value) << line;
    }
    const char* bad[] = {"nan", "NAN", "inf", "-inf", "infinity", "0x10", "0x1p3", "1e39",
                         "-3.5e38", "1.2.3", "e5", "1e", "1e+", ".", "-", "--1", "1,5",
                         "1f", "\xff", "1\x01"};
    for (const char* b : bad) {
        std::string line = std::string("rspd ") + b;
        w.rig.rspd = 42;
        EXPECT_FALSE(set(w, line.c_str())) << line;
        EXPECT_EQ(w.rig.rspd, 42.0f) << line;
    }
    std::string why;
    set(w, "rspd 1e39", &why);
    EXPECT_NE(why.find("out of range"), std::string::npos) << why;
    set(w, "rspd 1.2.3", &why);
    EXPECT_NE(why.find("malformed"), std::string::npos) << why;
}

} // namespace

#endif
