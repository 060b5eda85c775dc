#include "replay/script.h"

#include "frame/keys.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

// ---------------------------------------------------------------- the text

// A run of bytes inside the script; never NUL-terminated.
struct Text {
    const char* p;
    const char* end;
    size_t size() const { return (size_t)(end - p); }
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool equals(Text t, const char* word)
{
    size_t n = strlen(word);
    return t.size() == n && memcmp(t.p, word, n) == 0;
}

bool nextToken(Text& line, Text& tok)
{
    while (line.p < line.end && isBlank(*line.p)) line.p++;
    if (line.p == line.end) return false;
    tok.p = line.p;
    while (line.p < line.end && !isBlank(*line.p)) line.p++;
    tok.end = line.p;
    return true;
}

using Reason = ReplayReason;

void say(Reason& r, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

void say(Reason& r, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(r.text, sizeof r.text, fmt, ap);
    va_end(ap);
}

// A token as it can be shown in a message: quoted, bytes that are not
// printable escaped, cut short so that a megabyte token stays one short line.
struct Quoted {
    char text[160];
};

Quoted quote(Text tok)
{
    Quoted q;
    size_t n = 0;
    const size_t shown = 32;
    q.text[n++] = '"';
    for (size_t k = 0; k < tok.size() && k < shown; k++) {
        unsigned char c = (unsigned char)tok.p[k];
        if (c == '"' || c == '\\') {
            q.text[n++] = '\\';
            q.text[n++] = (char)c;
        } else if (c < 0x20 || c >= 0x7f) {
            n += (size_t)snprintf(q.text + n, sizeof q.text - n, "\\x%02x", c);
        } else {
            q.text[n++] = (char)c;
        }
    }
    if (tok.size() > shown) {
        memcpy(q.text + n, "...", 3);
        n += 3;
    }
    q.text[n++] = '"';
    q.text[n] = '\0';
    return q;
}

// ---------------------------------------------------------------- numbers

enum class Num { ok, malformed, range };

Num parseU32(Text tok, uint32_t& v)
{
    if (tok.size() == 0) return Num::malformed;
    uint64_t acc = 0;
    for (const char* s = tok.p; s < tok.end; s++) {
        if (!isDigit(*s)) return Num::malformed;
    }
    for (const char* s = tok.p; s < tok.end; s++) {
        acc = acc * 10 + (uint64_t)(*s - '0');
        if (acc > 0xffffffffu) return Num::range;
    }
    v = (uint32_t)acc;
    return Num::ok;
}

Num parseInt(Text tok, int& v)
{
    const char* s = tok.p;
    bool negative = false;
    if (s < tok.end && (*s == '-' || *s == '+')) negative = *s++ == '-';
    if (s == tok.end) return Num::malformed;
    for (const char* d = s; d < tok.end; d++) {
        if (!isDigit(*d)) return Num::malformed;
    }
    int64_t acc = 0;
    for (; s < tok.end; s++) {
        acc = acc * 10 + (*s - '0');
        if (acc > (int64_t)1 << 32) return Num::range;
    }
    if (negative) acc = -acc;
    if (acc < INT32_MIN || acc > INT32_MAX) return Num::range;
    v = (int)acc;
    return Num::ok;
}

// Plain decimal only: [+-] digits [. digits] [e [+-] digits], at least one
// digit in the mantissa. strtof alone would also take "nan", "inf", hex
// floats and leading blanks.
Num parseFloat(Text tok, float& v)
{
    const char* s = tok.p;
    const char* end = tok.end;
    if (s < end && (*s == '+' || *s == '-')) s++;
    size_t digits = 0;
    while (s < end && isDigit(*s)) s++, digits++;
    if (s < end && *s == '.') {
        s++;
        while (s < end && isDigit(*s)) s++, digits++;
    }
    if (digits == 0) return Num::malformed;
    if (s < end && (*s == 'e' || *s == 'E')) {
        s++;
        if (s < end && (*s == '+' || *s == '-')) s++;
        size_t exponent = 0;
        while (s < end && isDigit(*s)) s++, exponent++;
        if (exponent == 0) return Num::malformed;
    }
    if (s != end) return Num::malformed;

    // strtof reads a NUL-terminated copy; a longer spelling of a float than
    // this is no use to anyone.
    char buf[128];
    if (tok.size() >= sizeof buf) return Num::range;
    memcpy(buf, tok.p, tok.size());
    buf[tok.size()] = '\0';
    float f = strtof(buf, nullptr);
    if (!std::isfinite(f)) return Num::range;
    v = f;
    return Num::ok;
}

bool explain(Num result, Text tok, const char* what, Reason& r)
{
    if (result == Num::ok) return true;
    if (result == Num::malformed)
        say(r, "%s: malformed number %s", what, quote(tok).text);
    else
        say(r, "%s: number out of range %s", what, quote(tok).text);
    return false;
}

bool takeToken(Text& line, const char* what, Text& tok, Reason& r)
{
    if (nextToken(line, tok)) return true;
    say(r, "missing %s", what);
    return false;
}

bool readU32(Text& line, const char* what, uint32_t& v, Reason& r)
{
    Text tok;
    return takeToken(line, what, tok, r) && explain(parseU32(tok, v), tok, what, r);
}

bool readInt(Text& line, const char* what, int& v, Reason& r)
{
    Text tok;
    return takeToken(line, what, tok, r) && explain(parseInt(tok, v), tok, what, r);
}

bool readFloat(Text& line, const char* what, float& v, Reason& r)
{
    Text tok;
    return takeToken(line, what, tok, r) && explain(parseFloat(tok, v), tok, what, r);
}

bool readFloats(Text& line, const char* what, float* v, int n, Reason& r)
{
    for (int k = 0; k < n; k++) {
        if (!readFloat(line, what, v[k], r)) return false;
    }
    return true;
}

bool readIndex(Text& line, const char* what, int lo, int hi, int& v, Reason& r)
{
    Text tok;
    if (!takeToken(line, what, tok, r)) return false;
    Num result = parseInt(tok, v);
    if (result == Num::ok && (v < lo || v > hi)) {
        say(r, "%s: index out of range %s (%d..%d)", what, quote(tok).text, lo, hi);
        return false;
    }
    return explain(result, tok, what, r);
}

bool expectEnd(Text& line, Reason& r)
{
    Text tok;
    if (!nextToken(line, tok)) return true;
    say(r, "unexpected %s", quote(tok).text);
    return false;
}

// ---------------------------------------------------------------- keys

const struct {
    const char* name;
    int vk;
} namedKeys[] = {
    {"LEFT", VK_LEFT},       {"RIGHT", VK_RIGHT}, {"UP", VK_UP},
    {"DOWN", VK_DOWN},       {"SHIFT", VK_SHIFT}, {"RETURN", VK_RETURN},
    {"NUMPAD0", VK_NUMPAD0}, {"ADD", VK_ADD},     {"SUBTRACT", VK_SUBTRACT},
    {"ESCAPE", VK_ESCAPE},
};

int retKeyCode(Text tok)
{
    if (tok.size() == 1) {
        char c = tok.p[0];
        if ((c >= 'A' && c <= 'Z') || isDigit(c)) return c;
        return -1;
    }
    for (const auto& k : namedKeys) {
        if (equals(tok, k.name)) return k.vk;
    }
    return -1;
}

bool readKeys(Text& line, ReplayKeys& keys, Reason& r)
{
    bool seen[256] = {};
    keys.count = 0;
    Text tok;
    while (nextToken(line, tok)) {
        int vk = retKeyCode(tok);
        if (vk < 0) {
            say(r, "unknown key %s", quote(tok).text);
            return false;
        }
        if (!seen[vk]) {
            seen[vk] = true;
            keys.vk[keys.count++] = vk;
        }
    }
    return true;
}

// ---------------------------------------------------------------- set

bool applySet(Text& line, World& world, float* bsizeTarget, Reason& r)
{
    Text nameTok;
    if (!takeToken(line, "set name", nameTok, r)) return false;

    TerrainState& terrain = world.terrain;
    RigState& rig = world.rig;

    float* f = nullptr;
    int* integer = nullptr;
    bool* flag = nullptr;
    vec3* v = nullptr;
    positions* frame = nullptr;

    const struct {
        const char* name;
        float* target;
    } floats[] = {
        {"bsize", bsizeTarget},          {"rtrn", &rig.rtrn},       {"rspd", &rig.rspd},
        {"rrot", &rig.rrot},        {"vrot", &rig.vrot},       {"rafall", &rig.rafall},
        {"rbfall", &rig.rbfall},    {"vafall", &rig.vafall},   {"vbfall", &rig.vbfall},
        {"timeout", &rig.timeout},  {"btntime", &world.sky.btntime},
    };
    const struct {
        const char* name;
        int* target;
    } ints[] = {
        {"ptim2", &terrain.ptim2}, {"aimind", &rig.aimind}, {"view", &world.camera.view},
    };
    const struct {
        const char* name;
        vec3* target;
    } vectors[] = {
        {"tra", &world.camera.tra}, {"rnos", &rig.rnos}, {"rais", &rig.rais},
        {"clearcol", &world.sky.clearcol},
    };
    const struct {
        const char* name;
        positions* target;
    } frames[] = {{"rpos", &rig.rpos}, {"vnos", &rig.vnos}, {"vpos", &rig.vpos}};

    for (const auto& e : floats)
        if (equals(nameTok, e.name)) f = e.target;
    for (const auto& e : ints)
        if (equals(nameTok, e.name)) integer = e.target;
    for (const auto& e : vectors)
        if (equals(nameTok, e.name)) v = e.target;
    for (const auto& e : frames)
        if (equals(nameTok, e.name)) frame = e.target;
    if (equals(nameTok, "canturn")) flag = &rig.canturn;
    if (equals(nameTok, "candrive")) flag = &rig.candrive;

    // The name as the messages show it; every known name is short.
    char what[32];
    snprintf(what, sizeof what, "%.*s value", (int)(nameTok.size() < 16 ? nameTok.size() : 16),
             nameTok.p);

    // Every value is read before anything is written, so a refused line
    // leaves the world as it was.
    if (f) {
        float x;
        if (!readFloat(line, what, x, r) || !expectEnd(line, r)) return false;
        *f = x;
    } else if (integer) {
        int x;
        if (!readInt(line, what, x, r) || !expectEnd(line, r)) return false;
        *integer = x;
    } else if (equals(nameTok, "ptime")) {
        // The stepper reads the tables at ptime unless it is -1 or 10.
        int x;
        if (!readIndex(line, "ptime", -1, 10, x, r) || !expectEnd(line, r)) return false;
        terrain.ptime = x;
    } else if (flag) {
        Text tok;
        if (!takeToken(line, what, tok, r)) return false;
        if (!equals(tok, "0") && !equals(tok, "1")) {
            say(r, "%s: expected 0 or 1, not %s", what, quote(tok).text);
            return false;
        }
        if (!expectEnd(line, r)) return false;
        *flag = tok.p[0] == '1';
    } else if (v) {
        float x[3];
        if (!readFloats(line, what, x, 3, r) || !expectEnd(line, r)) return false;
        *v = vec3(x[0], x[1], x[2]);
    } else if (frame) {
        float x[12];
        if (!readFloats(line, what, x, 12, r) || !expectEnd(line, r)) return false;
        for (int k = 0; k < 4; k++) (*frame)[k] = vec3(x[3 * k], x[3 * k + 1], x[3 * k + 2]);
    } else if (equals(nameTok, "heights")) {
        float h;
        if (!readFloat(line, what, h, r) || !expectEnd(line, r)) return false;
        for (auto& row : terrain.w)
            for (float& x : row) x = h;
    } else if (equals(nameTok, "height")) {
        int i, j;
        float h;
        if (!readIndex(line, "height I", 0, GRID - 1, i, r) ||
            !readIndex(line, "height J", 0, GRID - 1, j, r) || !readFloat(line, what, h, r) ||
            !expectEnd(line, r))
            return false;
        terrain.w[i][j] = h;
    } else if (equals(nameTok, "step")) {
        int k, code, length;
        if (!readIndex(line, "step K", 0, 9, k, r) || !readInt(line, "step CODE", code, r) ||
            !readInt(line, "step LEN", length, r) || !expectEnd(line, r))
            return false;
        terrain.pro[k] = code;
        terrain.pam[k] = length;
    } else {
        say(r, "unknown set name %s", quote(nameTok).text);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- directives

bool withinCap(const ReplayReader& reader, uint64_t more, Reason& r)
{
    if (reader.maxFrames <= 0 || reader.frames + more <= (uint64_t)reader.maxFrames) return true;
    say(r, "more than %ld frames", reader.maxFrames);
    return false;
}

// One line without its comment: false with the reason when it is refused;
// true with blank set when there is nothing on it.
bool readDirective(ReplayReader& reader, Text line, ReplayDirective& d, bool& blank, Reason& r)
{
    blank = false;
    Text directive;
    if (!nextToken(line, directive)) {
        blank = true; // blank or comment only
        return true;
    }

    if (equals(directive, "frame")) {
        d.kind = REPLAY_FRAMES;
        d.count = 1;
        d.step = 0;
        if (!readU32(line, "tick count", d.tick, r) || !readKeys(line, d.keys, r)) return false;
        if (!withinCap(reader, 1, r)) return false;
    } else if (equals(directive, "repeat")) {
        d.kind = REPLAY_FRAMES;
        if (!readU32(line, "frame count", d.count, r) || !readU32(line, "tick count", d.tick, r) ||
            !readU32(line, "tick step", d.step, r) || !readKeys(line, d.keys, r))
            return false;
        if (d.count == 0) {
            say(r, "frame count must be at least 1");
            return false;
        }
        if (!withinCap(reader, d.count, r)) return false;
    } else if (equals(directive, "seed")) {
        d.kind = REPLAY_SEED;
        if (reader.frames > 0) {
            say(r, "seed after the first frame");
            return false;
        }
        if (!readU32(line, "seed", d.seed, r) || !expectEnd(line, r)) return false;
    } else if (equals(directive, "rand")) {
        d.kind = REPLAY_RAND;
        Text name;
        if (reader.frames > 0) {
            say(r, "rand after the first frame");
            return false;
        }
        if (!takeToken(line, "generator name", name, r)) return false;
        if (equals(name, "glibc")) d.rand = RAND_GLIBC;
        else if (equals(name, "msvcrt")) d.rand = RAND_MSVCRT;
        else {
            say(r, "unknown generator %s (glibc or msvcrt)", quote(name).text);
            return false;
        }
        if (!expectEnd(line, r)) return false;
    } else if (equals(directive, "set")) {
        d.kind = REPLAY_SET;
        // The first frame builds the world and would overwrite the value.
        if (reader.frames == 0) {
            say(r, "set before the first frame");
            return false;
        }
        d.setArgs = line.p;
        d.setLen = line.size();
    } else if (equals(directive, "dump")) {
        d.kind = REPLAY_DUMP;
        Text what;
        if (!takeToken(line, "dump name", what, r)) return false;
        if (equals(what, "heights")) d.dump = REPLAY_DUMP_HEIGHTS;
        else if (equals(what, "colors")) d.dump = REPLAY_DUMP_COLORS;
        else if (equals(what, "gl")) d.dump = REPLAY_DUMP_GL;
        else {
            say(r, "unknown dump %s", quote(what).text);
            return false;
        }
        if (!expectEnd(line, r)) return false;
    } else {
        say(r, "unknown directive %s", quote(directive).text);
        return false;
    }
    if (d.kind == REPLAY_FRAMES) reader.frames += d.count;
    return true;
}

} // namespace

ReplayReader replayReader(const char* text, size_t len, long maxFrames)
{
    return ReplayReader{text, text + len, 0, 0, maxFrames};
}

ReplayRead replayNext(ReplayReader& reader, ReplayDirective& d, ReplayReason& why)
{
    while (reader.p < reader.end) {
        reader.line++;
        const char* nl = (const char*)memchr(reader.p, '\n', (size_t)(reader.end - reader.p));
        Text line = {reader.p, nl ? nl : reader.end};
        reader.p = nl ? nl + 1 : reader.end;

        if (memchr(line.p, '\0', line.size())) {
            say(why, "NUL byte in line");
            reader.p = reader.end;
            return REPLAY_READ_BAD;
        }
        if (line.p < line.end && line.end[-1] == '\r') line.end--;
        const char* hash = (const char*)memchr(line.p, '#', line.size());
        if (hash) line.end = hash;
        bool blank;
        if (!readDirective(reader, line, d, blank, why)) {
            // Nothing after a refused line is read.
            reader.p = reader.end;
            return REPLAY_READ_BAD;
        }
        if (!blank) return REPLAY_READ_DIRECTIVE;
    }
    return REPLAY_READ_END;
}

void replayReportLine(FILE* err, unsigned long line, const ReplayReason& why)
{
    fprintf(err, "hillcar-replay: line %lu: %s\n", line, why.text);
}

bool replaySet(World& world, float* bsizeTarget, const char* args, size_t len, ReplayReason& why)
{
    Text line = {args, args + len};
    return applySet(line, world, bsizeTarget, why);
}

bool replayApplySet(World& world, const char* args, size_t len, char* why, size_t whySize)
{
    Reason r;
    if (replaySet(world, &bsize, args, len, r)) return true;
    if (why && whySize) snprintf(why, whySize, "%s", r.text);
    return false;
}

bool replayCheckScript(const char* text, size_t len, ReplayCheck& result, FILE* err)
{
    // Static, since a World is too large for the stack.
    static World scratch;
    float scratchBsize = 4.0f;
    result = ReplayCheck{1, RAND_PLATFORM, 0};
    ReplayReader reader = replayReader(text, len, 0);
    static ReplayDirective d;
    ReplayReason why;
    for (;;) {
        ReplayRead got = replayNext(reader, d, why);
        if (got == REPLAY_READ_END) break;
        bool ok = got == REPLAY_READ_DIRECTIVE;
        if (ok && d.kind == REPLAY_SEED) result.seed = d.seed;
        if (ok && d.kind == REPLAY_RAND) result.rand = d.rand;
        if (ok && d.kind == REPLAY_SET) ok = replaySet(scratch, &scratchBsize, d.setArgs, d.setLen, why);
        if (!ok) {
            replayReportLine(err, reader.line, why);
            return false;
        }
    }
    result.frames = reader.frames;
    return true;
}

const char* replayKeyName(int vk)
{
    static const char* const letters[26] = {"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                            "J", "K", "L", "M", "N", "O", "P", "Q", "R",
                                            "S", "T", "U", "V", "W", "X", "Y", "Z"};
    static const char* const digits[10] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    if (vk >= 'A' && vk <= 'Z') return letters[vk - 'A'];
    if (vk >= '0' && vk <= '9') return digits[vk - '0'];
    for (const auto& k : namedKeys)
        if (k.vk == vk) return k.name;
    return nullptr;
}

bool replayReadFile(const char* path, std::vector<char>& text, FILE* err)
{
    const char* name = path ? path : "standard input";
    FILE* in = path ? fopen(path, "rb") : stdin;
    if (!in) {
        fprintf(err, "hillcar-replay: cannot open %s: %s\n", name, strerror(errno));
        return false;
    }
    char chunk[65536];
    size_t n;
    // A short read is the end (or an error): reading on would wait for a
    // second end of input from a terminal.
    do {
        n = fread(chunk, 1, sizeof chunk, in);
        text.insert(text.end(), chunk, chunk + n);
    } while (n == sizeof chunk);
    bool ok = !ferror(in);
    int readErrno = errno;
    if (in != stdin) fclose(in);
    if (!ok) fprintf(err, "hillcar-replay: cannot read %s: %s\n", name, strerror(readErrno));
    return ok;
}
