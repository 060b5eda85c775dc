// Pictures as PNG files: 8-bit RGB, no interlace. The same pixels give the
// same bytes with the same zlib.
#pragma once

#include <cstddef>
#include <vector>

// The PNG file of width x height pixels of 3 bytes (R, G, B), top row first.
std::vector<unsigned char> encodePng(const unsigned char* rgb, int width, int height);

// Writes it to path; false with errno set when the file can't be written.
bool writePng(const char* path, const unsigned char* rgb, int width, int height);
