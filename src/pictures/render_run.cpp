#include "pictures/render_run.h"

#include "pictures/choice.h"
#include "pictures/png.h"
#include "pictures/progress.h"
#include "pictures/video.h"
#include "platform/egl/offscreen_gl.h"
#include "platform/scripted/gl_play.h"
#include "platform/scripted/gl_record.h"
#include "render/scene.h"
#include "replay/run.h"
#include "replay/script.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool isVideo(const RenderOptions& o)
{
    return o.kind == RENDER_MP4 || o.kind == RENDER_WEBM;
}

struct Render {
    const RenderOptions* options;
    const FrameChoice* choice;
    DesktopGl gl;
    VideoEncoder video;
    GLenum readFormat;               // GL_RGB for pictures, GL_BGRA for a video
    std::vector<unsigned char> read; // as GL gives it, bottom row first
    std::vector<unsigned char> out;  // the picture, top row first, or the video frame
    uint64_t frame;                  // frames run so far
    uint64_t pending;                // a frame drawn and not yet read back; 0: none
    uint64_t drawn;
    Progress progress;
    double inObserver; // seconds of the run spent drawing and writing
    double drawing;    // playing into GL and reading back
    double writing;    // converting, and writing PNG files or to ffmpeg
    bool failed;
    std::string failure;
};

// The file of frame n's picture.
std::string picturePath(const RenderOptions& o, uint64_t n, bool several)
{
    char number[32];
    snprintf(number, sizeof number, "%06llu", (unsigned long long)n);
    if (o.kind == RENDER_DIR) return std::string(o.out) + "/frame-" + number + ".png";
    if (!several) return o.out;
    std::string base(o.out, strlen(o.out) - 4); // without ".png"
    return base + "-" + number + ".png";
}

void fail(Render& r, const std::string& message)
{
    r.failed = true;
    r.failure = message;
}

// Writes the picture just read back, of frame n, as the output asks.
void writeFrame(Render& r, uint64_t n)
{
    const RenderOptions& o = *r.options;
    if (isVideo(o)) {
        bgraToYuv420(r.read.data(), RENDER_WIDTH, RENDER_HEIGHT, r.out.data());
        char why[256];
        for (uint64_t k = 0; k < r.choice->shows[n - 1] && !r.failed; k++)
            if (!writeVideoFrame(r.video, r.out.data(), r.out.size(), why, sizeof why))
                fail(r, why);
        return;
    }
    // GL's rows run from the bottom up, pictures' from the top down.
    size_t stride = (size_t)RENDER_WIDTH * 3;
    for (int y = 0; y < RENDER_HEIGHT; y++)
        memcpy(&r.out[stride * (size_t)y], &r.read[stride * (size_t)(RENDER_HEIGHT - 1 - y)],
               stride);
    std::string path = picturePath(o, n, r.choice->drawn > 1);
    if (!writePng(path.c_str(), r.out.data(), RENDER_WIDTH, RENDER_HEIGHT))
        fail(r, "cannot write " + path + ": " + strerror(errno));
}

void readBack(Render& r)
{
    readDesktopPixels(r.gl, RENDER_WIDTH, RENDER_HEIGHT, r.readFormat, r.read.data());
}

// Draws the frame just run when it reaches the output; else only carries
// the GL state it leaves (the next frame clears with its sky colour). A
// drawn frame is read back only when the next one is due to be drawn, so
// that the rasteriser's threads draw it while this one runs the frames in
// between, and converts and writes the one before.
bool afterFrame(const World&, const FrameValues&, void* data)
{
    Render& r = *static_cast<Render*>(data);
    double start = monotonicSeconds();
    r.frame++;
    if (r.choice->shows[r.frame - 1] == 0) {
        playRecordedGlState(r.gl, 0, glrecSize());
        r.drawing += monotonicSeconds() - start;
    } else {
        uint64_t previous = r.pending;
        if (previous) readBack(r);
        playRecordedGl(r.gl, 0, glrecSize());
        r.gl.Flush();
        r.pending = r.frame;
        r.drawn++;
        double drawn = monotonicSeconds();
        r.drawing += drawn - start;
        if (previous) writeFrame(r, previous);
        r.writing += monotonicSeconds() - drawn;
    }
    r.inObserver += monotonicSeconds() - start;
    showProgress(r.progress, r.frame, r.drawn, false);
    return !r.failed && r.frame < r.choice->shows.size();
}

