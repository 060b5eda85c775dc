#include "pictures/video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace {

double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// Appends one argument, copied into the command's storage.
void add(VideoCommand& c, int& argc, size_t& used, const char* text)
{
    size_t len = strlen(text) + 1;
    if (argc + 1 >= (int)(sizeof c.argv / sizeof c.argv[0]) || used + len > sizeof c.storage)
        return;
    memcpy(c.storage + used, text, len);
    c.argv[argc++] = c.storage + used;
    c.argv[argc] = nullptr;
    used += len;
}

} // namespace

void videoCommand(VideoCommand& c, const char* path, VideoCodec codec, unsigned fps, int width,
                  int height)
{
    int argc = 0;
    size_t used = 0;
    char size[32], rate[16], out[2048];
    snprintf(size, sizeof size, "%dx%d", width, height);
    snprintf(rate, sizeof rate, "%u", fps);
    // "file:" keeps a name with a colon from being read as a protocol.
    snprintf(out, sizeof out, "file:%s", path);
    const char* head[] = {"ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error",
                          "-f", "rawvideo", "-pix_fmt", "yuv420p", "-video_size", size,
                          "-framerate", rate, "-i", "pipe:0", "-an", "-color_range", "tv",
                          "-colorspace", "smpte170m", "-color_primaries", "smpte170m",
                          "-color_trc", "smpte170m"};
    for (const char* a : head) add(c, argc, used, a);
    // Settings that encode faster than the frames are drawn on two cores.
    // VP8's real-time mode takes a fixed speed from a negative -cpu-used (a
    // positive one lets it slow down to fill the time a frame lasts), and one
    // thread: with more, its processor time varied fivefold on a busy machine.
    const char* h264[] = {"-c:v", "libx264", "-preset", "ultrafast", "-crf", "20",
                          "-movflags", "+faststart"};
    const char* vp8[] = {"-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "-16",
                         "-threads", "1", "-crf", "10", "-b:v", "4M"};
    if (codec == VIDEO_H264)
        for (const char* a : h264) add(c, argc, used, a);
    else
        for (const char* a : vp8) add(c, argc, used, a);
    add(c, argc, used, "-y");
    add(c, argc, used, out);
}

void bgraToYuv420(const unsigned char* bgra, int width, int height, unsigned char* yuv)
{
    const size_t stride = (size_t)width * 4;
    unsigned char* lumaPlane = yuv;
    unsigned char* uPlane = yuv + (size_t)width * (size_t)height;
    unsigned char* vPlane = uPlane + (size_t)(width / 2) * (size_t)(height / 2);
    // Two output rows at a time: rows y and y + 1 are GL's rows from the bottom.
    for (int y = 0; y < height; y += 2) {
        const unsigned char* top = bgra + stride * (size_t)(height - 1 - y);
        const unsigned char* below = top - stride;
        unsigned char* luma0 = lumaPlane + (size_t)width * (size_t)y;
        unsigned char* luma1 = luma0 + width;
        unsigned char* u = uPlane + (size_t)(width / 2) * (size_t)(y / 2);
        unsigned char* v = vPlane + (size_t)(width / 2) * (size_t)(y / 2);
        for (int x = 0; x < width; x++) {
            const unsigned char* p = top + 4 * x;
            const unsigned char* q = below + 4 * x;
            luma0[x] = (unsigned char)(((66 * p[2] + 129 * p[1] + 25 * p[0] + 128) >> 8) + 16);
            luma1[x] = (unsigned char)(((66 * q[2] + 129 * q[1] + 25 * q[0] + 128) >> 8) + 16);
        }
        for (int x = 0; x < width / 2; x++) {
            const unsigned char* p = top + 8 * x;
            const unsigned char* q = below + 8 * x;
            int b = p[0] + p[4] + q[0] + q[4];
            int g = p[1] + p[5] + q[1] + q[5];
            int r = p[2] + p[6] + q[2] + q[6];
            // Sums of four: scaled by 1/1024 instead of 1/256, rounded.
            u[x] = (unsigned char)((-38 * r - 74 * g + 112 * b + 131584) >> 10);
            v[x] = (unsigned char)((112 * r - 94 * g - 18 * b + 131584) >> 10);
        }
    }
}

bool startVideo(VideoEncoder& v, const char* path, VideoCodec codec, unsigned fps, int width,
                int height, char* why, size_t whySize)
{
    v = VideoEncoder{-1, -1, 0.0};
    // A failed ffmpeg closes its end: writes then fail with EPIPE instead of
    // ending this process.
    signal(SIGPIPE, SIG_IGN);
    VideoCommand command;
    videoCommand(command, path, codec, fps, width, height);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        snprintf(why, whySize, "cannot make a pipe to ffmpeg: %s", strerror(errno));
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    int error = posix_spawnp(&v.pid, "ffmpeg", &actions, nullptr,
                             const_cast<char* const*>(command.argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
    if (error != 0) {
        close(ends[1]);
        v.pid = -1;
        snprintf(why, whySize, "cannot run ffmpeg: %s%s", strerror(error),
                 error == ENOENT ? " (a video needs ffmpeg on the PATH: Debian's ffmpeg package)"
                                 : "");
        return false;
    }
    v.fd = ends[1];
    // Room for a whole frame or so in the pipe: fewer turns between the two.
    fcntl(v.fd, F_SETPIPE_SZ, 1 << 20);
    return true;
}

bool writeVideoFrame(VideoEncoder& v, const unsigned char* rgb, size_t bytes, char* why,
                     size_t whySize)
{
    double start = now();
    while (bytes > 0) {
        ssize_t n = write(v.fd, rgb, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            snprintf(why, whySize, "ffmpeg stopped reading the frames: %s",
                     n < 0 ? strerror(errno) : "no progress");
            v.waited += now() - start;
            return false;
        }
        rgb += n;
        bytes -= (size_t)n;
    }
    v.waited += now() - start;
    return true;
}

namespace {

bool waitFor(VideoEncoder& v, int& status, double& cpuSeconds)
{
    rusage usage;
    pid_t got;
    do got = wait4(v.pid, &status, 0, &usage);
    while (got < 0 && errno == EINTR);
    v.pid = -1;
    if (got < 0) return false;
    cpuSeconds = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return true;
}

} // namespace

bool finishVideo(VideoEncoder& v, double& cpuSeconds, char* why, size_t whySize)
{
    double start = now();
    close(v.fd);
    v.fd = -1;
    int status = 0;
    cpuSeconds = 0.0;
    bool waited = waitFor(v, status, cpuSeconds);
    v.waited += now() - start;
    if (!waited) {
        snprintf(why, whySize, "cannot wait for ffmpeg: %s", strerror(errno));
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    if (WIFEXITED(status))
        snprintf(why, whySize, "ffmpeg failed with status %d", WEXITSTATUS(status));
    else
        snprintf(why, whySize, "ffmpeg ended by signal %d", WTERMSIG(status));
    return false;
}

void abandonVideo(VideoEncoder& v)
{
    if (v.fd >= 0) close(v.fd);
    v.fd = -1;
    if (v.pid > 0) {
        kill(v.pid, SIGTERM);
        int status;
        double cpu;
        waitFor(v, status, cpu);
    }
}
