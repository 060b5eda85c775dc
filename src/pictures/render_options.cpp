#include "pictures/render_options.h"

#include <sys/stat.h>

#include <cstring>
#include <strings.h>

const char* const RENDER_USAGE =
    "usage: hillcar-render SCRIPT -o OUT [--frames FIRST[-LAST]] [--every N] [--fps N]"
    " [--quiet] [--stats]";

namespace {

// A decimal count from 1 to 2^32 - 1, the whole of text.
bool readCount(const char* text, const char* end, uint32_t& n)
{
    if (text == end) return false;
    uint64_t v = 0;
    for (const char* p = text; p < end; p++) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (uint64_t)(*p - '0');
        if (v > UINT32_MAX) return false;
    }
    n = (uint32_t)v;
    return n > 0;
}

bool readRange(const char* text, RenderOptions& o)
{
    const char* end = text + strlen(text);
    const char* dash = strchr(text, '-');
    if (!dash) {
        if (!readCount(text, end, o.first)) return false;
        o.last = o.first;
        return true;
    }
    return readCount(text, dash, o.first) && readCount(dash + 1, end, o.last) && o.first <= o.last;
}

bool kindOf(const char* out, RenderOutput& kind)
{
    struct stat st;
    if (stat(out, &st) == 0 && S_ISDIR(st.st_mode)) {
        kind = RENDER_DIR;
        return true;
    }
    const char* base = strrchr(out, '/');
    base = base ? base + 1 : out;
    const char* dot = strrchr(base, '.');
    if (!dot || dot == base) kind = RENDER_DIR;
    else if (strcasecmp(dot, ".png") == 0) kind = RENDER_PNG;
    else if (strcasecmp(dot, ".mp4") == 0) kind = RENDER_MP4;
    else if (strcasecmp(dot, ".webm") == 0) kind = RENDER_WEBM;
    else return false;
    return true;
}

// The value of an option: the rest after '=' or the next argument.
bool takeValue(int argc, char** argv, int& i, const char* inline_, const char*& value)
{
    if (inline_) value = inline_;
    else if (i + 1 < argc) value = argv[++i];
    else return false;
    return value[0] != '\0';
}

bool fail(char* why, size_t whySize, const char* what, const char* arg)
{
    snprintf(why, whySize, "%s '%s'", what, arg);
    return false;
}

} // namespace

bool parseRenderOptions(int argc, char** argv, RenderOptions& o, char* why, size_t whySize)
{
    o = RenderOptions{nullptr, nullptr, RENDER_DIR, false, 0, 0, 0, 0, false, false, false, false};
    bool optionsEnd = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (optionsEnd || arg[0] != '-' || strcmp(arg, "-") == 0) {
            if (o.script) return fail(why, whySize, "a second script", arg);
            o.script = arg;
            continue;
        }
        if (strcmp(arg, "--") == 0) {
            optionsEnd = true;
            continue;
        }
        // "--name=value" for the long options that take a value.
        char name[32];
        const char* eq = strncmp(arg, "--", 2) == 0 ? strchr(arg, '=') : nullptr;
        size_t len = eq ? (size_t)(eq - arg) : strlen(arg);
        if (len >= sizeof name) return fail(why, whySize, "unknown option", arg);
        memcpy(name, arg, len);
        name[len] = '\0';
        const char* inline_ = eq ? eq + 1 : nullptr;

        bool* flag = nullptr;
        if (strcmp(name, "--quiet") == 0) flag = &o.quiet;
        else if (strcmp(name, "--stats") == 0) flag = &o.stats;
        else if (strcmp(name, "--help") == 0) flag = &o.help;
        else if (strcmp(name, "--version") == 0) flag = &o.version;
        if (flag) {
            if (inline_) return fail(why, whySize, "no value allowed", arg);
            *flag = true;
            continue;
        }
        const char* value = nullptr;
        bool known = strcmp(name, "-o") == 0 || strcmp(name, "--output") == 0 ||
                     strcmp(name, "--frames") == 0 || strcmp(name, "--every") == 0 ||
                     strcmp(name, "--fps") == 0;
        if (!known) return fail(why, whySize, "unknown option", arg);
        if (!takeValue(argc, argv, i, inline_, value)) {
            snprintf(why, whySize, "%s needs a value", name);
            return false;
        }
        if (name[1] == 'o' || strcmp(name, "--output") == 0) {
            o.out = value;
        } else if (strcmp(name, "--frames") == 0) {
            if (!readRange(value, o))
                return fail(why, whySize, "--frames takes N or FIRST-LAST (1 <= FIRST <= LAST), not",
                            value);
            o.haveFrames = true;
        } else {
            uint32_t& n = strcmp(name, "--every") == 0 ? o.every : o.fps;
            if (!readCount(value, value + strlen(value), n))
                return fail(why, whySize, strcmp(name, "--every") == 0
                                              ? "--every takes a count from 1, not"
                                              : "--fps takes a rate from 1, not",
                            value);
        }
    }
    if (o.help || o.version) return true;
    if (!o.script) {
        snprintf(why, whySize, "no script given (- reads standard input)");
        return false;
    }
    if (!o.out) {
        snprintf(why, whySize, "no output given (-o DIR, NAME.png, NAME.mp4 or NAME.webm)");
        return false;
    }
    if (!kindOf(o.out, o.kind))
        return fail(why, whySize, "the output is a directory, NAME.png, NAME.mp4 or NAME.webm, not",
                    o.out);
    bool video = o.kind == RENDER_MP4 || o.kind == RENDER_WEBM;
    if (video && o.every) {
        snprintf(why, whySize, "--every is for pictures; a video shows the frames at --fps");
        return false;
    }
    if (!video && o.fps) {
        snprintf(why, whySize, "--fps is for a video (NAME.mp4 or NAME.webm)");
        return false;
    }
    if (o.fps > 1000) {
        snprintf(why, whySize, "--fps goes up to 1000, not %u", (unsigned)o.fps);
        return false;
    }
    return true;
}

void printRenderHelp(FILE* out)
{
    fprintf(out, "%s\n\n", RENDER_USAGE);
    fputs("Draw the frames of a hillcar-replay script or recording off-screen, as\n"
          "pictures or as a video. SCRIPT - reads standard input.\n"
          "\n"
          "  -o, --output OUT  DIR (or a name with no extension): DIR/frame-NNNNNN.png;\n"
          "                    NAME.png: one picture (NAME-NNNNNN.png for several);\n"
          "                    NAME.mp4 or NAME.webm: a video, encoded by ffmpeg\n"
          "  --frames N        only frame N (numbered from 1, as in the trace)\n"
          "  --frames A-B      frames A to B; a video starts at A and ends at B\n"
          "  --every N         pictures: every Nth frame of the range (default all)\n"
          "  --fps N           video: frames a second (default 30)\n"
          "  --quiet           no progress line on a terminal\n"
          "  --stats           say where the time went, at the end\n"
          "  --help            show this and end\n"
          "  --version         show the version and end\n"
          "\n"
          "Pictures: without --frames or --every, the last frame. A video runs from the\n"
          "first frame (or A) to the last (or B); each of its frames shows the latest\n"
          "frame whose tick count has come by its time.\n",
          out);
}
