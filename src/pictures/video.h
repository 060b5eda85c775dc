// A video encoded by Debian's ffmpeg, run as a separate process that reads
// raw frames on its standard input. The frames go to it as planar YUV 4:2:0,
// the encoders' own form, converted here: ffmpeg's own conversion from RGB
// took more of the processor than the encoding itself.
#pragma once

#include <sys/types.h>

#include <cstddef>

enum VideoCodec {
    VIDEO_H264, // .mp4: libx264, a fast preset, yuv420p
    VIDEO_VP8,  // .webm: libvpx with its real-time settings
};

struct VideoEncoder {
    pid_t pid;
    int fd;        // the pipe to ffmpeg's standard input
    double waited; // seconds spent writing frames and waiting for the end
};

// The command line that encodes width x height frames at fps into path.
// argv points into storage, which must outlive it. The program is "ffmpeg".
struct VideoCommand {
    char storage[4096];
    const char* argv[48];
};
void videoCommand(VideoCommand& command, const char* path, VideoCodec codec, unsigned fps,
                  int width, int height);

// Starts ffmpeg (found on the PATH). False, with the reason, when it can't
// be run.
bool startVideo(VideoEncoder& video, const char* path, VideoCodec codec, unsigned fps, int width,
                int height, char* why, size_t whySize);

// Bytes of one frame: width x height of luma, and a quarter of that for each
// of the two chroma planes. Width and height must be even.
constexpr size_t yuvFrameBytes(int width, int height)
{
    return (size_t)width * (size_t)height * 3 / 2;
}

// The frame GL read as 4 bytes a pixel (B, G, R, unused), bottom row first,
// as the video's planar YUV 4:2:0 frame, top row first: BT.601 studio range
// (luma 16..235), each chroma sample the mean of a 2 x 2 block.
void bgraToYuv420(const unsigned char* bgra, int width, int height, unsigned char* yuv);

// One frame of yuvFrameBytes(width, height) bytes. False, with the reason,
// when ffmpeg has stopped reading (it has failed).
bool writeVideoFrame(VideoEncoder& video, const unsigned char* rgb, size_t bytes, char* why,
                     size_t whySize);

// Ends the input and waits for ffmpeg. False, with the reason, unless it
// ended with status 0. cpuSeconds gets the processor time ffmpeg used.
bool finishVideo(VideoEncoder& video, double& cpuSeconds, char* why, size_t whySize);

// Stops ffmpeg after a failure elsewhere, and waits for it.
void abandonVideo(VideoEncoder& video);
