#include "replay/json.h"

#include <cmath>
#include <cstring>

namespace json {

namespace {
// One for the whole process: the program and the tools write on one thread.
Writer writer;
// Room for any one number or key.
void room(Writer& w)
{
    if (w.n > sizeof w.buf - 64) flush(w);
}
} // namespace

Writer& startLine(FILE* out)
{
    writer.out = out;
    writer.n = 0;
    return writer;
}

void flush(Writer& w)
{
    if (w.n) fwrite(w.buf, 1, w.n, w.out);
    w.n = 0;
}

void put(Writer& w, const char* s)
{
    size_t len = strlen(s);
    if (w.n + len > sizeof w.buf) flush(w);
    if (len > sizeof w.buf) {
        fwrite(s, 1, len, w.out);
        return;
    }
    memcpy(w.buf + w.n, s, len);
    w.n += len;
}

void putFloat(Writer& w, float x)
{
    room(w);
    if (!std::isfinite(x)) {
        memcpy(w.buf + w.n, "null", 4);
        w.n += 4;
    } else {
        w.n += (size_t)snprintf(w.buf + w.n, sizeof w.buf - w.n, "%.9g", (double)x);
    }
}

void putDouble(Writer& w, double x)
{
    room(w);
    if (!std::isfinite(x)) {
        memcpy(w.buf + w.n, "null", 4);
        w.n += 4;
    } else {
        w.n += (size_t)snprintf(w.buf + w.n, sizeof w.buf - w.n, "%.17g", x);
    }
}

void putInt(Writer& w, long long x)
{
    room(w);
    w.n += (size_t)snprintf(w.buf + w.n, sizeof w.buf - w.n, "%lld", x);
}

void putBool(Writer& w, bool b)
{
    put(w, b ? "true" : "false");
}

void putVec3(Writer& w, vec3 v)
{
    put(w, "[");
    putFloat(w, v.x);
    put(w, ", ");
    putFloat(w, v.y);
    put(w, ", ");
    putFloat(w, v.z);
    put(w, "]");
}

void putFrame(Writer& w, const positions& p)
{
    put(w, "[");
    for (int k = 0; k < 4; k++) {
        if (k) put(w, ", ");
        putVec3(w, p[k]);
    }
    put(w, "]");
}

void putInts(Writer& w, const int* v, int n)
{
    put(w, "[");
    for (int k = 0; k < n; k++) {
        if (k) put(w, ", ");
        putInt(w, v[k]);
    }
    put(w, "]");
}

// Each key after the first is written with its leading separator.
void key(Writer& w, const char* name)
{
    put(w, ", \"");
    put(w, name);
    put(w, "\": ");
}

} // namespace json
