#!/usr/bin/env python3
"""Packs PNG pictures into one Windows icon file (.ico), each stored as the
PNG it is, which Windows reads since Vista:

    make-ico.py OUT.ico IN.png...

The sizes are read from the PNGs themselves; each must be square and at most
256 pixels a side.
"""
import struct
import sys


def png_size(data, name):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit("make-ico: %s is not a PNG picture" % name)
    width, height = struct.unpack(">II", data[16:24])
    bit_depth, colour_type = data[24], data[25]
    if width != height or not 1 <= width <= 256:
        sys.exit("make-ico: %s is %dx%d; a square of at most 256 is needed"
                 % (name, width, height))
    # Bits a pixel as the directory gives them: RGBA 8 bits a channel is 32.
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour_type, 4)
    return width, channels * bit_depth


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: make-ico.py OUT.ico IN.png...")
    images = []
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        images.append((png_size(data, name), data))
    images.sort(key=lambda image: image[0][0])
    out = struct.pack("<HHH", 0, 1, len(images))  # reserved, type 1 = icon, count
    offset = 6 + 16 * len(images)
    for (size, bpp), data in images:
        # A side of 256 is written as 0.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