// The last frame drawn, read back and written.
void finishPending(Render& r)
{
    if (!r.pending || r.failed) return;
    double start = monotonicSeconds();
    readBack(r);
    double read = monotonicSeconds();
    writeFrame(r, r.pending);
    r.pending = 0;
    double end = monotonicSeconds();
    r.drawing += read - start;
    r.writing += end - read;
    r.inObserver += end - start;
}

// Whether the output can be written, before the frames run. Pictures: the
// directory (made when missing) or the picture's folder; a video: the file,
// made now (created tells whether it was not there before).
bool checkOutput(const RenderOptions& o, bool& created, FILE* err)
{
    created = false;
    const char* out = o.out;
    errno = 0;
    bool ok;
    if (o.kind == RENDER_DIR) {
        struct stat st;
        ok = (mkdir(out, 0777) == 0 || errno == EEXIST) && stat(out, &st) == 0;
        if (ok && !S_ISDIR(st.st_mode)) {
            ok = false;
            errno = ENOTDIR;
        }
        ok = ok && access(out, W_OK | X_OK) == 0;
    } else if (o.kind == RENDER_PNG) {
        const char* slash = strrchr(out, '/');
        std::string folder = slash ? std::string(out, (size_t)(slash - out) + 1) : ".";
        ok = access(folder.c_str(), W_OK | X_OK) == 0;
    } else {
        struct stat st;
        created = stat(out, &st) != 0;
        FILE* f = fopen(out, "ab");
        ok = f && fclose(f) == 0;
        if (!ok) created = false;
    }
    if (!ok) fprintf(err, "hillcar-render: cannot write %s: %s\n", out, strerror(errno));
    return ok;
}

// Where the time went: reading and checking the script and opening GL
// (setup), the frames with the recording GL (simulation), drawing, writing,
// and ffmpeg's end.
struct Timing {
    double setup, run, finish, encoderCpu;
};

void printStats(const Render& r, const Timing& t, FILE* err)
{
    bool video = isVideo(*r.options);
    fprintf(err,
            "hillcar-render: %llu frames run, %llu drawn, %llu %s written\n"
            "  total        %8.3f s\n"
            "  setup        %8.3f s  (reading the script, opening GL%s)\n"
            "  simulation   %8.3f s  (the frames with the recording GL)\n"
            "  rasterising  %8.3f s  (played into GL and read back)\n"
            "  output       %8.3f s  (%s)\n",
            (unsigned long long)r.frame, (unsigned long long)r.drawn,
            (unsigned long long)r.choice->outputs, video ? "video frames" : "pictures",
            t.setup + t.run + t.finish, t.setup, video ? ", starting ffmpeg" : "",
            t.run - r.inObserver, r.drawing, r.writing + t.finish,
            video ? "frames sent to ffmpeg, and its end" : "PNG encoding and writing");
    if (video)
        fprintf(err, "  encoder CPU  %8.3f s  (ffmpeg's processor time, beside the above)\n",
                t.encoderCpu);
}

} // namespace

