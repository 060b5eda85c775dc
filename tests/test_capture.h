// A stream a test writes to and then reads back whole: in memory where the C
// library can do that (open_memstream), else a temporary file.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

struct Capture {
    FILE* file = nullptr;
    char* buf = nullptr; // in memory: the bytes; in a file: its name
    size_t size = 0;
};

inline FILE* openCapture(Capture& c)
{
#ifdef _WIN32
    // In the user's temporary directory, not the drive's root where the C
    // runtime's tmpfile would go.
    c.buf = _tempnam(nullptr, "hillcar-test-");
    c.file = c.buf ? std::fopen(c.buf, "w+b") : nullptr;
#else
    c.file = open_memstream(&c.buf, &c.size);
#endif
    return c.file;
}

// Closes the stream and returns what was written to it.
inline std::string takeCapture(Capture& c)
{
    std::string s;
    if (!c.file) return s;
#ifdef _WIN32
    std::rewind(c.file);
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, c.file)) > 0) s.append(chunk, n);
    std::fclose(c.file);
    std::remove(c.buf);
#else
    std::fclose(c.file);
    s.assign(c.buf, c.size);
#endif
    std::free(c.buf);
    c = Capture();
    return s;
}
