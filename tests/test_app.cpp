// The program's command line, its recorder and its player: what they write is
// read back by hillcar-replay's reader, and what they refuse is refused with
// hillcar-replay's words.
#ifdef HILLCAR_HAVE_REPLAY

#include "app/options.h"
#include "app/player.h"
#include "app/record.h"
#include "frame/keys.h"
#include "replay/run.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// ------------------------------------------------------------ command line

struct Parsed {
    bool ok;
    Options o;
    std::string why;
};

Parsed parse(std::vector<const char*> args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("hillcar"));
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    Parsed p;
    char why[256] = "";
    p.ok = parseOptions((int)argv.size(), argv.data(), p.o, why, sizeof why);
    p.why = why;
    return p;
}

TEST(Options, NoneAsksTheQuestion)
{
    Parsed p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.o.screen, SCREEN_ASK);
    EXPECT_EQ(p.o.record, nullptr);
    EXPECT_EQ(p.o.play, nullptr);
    EXPECT_EQ(p.o.trace, nullptr);
    EXPECT_FALSE(p.o.help);
    EXPECT_FALSE(p.o.version);
    EXPECT_FALSE(p.o.fit);
}

TEST(Options, EveryOptionInBothSpellings)
{
    Parsed p = parse({"--windowed", "--record", "r.txt", "--play=in.txt", "--trace", "t.jsonl"});
    ASSERT_TRUE(p.ok) << p.why;
    EXPECT_EQ(p.o.screen, SCREEN_WINDOWED);
    EXPECT_STREQ(p.o.record, "r.txt");
    EXPECT_STREQ(p.o.play, "in.txt");
    EXPECT_STREQ(p.o.trace, "t.jsonl");

    p = parse({"--fullscreen", "--record=a=b", "--help", "--version", "--fit"});
    ASSERT_TRUE(p.ok) << p.why;
    EXPECT_EQ(p.o.screen, SCREEN_FULL);
    EXPECT_STREQ(p.o.record, "a=b"); // only the first '=' splits
    EXPECT_TRUE(p.o.help);
    EXPECT_TRUE(p.o.version);
    EXPECT_TRUE(p.o.fit);
}

TEST(Options, AFileAloneIsPlayedAndTheShortForms)
{
    const struct {
        std::vector<const char*> args;
        ScreenChoice screen;
        const char* play;
        const char* trace;
        bool help, version;
    } cases[] = {
        {{"drive.hillcar"}, SCREEN_ASK, "drive.hillcar", nullptr, false, false},
        {{"--windowed", "--trace", "t.jsonl", "drive.hillcar"}, SCREEN_WINDOWED, "drive.hillcar",
         "t.jsonl", false, false},
        {{"/home/me/My Drives/a.hillcar", "--fullscreen"}, SCREEN_FULL,
         "/home/me/My Drives/a.hillcar", nullptr, false, false},
        {{"--trace=t.jsonl", "run.txt"}, SCREEN_ASK, "run.txt", "t.jsonl", false, false},
        {{"-h"}, SCREEN_ASK, nullptr, nullptr, true, false},
        {{"-V"}, SCREEN_ASK, nullptr, nullptr, false, true},
        {{"-V", "-h", "x.hillcar"}, SCREEN_ASK, "x.hillcar", nullptr, true, true},
    };
    for (const auto& c : cases) {
        Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok) << p.why;
        EXPECT_EQ(p.o.screen, c.screen);
        EXPECT_STREQ(p.o.play, c.play);
        EXPECT_STREQ(p.o.trace, c.trace);
        EXPECT_EQ(p.o.help, c.help);
        EXPECT_EQ(p.o.version, c.version);
    }
}

