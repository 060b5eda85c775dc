#include "pictures/png.h"

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace {

void putU32(std::vector<unsigned char>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((unsigned char)(v >> shift));
}

void putChunk(std::vector<unsigned char>& out, const char* kind, const unsigned char* body,
              size_t len)
{
    putU32(out, (uint32_t)len);
    size_t start = out.size();
    out.insert(out.end(), kind, kind + 4);
    out.insert(out.end(), body, body + len);
    uLong crc = crc32(0, &out[start], (uInt)(len + 4));
    putU32(out, (uint32_t)crc);
}

} // namespace

std::vector<unsigned char> encodePng(const unsigned char* rgb, int width, int height)
{
    // Each row takes the Up filter (the difference from the row above), which
    // suits the frame's smooth slopes and flat sky.
    size_t stride = (size_t)width * 3;
    std::vector<unsigned char> raw((stride + 1) * (size_t)height);
    for (int y = 0; y < height; y++) {
        unsigned char* row = &raw[(stride + 1) * (size_t)y];
        const unsigned char* cur = rgb + stride * (size_t)y;
        row[0] = 2;
        for (size_t x = 0; x < stride; x++)
            row[1 + x] = (unsigned char)(cur[x] - (y ? cur[x - stride] : 0));
    }
    uLongf packedLen = compressBound((uLong)raw.size());
    std::vector<unsigned char> packed(packedLen);
    compress2(packed.data(), &packedLen, raw.data(), (uLong)raw.size(), Z_BEST_COMPRESSION);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    unsigned char header[13] = {0};
    for (int k = 0; k < 4; k++) {
        header[k] = (unsigned char)((uint32_t)width >> (24 - 8 * k));
        header[4 + k] = (unsigned char)((uint32_t)height >> (24 - 8 * k));
    }
    header[8] = 8; // bits per channel
    header[9] = 2; // RGB
    putChunk(png, "IHDR", header, sizeof header);
    putChunk(png, "IDAT", packed.data(), packedLen);
    putChunk(png, "IEND", nullptr, 0);
    return png;
}

bool writePng(const char* path, const unsigned char* rgb, int width, int height)
{
    std::vector<unsigned char> png = encodePng(rgb, width, height);
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    errno = 0;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    ok = fflush(f) == 0 && ok;
    int error = errno;
    ok = fclose(f) == 0 && ok;
    if (!ok && error) errno = error;
    if (!ok && !errno) errno = EIO;
    return ok;
}
