// JSON lines as the trace and the dumps write them. A line is assembled in
// one buffer and handed to stdio in large pieces: one fwrite per trace line, a
// few per dump. Floats are printed with 9 significant digits and doubles with
// 17, so that every value reads back exactly; a value that is not finite is
// null.
#pragma once

#include "geometry/vec3.h"

#include <cstddef>
#include <cstdio>

namespace json {

struct Writer {
    FILE* out;
    size_t n;
    char buf[16384];
};

// The one writer, emptied, for a line to out.
Writer& startLine(FILE* out);
// Hands what is gathered to stdio.
void flush(Writer& w);

void put(Writer& w, const char* s);
void putFloat(Writer& w, float x);
void putDouble(Writer& w, double x);
void putInt(Writer& w, long long x);
void putBool(Writer& w, bool b);
void putVec3(Writer& w, vec3 v);
void putFrame(Writer& w, const positions& p);
void putInts(Writer& w, const int* v, int n);
// Each key after the first, with its leading separator: , "name": 
void key(Writer& w, const char* name);

} // namespace json