TEST(Options, RefusedWithTheReason)
{
    const struct {
        std::vector<const char*> args;
        const char* why;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-w"}, "unknown option '-w'"},
        {{"a.hillcar", "b.hillcar"}, "unexpected argument 'b.hillcar'"},
        {{"--play", "a.hillcar", "b.hillcar"}, "unexpected argument 'b.hillcar'"},
        {{"b.hillcar", "--play=a.hillcar"}, "unexpected argument 'b.hillcar'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-hV"}, "unknown option '-hV'"},
        {{"--fit=yes"}, "no value allowed '--fit=yes'"},
        {{"--record"}, "--record needs a file name"},
        {{"--windowed", "--play"}, "--play needs a file name"},
        {{"--trace="}, "--trace needs a file name"},
        {{"--windowed=yes"}, "no value allowed '--windowed=yes'"},
        {{"--windowed", "--fullscreen"}, "--windowed and --fullscreen together"},
        {{"--a-very-long-option-name-indeed-longer-than-any"},
         "unknown option '--a-very-long-option-name-indeed-longer-than-any'"},
    };
    for (const auto& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << c.why;
        EXPECT_EQ(p.why, c.why);
    }
}

// ------------------------------------------------------------ recording

// A file in the test's temporary folder, removed at the end.
struct TempFile {
    std::string path;
    TempFile()
    {
#ifdef _WIN32
        char* name = _tempnam(nullptr, "hillcar-app-test-");
        EXPECT_NE(name, nullptr);
        if (name) path = name;
        free(name);
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) fclose(f);
#else
        char name[] = "/tmp/hillcar-app-test-XXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        close(fd);
        path = name;
#endif
    }
    ~TempFile() { remove(path.c_str()); }
    std::string read() const
    {
        std::string text;
        FILE* f = fopen(path.c_str(), "rb");
        if (!f) return text;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        fclose(f);
        return text;
    }
};

// Everything written to a stream, as text: in memory where the C library can
// do that, else in a temporary file.
#ifdef _WIN32
struct Capture {
    TempFile file;
    FILE* f = fopen(file.path.c_str(), "w+b");
    ~Capture() { fclose(f); }
    std::string text()
    {
        fflush(f);
        return file.read();
    }
};
#else
struct Capture {
    char* buf = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buf, &size);
    ~Capture()
    {
        fclose(f);
        free(buf);
    }
    std::string text()
    {
        fflush(f);
        return std::string(buf, size);
    }
};
#endif

// What replay's reader makes of a script: each frame's tick and keys.
struct ReadFrame {
    uint32_t tick;
    std::vector<int> keys;
};

std::vector<ReadFrame> readFrames(const std::string& text, ReplayCheck* check = nullptr)
{
    std::vector<ReadFrame> frames;
    ReplayReader reader = replayReader(text.data(), text.size(), 0);
    auto d = std::make_unique<ReplayDirective>();
    ReplayReason why;
    ReplayRead got;
    while ((got = replayNext(reader, *d, why)) == REPLAY_READ_DIRECTIVE) {
        if (d->kind != REPLAY_FRAMES) continue;
        for (uint32_t k = 0; k < d->count; k++)
            frames.push_back({d->tick + k * d->step,
                              std::vector<int>(d->keys.vk, d->keys.vk + d->keys.count)});
    }
    EXPECT_EQ(got, REPLAY_READ_END) << "line " << reader.line << ": " << why.text;
    if (check) {
        Capture err;
        EXPECT_TRUE(replayCheckScript(text.data(), text.size(), *check, err.f)) << err.text();
    }
    return frames;
}

TEST(Recording, ScriptKeysAreTheKeyMap)
{
    const ScriptKeys& keys = scriptKeys();
    ASSERT_EQ(keys.count, 46);
    for (int k = 1; k < keys.count; k++) EXPECT_LT(keys.vk[k - 1], keys.vk[k]);
    const int expected[] = {'A', 'Z', '0', '9', VK_SHIFT, VK_RETURN, VK_ESCAPE,
                            VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_NUMPAD0, VK_ADD, VK_SUBTRACT};
    for (int vk : expected)
        EXPECT_NE(std::find(keys.vk, keys.vk + keys.count, vk), keys.vk + keys.count) << vk;
    EXPECT_STREQ(replayKeyName(VK_NUMPAD0), "NUMPAD0");
    EXPECT_STREQ(replayKeyName('Q'), "Q");
    EXPECT_STREQ(replayKeyName('7'), "7");
    EXPECT_EQ(replayKeyName('a'), nullptr);
    EXPECT_EQ(replayKeyName(0x70), nullptr); // F1
}

