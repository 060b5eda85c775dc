// hillcar-render's parts that need no GL: its command line, the choice of
// frames for pictures and video, and the video frames' colours. (Its
// pictures are checked against the desktop's in tests/render.)
#ifdef HILLCAR_HAVE_PICTURES

#include "pictures/choice.h"
#include "pictures/render_options.h"
#include "pictures/video.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

bool parse(std::vector<const char*> args, RenderOptions& o, std::string& why)
{
    args.insert(args.begin(), "hillcar-render");
    char text[512] = "";
    bool ok = parseRenderOptions((int)args.size(), const_cast<char**>(args.data()), o, text,
                                 sizeof text);
    why = text;
    return ok;
}

TEST(RenderOptions, OutputKindsAndValues)
{
    // (arguments, kind, first, last, every, fps); an existing directory is
    // one whatever its name, a name with no extension becomes one.
    const struct {
        std::vector<const char*> args;
        RenderOutput kind;
        uint32_t first, last, every, fps;
    } cases[] = {
        {{"r", "-o", "a/b.PNG", "--frames", "3-9", "--every=2"}, RENDER_PNG, 3, 9, 2, 0},
        {{"-", "--output=clip.webm", "--fps", "25"}, RENDER_WEBM, 0, 0, 0, 25},
        {{"--frames=7", "r", "-o", "clip.mp4"}, RENDER_MP4, 7, 7, 0, 0},
        {{"r", "-o", "some/frames"}, RENDER_DIR, 0, 0, 0, 0},
        {{"r", "-o", "."}, RENDER_DIR, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        RenderOptions o;
        std::string why;
        ASSERT_TRUE(parse(c.args, o, why)) << why;
        EXPECT_EQ(o.kind, c.kind) << c.args[0];
        EXPECT_EQ(o.haveFrames, c.first > 0);
        EXPECT_EQ(std::vector<uint32_t>({o.first, o.last, o.every, o.fps}),
                  std::vector<uint32_t>({c.first, c.last, c.every, c.fps}));
    }
}

TEST(RenderOptions, RefusalsSayWhy)
{
    const struct {
        std::vector<const char*> args;
        const char* reason;
    } cases[] = {
        {{"-o", "x.png"}, "no script given"},
        {{"a", "b", "-o", "x.png"}, "a second script 'b'"},
        {{"a"}, "no output given"},
        {{"a", "-o"}, "-o needs a value"},
        {{"a", "-o", "x.gif"}, "not 'x.gif'"},
        {{"a", "-o", "x.png", "--frames", "0"}, "--frames takes"},
        {{"a", "-o", "x.png", "--frames", "9-3"}, "--frames takes"},
        {{"a", "-o", "x.png", "--frames", "99999999999"}, "--frames takes"},
        {{"a", "-o", "x.mp4", "--fps", "2x"}, "--fps takes"},
        {{"a", "-o", "x.mp4", "--fps", "1001"}, "up to 1000"},
        {{"a", "-o", "x.mp4", "--every", "2"}, "--every is for pictures"},
        {{"a", "-o", "x.png", "--fps", "30"}, "--fps is for a video"},
        {{"a", "-o", "x.png", "--quiet=1"}, "no value allowed"},
        {{"a", "-o", "x.png", "-x"}, "unknown option '-x'"},
    };
    for (const auto& c : cases) {
        RenderOptions o;
        std::string why;
        EXPECT_FALSE(parse(c.args, o, why)) << c.reason;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

RenderOptions optionsFor(RenderOutput kind, uint32_t first, uint32_t last, uint32_t every,
                         uint32_t fps)
{
    RenderOptions o = {};
    o.kind = kind;
    o.haveFrames = first > 0;
    o.first = first;
    o.last = last;
    o.every = every;
    o.fps = fps;
    return o;
}

std::vector<uint64_t> shows(const RenderOptions& o, uint64_t total,
                            const std::vector<uint32_t>& ticks = {})
{
    FrameChoice c;
    char why[256];
    EXPECT_TRUE(chooseFrames(o, total, ticks, c, why, sizeof why)) << why;
    uint64_t drawn = 0, outputs = 0;
    for (uint64_t n : c.shows) {
        drawn += n > 0;
        outputs += n;
    }
    EXPECT_EQ(c.drawn, drawn);
    EXPECT_EQ(c.outputs, outputs);
    return c.shows;
}

TEST(FrameChoice, Pictures)
{
    using V = std::vector<uint64_t>;
    // The last frame when nothing is chosen; nothing after the last one drawn.
    EXPECT_EQ(shows(optionsFor(RENDER_PNG, 0, 0, 0, 0), 4), (V{0, 0, 0, 1}));
    EXPECT_EQ(shows(optionsFor(RENDER_DIR, 2, 2, 0, 0), 4), (V{0, 1}));
    EXPECT_EQ(shows(optionsFor(RENDER_DIR, 2, 7, 2, 0), 9), (V{0, 1, 0, 1, 0, 1}));
    // --every alone: every Nth frame of the whole run.
    EXPECT_EQ(shows(optionsFor(RENDER_DIR, 0, 0, 3, 0), 8), (V{1, 0, 0, 1, 0, 0, 1}));
}

TEST(FrameChoice, VideoShowsTheLatestFrameAtEachVideoFrame)
{
    using V = std::vector<uint64_t>;
    // 10 fps: a video frame every 100 ms, from the first frame's tick to the last's.
    std::vector<uint32_t> ticks = {1000, 1040, 1100, 1350, 1360, 1400};
    EXPECT_EQ(shows(optionsFor(RENDER_MP4, 0, 0, 0, 10), 6, ticks), (V{1, 0, 3, 0, 0, 1}));
    // The 100 ms mark falls exactly on a frame: that frame shows from it.
    std::vector<uint32_t> exact = {0, 100, 150, 200};
    EXPECT_EQ(shows(optionsFor(RENDER_WEBM, 0, 0, 0, 10), 4, exact), (V{1, 1, 0, 1}));
    // A range starts the clock at its first frame, and ends at its last
    // frame's time (260 ms here: no video frame at 300).
    EXPECT_EQ(shows(optionsFor(RENDER_MP4, 3, 5, 0, 10), 6, ticks), (V{0, 0, 3}));
    // Ticks wrap past 2^32; a step back counts as no time.
    std::vector<uint32_t> wrap = {4294967196u, 4u, 104u, 50u, 250u};
    EXPECT_EQ(shows(optionsFor(RENDER_MP4, 0, 0, 0, 10), 5, wrap), (V{2, 1, 0, 2}));
}

TEST(FrameChoice, RefusesFramesTheScriptDoesNotHave)
{
    const struct {
        RenderOptions o;
        uint64_t total;
        const char* reason;
    } cases[] = {
        {optionsFor(RENDER_PNG, 0, 0, 0, 0), 0, "runs no frames"},
        {optionsFor(RENDER_PNG, 3, 12, 0, 0), 10, "asks for frame 12"},
        {optionsFor(RENDER_MP4, 0, 0, 0, 0), MAX_VIDEO_SCRIPT_FRAMES + 1, "a video takes"},
    };
    for (const auto& c : cases) {
        FrameChoice choice;
        char why[256] = "";
        EXPECT_FALSE(chooseFrames(c.o, c.total, {}, choice, why, sizeof why)) << c.reason;
        EXPECT_NE(std::string(why).find(c.reason), std::string::npos) << why;
    }
}

TEST(FrameChoice, TicksComeFromEveryKindOfFrameLine)
{
    const char* script = "seed 4\nframe 10 UP\nrepeat 3 4294967290 5\nset view 2\nframe 7\n";
    std::vector<uint32_t> ticks = readFrameTicks(script, strlen(script), 100);
    EXPECT_EQ(ticks, (std::vector<uint32_t>{10, 4294967290u, 4294967295u, 4u, 7}));
    EXPECT_EQ(readFrameTicks(script, strlen(script), 2).size(), 2u);
}

TEST(VideoFrame, StudioRangeYuvTopRowFirst)
{
    // GL's rows from the bottom: black, black, red, red under white, white,
    // red, red; 4 bytes a pixel, B G R and one unused.
    const unsigned char bgra[] = {0, 0, 0, 9,     0, 0, 0, 9,     0, 0, 255, 9,   0, 0, 255, 9,
                                  255, 255, 255, 9, 255, 255, 255, 9, 0, 0, 255, 9, 0, 0, 255, 9};
    unsigned char yuv[yuvFrameBytes(4, 2)];
    bgraToYuv420(bgra, 4, 2, yuv);
    // Luma of white 235, black 16, red 82; chroma of the grey block neutral,
    // of the red one U 90, V 240.
    const unsigned char want[] = {235, 235, 82, 82, 16, 16, 82, 82, 128, 90, 128, 240};
    EXPECT_EQ(std::vector<unsigned char>(yuv, yuv + sizeof yuv),
              std::vector<unsigned char>(want, want + sizeof want));
}

} // namespace

#endif