namespace {

// The script read and checked, and the frames chosen from it. Returns 0, or
// 2 after hillcar-replay's message or the reason the frames can't be had.
int readScript(const RenderOptions& o, std::vector<char>& text, FrameChoice& choice, FILE* err)
{
    bool stdinScript = strcmp(o.script, "-") == 0;
    if (!replayReadFile(stdinScript ? nullptr : o.script, text, err)) return 2;
    ReplayCheck check;
    if (!replayCheckScript(text.data(), text.size(), check, err)) return 2;
    std::vector<uint32_t> ticks;
    uint64_t last = chosenLast(o, check.frames);
    if (isVideo(o) && last <= MAX_VIDEO_SCRIPT_FRAMES)
        ticks = readFrameTicks(text.data(), text.size(), last);
    char why[512];
    if (!chooseFrames(o, check.frames, ticks, choice, why, sizeof why)) {
        fprintf(err, "hillcar-render: %s\n", why);
        return 2;
    }
    return 0;
}

// The output checked, ffmpeg started for a video, the off-screen context
// made and set up as the program sets up its window's. Returns 0, or 1
// after the message, with whatever was had released again.
int openOutput(const RenderOptions& o, Render& r, OffscreenGl& context, FILE* err)
{
    bool created = false;
    if (!checkOutput(o, created, err)) return 1;
    char why[512];
    bool video = isVideo(o);
    if (video && !startVideo(r.video, o.out, o.kind == RENDER_MP4 ? VIDEO_H264 : VIDEO_VP8,
                             o.fps ? o.fps : 30, RENDER_WIDTH, RENDER_HEIGHT, why, sizeof why)) {
        fprintf(err, "hillcar-render: %s\n", why);
        if (created) unlink(o.out);
        return 1;
    }
    if (!openOffscreenGl(context, RENDER_WIDTH, RENDER_HEIGHT, why, sizeof why) ||
        !loadDesktopGl(r.gl, why, sizeof why)) {
        fprintf(err, "hillcar-render: no off-screen GL: %s (Mesa's libegl-mesa0 and "
                     "libgl1-mesa-dri provide it)\n", why);
        closeOffscreenGl(context);
        if (video) abandonVideo(r.video);
        if (created) unlink(o.out);
        return 1;
    }
    // The projection and depth test the program fixes at start-up, before
    // its first frame; GL's defaults otherwise (the first clear is black).
    glrecReset();
    setFixedProjection();
    playRecordedGl(r.gl, 0, glrecSize());

    size_t pixels = (size_t)RENDER_WIDTH * RENDER_HEIGHT;
    r.readFormat = video ? GL_BGRA : GL_RGB;
    r.read.resize(pixels * (video ? 4 : 3));
    r.out.resize(video ? yuvFrameBytes(RENDER_WIDTH, RENDER_HEIGHT) : pixels * 3);
    return 0;
}

} // namespace

int runRender(const RenderOptions& o, FILE* err)
{
    double begin = monotonicSeconds();
    static std::vector<char> text;
    static FrameChoice choice;
    text.clear();
    int status = readScript(o, text, choice, err);
    if (status != 0) return status;

    static Render r;
    r = Render{};
    r.options = &o;
    r.choice = &choice;
    OffscreenGl context;
    status = openOutput(o, r, context, err);
    if (status != 0) return status;

    r.progress = startProgress(err, !o.quiet, choice.shows.size(), choice.drawn);
    Timing t = {};
    double runStart = monotonicSeconds();
    t.setup = runStart - begin;
    FILE* sink = fopen("/dev/null", "w");
    if (!sink) fail(r, std::string("cannot open /dev/null: ") + strerror(errno));
    else status = runReplay(text.data(), text.size(), sink, err, 0, afterFrame, &r);
    if (sink) fclose(sink);
    if (status == 0) finishPending(r);
    showProgress(r.progress, r.frame, r.drawn, true);
    double runEnd = monotonicSeconds();
    t.run = runEnd - runStart;

    if (isVideo(o)) {
        char why[512];
        if (r.failed || status != 0) abandonVideo(r.video);
        else if (!finishVideo(r.video, t.encoderCpu, why, sizeof why)) fail(r, why);
    }
    t.finish = monotonicSeconds() - runEnd;
    closeOffscreenGl(context);
    if (status != 0) return status;
    if (r.failed) {
        fprintf(err, "hillcar-render: %s\n", r.failure.c_str());
        return 1;
    }
    if (o.stats) printStats(r, t, err);
    return 0;
}
