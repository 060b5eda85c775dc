#include "app/record.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// The longest frame line: "frame", a 10-digit tick and every key name.
constexpr size_t MAX_FRAME_LINE = 6 + 10 + 64 * 10 + 1;

void say(const OutFile& out, int error, const char* after)
{
    fprintf(out.err, "hillcar: cannot %s %s: %s%s\n", out.what, out.name, strerror(error), after);
}

void append(OutFile& out, const char* s, size_t len)
{
    if (out.n + len > sizeof out.buf) outFlush(out);
    if (len > sizeof out.buf) len = sizeof out.buf; // longer than any line the program writes
    memcpy(out.buf + out.n, s, len);
    out.n += len;
}

void appendText(OutFile& out, const char* s)
{
    append(out, s, strlen(s));
}

// Decimal digits of v at p, returning the end.
char* putU32(char* p, uint32_t v)
{
    char digits[10];
    int n = 0;
    do {
        digits[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    while (n) *p++ = digits[--n];
    return p;
}

} // namespace

const ScriptKeys& scriptKeys()
{
    static ScriptKeys keys;
    static bool built = false;
    if (!built) {
        keys.count = 0;
        for (int vk = 0; vk < 256; vk++)
            if (replayKeyName(vk) && keys.count < 64) keys.vk[keys.count++] = vk;
        built = true;
    }
    return keys;
}

bool openOut(OutFile& out, const char* name, const char* what, FILE* err)
{
    out.name = name;
    out.what = what;
    out.err = err;
    out.n = 0;
    out.file = fopen(name, "wb");
    if (!out.file) {
        say(out, errno, "");
        return false;
    }
    return true;
}

bool recordOpen(OutFile& out, const char* name, FILE* err)
{
    if (!openOut(out, name, "record to", err)) return false;
    // The buffer here is the only one, so that a flush is one write.
    setvbuf(out.file, nullptr, _IONBF, 0);
    return true;
}

namespace {

// Closes the file after a failed write and says so, once.
void giveUp(OutFile& out, int error)
{
    fclose(out.file);
    out.file = nullptr;
    out.n = 0;
    say(out, error ? error : EIO, "; it is not written from here on");
}

} // namespace

void outFlush(OutFile& out)
{
    if (!out.file) {
        out.n = 0;
        return;
    }
    errno = 0;
    bool ok = out.n == 0 || fwrite(out.buf, 1, out.n, out.file) == out.n;
    ok = ok && fflush(out.file) == 0 && !ferror(out.file);
    out.n = 0;
    if (!ok) giveUp(out, errno);
}

void outClose(OutFile& out)
{
    outFlush(out);
    if (out.file && fclose(out.file) != 0) say(out, errno, "");
    out.file = nullptr;
}

RandSource platformRandModel()
{
#if defined(_WIN32)
    return RAND_MSVCRT;
#elif defined(__GLIBC__)
    return RAND_GLIBC;
#else
    return RAND_PLATFORM;
#endif
}

void recordHeader(OutFile& out, const char* made, RandSource rand, uint32_t seed)
{
    char line[256];
    char when[64] = "an unknown time";
    time_t now = time(nullptr);
    if (const tm* utc = gmtime(&now)) strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", utc);
    snprintf(line, sizeof line, "# recorded by %s, %s\n", made, when);
    appendText(out, line);
    if (rand == RAND_GLIBC) appendText(out, "rand glibc\n");
    else if (rand == RAND_MSVCRT) appendText(out, "rand msvcrt\n");
    else appendText(out, "# rand: this C library's own generator, which hillcar-replay does not model\n");
    snprintf(line, sizeof line, "seed %lu\n", (unsigned long)seed);
    appendText(out, line);
}

void recordFrame(OutFile& out, uint32_t tick, const bool held[256])
{
    if (!out.file) return;
    if (out.n + MAX_FRAME_LINE > sizeof out.buf) outFlush(out);
    char* p = out.buf + out.n;
    memcpy(p, "frame ", 6);
    p = putU32(p + 6, tick);
    const ScriptKeys& keys = scriptKeys();
    for (int k = 0; k < keys.count; k++) {
        if (!held[keys.vk[k]]) continue;
        const char* name = replayKeyName(keys.vk[k]);
        *p++ = ' ';
        while (*name) *p++ = *name++;
    }
    *p++ = '\n';
    out.n = (size_t)(p - out.buf);
}

void recordSet(OutFile& out, const char* args, size_t len)
{
    if (!out.file) return;
    appendText(out, "set");
    append(out, args, len);
    appendText(out, "\n");
}

bool traceOpen(OutFile& out, const char* name, FILE* err)
{
    if (!openOut(out, name, "write the trace to", err)) return false;
    // Trace lines go straight into stdio's buffer, which is made large enough
    // for a second of frames; outFlush then only flushes it.
    static char buffer[1 << 20];
    setvbuf(out.file, buffer, _IOFBF, sizeof buffer);
    return true;
}

void traceFrame(OutFile& out, uint64_t frame, uint32_t tick, const World& world,
                const FrameValues& values, GlCounts gl)
{
    if (!out.file) return;
    errno = 0;
    replayWriteTrace(out.file, frame, tick, world, values, gl);
    // A write stdio made when its buffer filled may have failed.
    if (ferror(out.file)) giveUp(out, errno);
}