TEST(Recording, ReadsBackAsTheFramesItRecorded)
{
    TempFile file;
    Capture err;
    static OutFile out;
    ASSERT_TRUE(recordOpen(out, file.path.c_str(), err.f));
    recordHeader(out, "hillcar test", RAND_MSVCRT, 4000000123u);

    // Frames with random keys and ticks that wrap, enough to fill the buffer
    // a few times over.
    std::mt19937 gen(7);
    const ScriptKeys& keys = scriptKeys();
    std::vector<ReadFrame> written;
    uint32_t tick = 4294960000u;
    for (int f = 0; f < 6000; f++) {
        bool held[256] = {};
        ReadFrame frame{tick, {}};
        int every = f % 50 == 0 ? 1 : 8; // now and then every key at once
        for (int k = 0; k < keys.count; k++) {
            if (gen() % every == 0) {
                held[keys.vk[k]] = true;
                frame.keys.push_back(keys.vk[k]);
            }
        }
        held[(int)'a'] = true; // no key of the key map: never written
        recordFrame(out, tick, held);
        written.push_back(frame);
        tick += 1 + gen() % 40;
    }
    // A played script's set line goes in as it stands.
    recordSet(out, " view 3", 7);
    outClose(out);
    EXPECT_EQ(err.text(), "");

    std::string text = file.read();
    EXPECT_EQ(text.compare(0, 24, "# recorded by hillcar te"), 0) << text.substr(0, 80);
    EXPECT_NE(text.find("\nrand msvcrt\nseed 4000000123\nframe 4294960000"), std::string::npos);
    EXPECT_NE(text.find("\nset view 3\n"), std::string::npos);
    EXPECT_GT(text.size(), sizeof out.buf * 2);

    ReplayCheck check;
    std::vector<ReadFrame> read = readFrames(text, &check);
    EXPECT_EQ(check.seed, 4000000123u);
    EXPECT_EQ(check.rand, RAND_MSVCRT);
    ASSERT_EQ(read.size(), written.size());
    for (size_t f = 0; f < read.size(); f++) {
        ASSERT_EQ(read[f].tick, written[f].tick) << "frame " << f;
        ASSERT_EQ(read[f].keys, written[f].keys) << "frame " << f;
    }
}

TEST(Recording, HeaderNamesThePlatformGenerator)
{
    TempFile file;
    static OutFile out;
    ASSERT_TRUE(recordOpen(out, file.path.c_str(), stderr));
    recordHeader(out, "x", RAND_PLATFORM, 5);
    recordHeader(out, "x", platformRandModel(), 5);
    outClose(out);
    std::string text = file.read();
    // A generator with no model is only a comment, which the reader skips.
    EXPECT_NE(text.find("\n# rand: "), std::string::npos);
#ifdef __GLIBC__
    EXPECT_EQ(platformRandModel(), RAND_GLIBC);
    EXPECT_NE(text.find("\nrand glibc\n"), std::string::npos);
#endif
}

TEST(Recording, FileThatCannotBeOpened)
{
    Capture err;
    static OutFile out;
    EXPECT_FALSE(recordOpen(out, "/nonexistent-dir/r.txt", err.f));
    EXPECT_EQ(err.text(),
              "hillcar: cannot record to /nonexistent-dir/r.txt: No such file or directory\n");
    EXPECT_FALSE(traceOpen(out, "/nonexistent-dir/t.jsonl", err.f));
    EXPECT_NE(err.text().find("hillcar: cannot write the trace to /nonexistent-dir/t.jsonl: "),
              std::string::npos);
}

