// No heap allocation in any frame after the first. Every global operator new
// of the test binary and, on glibc, every malloc, calloc and realloc, is
// counted here and handed on unchanged, so the counting is harmless to the
// other tests sharing this binary. Under a sanitizer that owns the heap the
// sanitizer's own allocator is left alone (it checks that new meets delete
// and malloc meets free); the frames then run under its checks uncounted.
#include "frame/frame.h"
#include "frame/keys.h"
#include "platform/scripted/gl_record.h"
#include "platform/scripted/scripted.h"
#ifdef HILLCAR_HAVE_REPLAY
#include "app/record.h"
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#ifdef _WIN32
#include <malloc.h>
#endif

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HILLCAR_SANITIZED_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define HILLCAR_SANITIZED_HEAP 1
#endif
#endif

#ifndef HILLCAR_SANITIZED_HEAP
#define HILLCAR_COUNT_NEW 1
#if defined(__GLIBC__)
#define HILLCAR_COUNT_MALLOC 1
#endif
#endif

namespace {
std::atomic<long> newCount{0};
std::atomic<long> mallocCount{0};
} // namespace

#ifdef HILLCAR_COUNT_NEW
// The plain and aligned forms are enough: the library's array and nothrow
// forms call these, and its deletes free what malloc and aligned_alloc gave.
// Kept out of line: inlined, they show the compiler a malloc whose block a
// delete frees, which it takes for a mismatch.
__attribute__((noinline)) void* operator new(std::size_t size)
{
    newCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

__attribute__((noinline)) void* operator new(std::size_t size, std::align_val_t align)
{
    newCount.fetch_add(1, std::memory_order_relaxed);
    std::size_t a = static_cast<std::size_t>(align);
    if (a < sizeof(void*)) a = sizeof(void*);
    std::size_t rounded = (size + a - 1) / a * a;
#ifdef _WIN32
    // Its aligned delete frees with _aligned_free: allocate to match.
    if (void* p = _aligned_malloc(rounded ? rounded : a, a)) return p;
#else
    if (void* p = std::aligned_alloc(a, rounded ? rounded : a)) return p;
#endif
    throw std::bad_alloc();
}
#endif

#ifdef HILLCAR_COUNT_MALLOC
// glibc's own allocator under its internal names: replacing the public ones
// by forwarders keeps one heap, so free, posix_memalign and the rest still
// match whatever these hand out.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);

void* malloc(std::size_t size)
{
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(std::size_t n, std::size_t size)
{
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}

void* realloc(void* p, std::size_t size)
{
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
}
#endif

namespace {

struct AllocCounts {
    long news;
    long mallocs;
};

AllocCounts allocCounts()
{
    return AllocCounts{newCount.load(), mallocCount.load()};
}

#ifdef HILLCAR_COUNT_NEW
// Defeats the compiler's right to drop an allocation nobody uses.
void* volatile sink;
#endif

// The keys held in one stretch of frames, and for how many frames.
struct KeyStretch {
    int frames;
    int keys[3]; // 0 ends the list
};

// Every key the frame polls, alone and in the combinations that take other
// paths (Shift with R and with digits). Latched keys (V, plus, minus) are
// released after their stretch, which is when they act.
const KeyStretch stretches[] = {
    {10, {0}},
    {12, {VK_UP, 0}},
    {10, {VK_UP, VK_LEFT, 0}},
    {10, {VK_RIGHT, 0}},
    {8, {VK_DOWN, 0}},
    {6, {'1', 0}},
    {6, {'5', 0}},
    {6, {'0', 0}},
    {6, {'9', VK_SHIFT, 0}},
    {8, {VK_RETURN, 0}},
    {10, {'F', 0}},
    {10, {'D', 0}},
    {10, {'D', VK_UP, 0}},
    {3, {'R', 0}},
    {20, {'R', VK_SHIFT, 0}},
    {3, {'V', 0}},
    {4, {0}},
    {3, {'V', 0}},
    {4, {0}},
    {3, {VK_ADD, 0}},
    {6, {0}},
    {3, {VK_SUBTRACT, 0}},
    {6, {0}},
    {3, {VK_SUBTRACT, 0}},
    {6, {0}},
    {3, {VK_ADD, 0}},
    {6, {0}},
    {4, {'2', VK_SHIFT, 0}},
    {40, {0}},
    {4, {'0', VK_SHIFT, 0}},
    {4, {'7', VK_SHIFT, 0}},
    {30, {VK_LEFT, 0}},
    {6, {VK_NUMPAD0, 0}},
    {27, {0}},
};

int totalFrames()
{
    int n = 0;
    for (const KeyStretch& s : stretches) n += s.frames;
    return n;
}

} // namespace

TEST(NoAlloc, CountersSeeAllocations)
{
#ifndef HILLCAR_COUNT_NEW
    GTEST_SKIP() << "allocations are not counted under a sanitizer";
#else
    AllocCounts before = allocCounts();
    sink = ::operator new(48);
    ::operator delete(sink);
    EXPECT_EQ(allocCounts().news - before.news, 1);
#ifdef HILLCAR_COUNT_MALLOC
    before = allocCounts();
    sink = std::malloc(40);
    std::free(sink);
    sink = std::calloc(3, 8);
    std::free(sink);
    EXPECT_EQ(allocCounts().mallocs - before.mallocs, 2);
#endif
#endif
}

TEST(NoAlloc, FramesAfterTheFirstAllocateNothing)
{
    ASSERT_GE(totalFrames(), 300);
    scriptReleaseKeys();
    auto world = std::make_unique<World>();
    uint32_t tick = 5000;
    scriptSetTick(tick);
    glrecReset();
    runFrame(*world, nullptr);

    AllocCounts before = allocCounts();
    long frames = 0;
    long vertices = 0;
    for (const KeyStretch& s : stretches) {
        scriptReleaseKeys();
        for (int k = 0; k < 3 && s.keys[k]; k++) scriptSetKey(s.keys[k], true);
        for (int f = 0; f < s.frames; f++) {
            tick += 16 + (f % 3); // uneven frame times, as a real clock gives
            scriptSetTick(tick);
            glrecReset();
            runFrame(*world, nullptr);
            vertices += glrecCounts().vertices;
            frames++;
        }
    }
    AllocCounts after = allocCounts();
    scriptReleaseKeys();
    bsize = 4.0f;

    // Under a sanitizer the counters stay at 0 and the frames still run under
    // its checks.
    EXPECT_EQ(after.news - before.news, 0) << "operator new calls in " << frames << " frames";
    EXPECT_EQ(after.mallocs - before.mallocs, 0) << "malloc calls in " << frames << " frames";
    // The frames did draw: at least the terrain's quads in every one.
    EXPECT_GE(vertices, frames * 99L * 99L * 4L);
}

#ifdef HILLCAR_HAVE_REPLAY
// The program's recorder and trace writer work in every frame: they format
// into buffers made when their files were opened.
TEST(NoAlloc, RecordingAndTracingFramesAllocateNothing)
{
    char recordPath[] = "/tmp/hillcar-noalloc-record-XXXXXX";
    char tracePath[] = "/tmp/hillcar-noalloc-trace-XXXXXX";
    int fd1 = mkstemp(recordPath), fd2 = mkstemp(tracePath);
    ASSERT_GE(fd1, 0);
    ASSERT_GE(fd2, 0);
    close(fd1);
    close(fd2);
    static OutFile record, trace;
    ASSERT_TRUE(recordOpen(record, recordPath, stderr));
    ASSERT_TRUE(traceOpen(trace, tracePath, stderr));
    recordHeader(record, "test", RAND_GLIBC, 1);

    scriptReleaseKeys();
    auto world = std::make_unique<World>();
    bool held[256] = {};
    uint32_t tick = 5000;
    // The first frame and the first writes may set things up.
    scriptSetTick(tick);
    glrecReset();
    FrameValues values = runFrame(*world, nullptr);
    recordFrame(record, tick, held);
    traceFrame(trace, 1, tick, *world, values, glrecCounts());
    outFlush(record);
    outFlush(trace);

    AllocCounts before = allocCounts();
    for (int f = 2; f <= 400; f++) {
        tick += 16 + f % 3;
        held[VK_UP] = f % 7 < 4;
        held[(int)'V'] = f % 50 == 0;
        held[VK_ADD] = f % 90 == 0;
        scriptReleaseKeys();
        for (int vk = 0; vk < 256; vk++)
            if (held[vk]) scriptSetKey(vk, true);
        scriptSetTick(tick);
        glrecReset();
        values = runFrame(*world, nullptr);
        recordFrame(record, tick, held);
        traceFrame(trace, (uint64_t)f, tick, *world, values, glrecCounts());
        if (f % 60 == 0) {
            outFlush(record);
            outFlush(trace);
        }
    }
    AllocCounts after = allocCounts();
    outClose(record);
    outClose(trace);
    scriptReleaseKeys();
    bsize = 4.0f;
    EXPECT_EQ(after.news - before.news, 0);
    EXPECT_EQ(after.mallocs - before.mallocs, 0);
    // They did write: a header and 400 frame lines, 400 trace lines.
    FILE* f = fopen(recordPath, "rb");
    ASSERT_NE(f, nullptr);
    int lines = 0;
    for (int c; (c = fgetc(f)) != EOF;) lines += c == '\n';
    fclose(f);
    EXPECT_EQ(lines, 3 + 400);
    unlink(recordPath);
    unlink(tracePath);
}
#endif