TEST(Recording, WriteFailureIsReportedOnceAndRecordingStops)
{
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    Capture err;
    static OutFile out;
    ASSERT_TRUE(recordOpen(out, "/dev/full", err.f));
    recordHeader(out, "x", RAND_GLIBC, 1);
    outFlush(out);
    EXPECT_EQ(out.file, nullptr);
    bool held[256] = {};
    for (int f = 0; f < 10000; f++) recordFrame(out, (uint32_t)f, held);
    outFlush(out);
    outClose(out);
    EXPECT_EQ(err.text(), "hillcar: cannot record to /dev/full: No space left on device; "
                          "it is not written from here on\n");

    // The trace alike, whose lines go through stdio's buffer.
    Capture traceErr;
    ASSERT_TRUE(traceOpen(out, "/dev/full", traceErr.f));
    static World world;
    for (int f = 0; f < 2000; f++) traceFrame(out, (uint64_t)f + 1, 0, world, FrameValues{}, {});
    outClose(out);
    EXPECT_EQ(traceErr.text(), "hillcar: cannot write the trace to /dev/full: No space left on "
                               "device; it is not written from here on\n");
}

// ------------------------------------------------------------ playing

// A script in a file, opened by a player.
struct Played {
    TempFile file;
    Capture err;
    std::unique_ptr<Player> player = std::make_unique<Player>();
    bool ok;
    explicit Played(const std::string& script)
    {
        FILE* f = fopen(file.path.c_str(), "wb");
        fwrite(script.data(), 1, script.size(), f);
        fclose(f);
        ok = playerOpen(*player, file.path.c_str(), err.f);
    }
};

// hillcar-replay's message for a script, with the path as the player has it.
std::string replayMessage(const std::string& script)
{
    Capture out, err;
    EXPECT_EQ(runReplay(script.data(), script.size(), out.f, err.f, 0), 2);
    bsize = 4.0f;
    return err.text();
}

TEST(Player, RefusesWhatHillcarReplayRefusesWithItsMessage)
{
    const char* bad[] = {
        "frame 1 NOKEY\n",
        "repeat 3 100 16\nseed 5\n",
        "set view 3\nframe 1\n",
        "frame 1\nframe 2\nset view x\n",
        "frame 1\nset bsize 1e99\n",
        "frame 1\nframe 17\nset height 100 0 1\n",
        "rand glibc\nrand vms\n",
        "frame 1\ndump nothing\n",
        "frame 1\r\nframe -2\r\n",
    };
    for (const char* script : bad) {
        Played p(script);
        EXPECT_FALSE(p.ok) << script;
        EXPECT_EQ(p.err.text(), replayMessage(script)) << script;
    }
    // A NUL byte inside a line.
    std::string nul("frame 1\nframe 2\0\n", 17);
    Played p(nul);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.err.text(), replayMessage(nul));
    EXPECT_EQ(p.err.text(), "hillcar-replay: line 2: NUL byte in line\n");

    // A file that isn't there: hillcar-replay's words too.
    Capture err;
    auto player = std::make_unique<Player>();
    EXPECT_FALSE(playerOpen(*player, "/nonexistent-dir/r.txt", err.f));
    EXPECT_EQ(err.text(),
              "hillcar-replay: cannot open /nonexistent-dir/r.txt: No such file or directory\n");
}

void recordSetHook(const char* args, size_t len, void* data)
{
    static_cast<std::string*>(data)->append(args, len).append("|");
}

TEST(Player, FramesAndSetsInScriptOrder)
{
    Played p("# made by hand\n"
             "rand msvcrt\n"
             "seed 77\n"
             "frame 1000 UP LEFT UP\n"
             "set view 4\n"
             "dump gl\n"
             "repeat 3 1016 16 D\n"
             "set bsize 6   # a comment\n"
             "set height 1 2 3.5\n"
             "frame 1100\n");
    ASSERT_TRUE(p.ok) << p.err.text();
    EXPECT_EQ(p.player->check.seed, 77u);
    EXPECT_EQ(p.player->check.rand, RAND_MSVCRT);
    EXPECT_EQ(p.player->check.frames, 5u);

    static World world;
    world = World{};
    world.camera.view = 1;
    std::string sets;
    const float savedBsize = bsize;
    std::vector<ReadFrame> frames;
    std::vector<int> viewsSeen;
    uint32_t now = 0;
    while (playerAdvance(*p.player, world, recordSetHook, &sets)) {
        ASSERT_TRUE(playerDue(*p.player, now + 1000)); // never more than a second
        uint32_t tick;
        bool held[256];
        playerFrame(*p.player, tick, held);
        ReadFrame f{tick, {}};
        for (int vk = 0; vk < 256; vk++)
            if (held[vk]) f.keys.push_back(vk);
        frames.push_back(f);
        viewsSeen.push_back(world.camera.view);
        now += 1000;
        playerPlayed(*p.player, now);
    }
    EXPECT_FLOAT_EQ(bsize, 6.0f);
    bsize = savedBsize;
    EXPECT_FLOAT_EQ(world.terrain.w[1][2], 3.5f);
    EXPECT_EQ(sets, " view 4| bsize 6   | height 1 2 3.5|");
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].tick, 1000u);
    EXPECT_EQ(frames[0].keys, (std::vector<int>{VK_LEFT, VK_UP}));
    EXPECT_EQ(frames[3].tick, 1048u);
    EXPECT_EQ(frames[3].keys, std::vector<int>{'D'});
    EXPECT_EQ(frames[4].tick, 1100u);
    EXPECT_TRUE(frames[4].keys.empty());
    // The set lands between the first frame and the second.
    EXPECT_EQ(viewsSeen, (std::vector<int>{1, 4, 4, 4, 4}));
    EXPECT_EQ(p.player->lastTick, 1100u);
}

TEST(Player, PacedByTheScriptsTickSteps)
{
    // Steps of 16, 0, 5000 (capped), back by 100 (no wait), and over the wrap.
    Played p("frame 4294967200\nframe 4294967216\nframe 4294967216\nframe 4999\n"
             "frame 4899\nframe 4930\n");
    ASSERT_TRUE(p.ok) << p.err.text();
    static World world;
    Player& pl = *p.player;

    const uint32_t start = 4294967000u; // the clock wraps during the run
    ASSERT_TRUE(playerAdvance(pl, world, nullptr, nullptr));
    EXPECT_TRUE(playerDue(pl, start)); // the first at once
    playerPlayed(pl, start);

    ASSERT_TRUE(playerAdvance(pl, world, nullptr, nullptr));
    EXPECT_FALSE(playerDue(pl, start + 15));
    EXPECT_TRUE(playerDue(pl, start + 16));
    playerPlayed(pl, start + 20); // a little late: the pace keeps to the schedule

    ASSERT_TRUE(playerAdvance(pl, world, nullptr, nullptr));
    EXPECT_TRUE(playerDue(pl, start + 16)); // step 0
    playerPlayed(pl, start + 21);

    ASSERT_TRUE(playerAdvance(pl, world, nullptr, nullptr));
    EXPECT_FALSE(playerDue(pl, start + 16 + MAX_PLAY_WAIT - 1));
    EXPECT_TRUE(playerDue(pl, start + 16 + MAX_PLAY_WAIT));
    // Half a second late: the next step counts from when it ran.
    const uint32_t late = start + 16 + MAX_PLAY_WAIT + 500;
    playerPlayed(pl, late);

    ASSERT_TRUE(playerAdvance(pl, world, nullptr, nullptr));
    EXPECT_TRUE(playerDue(pl, late)); // a step back waits for nothing
    playerPlayed(pl, late + 2);

    ASSERT_TRUE(playerAdvance(pl, world, nullptr, nullptr));
    EXPECT_FALSE(playerDue(pl, late + 30));
    EXPECT_TRUE(playerDue(pl, late + 31));
    playerPlayed(pl, late + 31);
    EXPECT_FALSE(playerAdvance(pl, world, nullptr, nullptr));
    EXPECT_EQ(pl.lastTick, 4930u);
}

TEST(Player, ScriptWithoutFramesHasNothingToPlay)
{
    Played p("seed 9\n# nothing else\n");
    ASSERT_TRUE(p.ok);
    static World world;
    EXPECT_FALSE(playerAdvance(*p.player, world, nullptr, nullptr));
    EXPECT_EQ(p.player->check.seed, 9u);
    EXPECT_EQ(p.player->check.rand, RAND_PLATFORM);
}

} // namespace

#endif
