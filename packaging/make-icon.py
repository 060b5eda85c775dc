#!/usr/bin/env python3
"""Makes hillcar's desktop icon from the program's own picture.

The icons under packaging/icons/ are committed, so that a build needs no X
server. To make them again (after the scene has changed), build hillcar and
run, from the top of the tree:

    packaging/make-icon.py BUILD_DIR/hillcar

It starts the program on a private Xvfb screen, answers "Use fullscreen?" with
Escape (No), steps with V to the side-on view, lets the truck settle on the
ground for a few seconds, captures the window with xwd, takes a square around
the truck and writes PNGs of every size in SIZES with rounded corners. It needs Xvfb, xdotool, xwininfo and xwd
(packages xvfb, xdotool, x11-utils, x11-apps); the XWD to PNG conversion is
done here, with nothing but zlib.

The terrain is random, so each run gives a different icon: look at
packaging/icons/hicolor/256x256/apps/hillcar.png and run again if the truck
ended up under water or behind a hill.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import time
import zlib

SIZES = (48, 64, 128, 256)
# The side-on view shows the whole truck with its wheels and the trailer's
# front. Its camera aims at the truck's rear axle, which lands in the middle
# of the window, with the cab to the left: the square leans that way.
VIEW = 7
CROP = (460, 110, 30)
HERE = os.path.dirname(os.path.abspath(__file__))

# The window tests' Xvfb start and program environment; no compiled module
# left next to them.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(HERE, "..", "tests", "window"))
from xvfb import (Failure, kill_group, program_env, start_xvfb,  # noqa: E402
                  stop_xvfb, titled_windows, viewable)


# --- images -------------------------------------------------------------------
# An image is (width, height, rows), each row a list of (r, g, b) tuples of ints.

def read_xwd(raw):
    """Decodes a 24-bit TrueColor XWD dump, the form xwd gives on Xvfb."""
    if len(raw) < 100:
        raise Failure("xwd gave no image")
    hdr = struct.unpack(">25I", raw[:100])
    header_size, depth, width, height = hdr[0], hdr[3], hdr[4], hdr[5]
    byte_order, bpp, line = hdr[7], hdr[11], hdr[12]
    masks = hdr[14:17]
    ncolors = hdr[19]
    if depth != 24 or bpp != 32:
        raise Failure("unexpected XWD format: depth %d, %d bits per pixel" % (depth, bpp))
    data = raw[header_size + 12 * ncolors:]
    if len(data) < line * height:
        raise Failure("short XWD image")
    # Each channel is 8 bits wide; its place comes from its mask.
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    fmt = "<%dI" if byte_order == 0 else ">%dI"
    rows = []
    for y in range(height):
        words = struct.unpack_from(fmt % width, data, y * line)
        rows.append([tuple((px >> s) & 0xFF for s in shifts) for px in words])
    return width, height, rows


def crop(img, x0, y0, size):
    width, height, rows = img
    if x0 < 0 or y0 < 0 or x0 + size > width or y0 + size > height:
        raise Failure("crop %d+%d+%d lies outside the %dx%d picture"
                      % (size, x0, y0, width, height))
    return size, size, [row[x0:x0 + size] for row in rows[y0:y0 + size]]


def box_weights(src, dst):
    """For each output index, the source indices it covers and how much of
    each: every source pixel counts by the share of it inside the output box,
    so shrinking by a fraction neither drops nor doubles any detail."""
    scale = src / dst
    table = []
    for i in range(dst):
        lo, hi = i * scale, (i + 1) * scale
        taps = []
        j = int(lo)
        while j < hi and j < src:
            w = min(hi, j + 1) - max(lo, j)
            if w > 1e-9:
                taps.append((j, w / scale))
            j += 1
        table.append(taps)
    return table


def shrink(img, size):
    width, height, rows = img
    wx = box_weights(width, size)
    wy = box_weights(height, size)
    # Rows first, then columns; floats until the end so rounding happens once.
    narrow = []
    for row in rows:
        out = []
        for taps in wx:
            r = g = b = 0.0
            for j, w in taps:
                p = row[j]
                r += p[0] * w
                g += p[1] * w
                b += p[2] * w
            out.append((r, g, b))
        narrow.append(out)
    result = []
    for taps in wy:
        out = []
        for x in range(size):
            r = g = b = 0.0
            for j, w in taps:
                p = narrow[j][x]
                r += p[0] * w
                g += p[1] * w
                b += p[2] * w
            out.append((int(r + 0.5), int(g + 0.5), int(b + 0.5)))
        result.append(out)
    return size, size, result


def corner_alpha(x, y, size, radius):
    """Coverage of pixel (x, y) by a square with rounded corners, sampled 4x4
    so that the curve's edge is smooth."""
    inside = 0
    for sy in range(4):
        for sx in range(4):
            px = x + (sx + 0.5) / 4
            py = y + (sy + 0.5) / 4
            cx = min(max(px, radius), size - radius)
            cy = min(max(py, radius), size - radius)
            if (px - cx) ** 2 + (py - cy) ** 2 <= radius * radius:
                inside += 1
    return (inside * 255 + 8) // 16


def png_bytes(img, rounded=True):
    """RGBA PNG; the corners are rounded through the alpha channel."""
    width, height, rows = img
    radius = width / 8.0
    raw = bytearray()
    for y, row in enumerate(rows):
        raw.append(0)  # filter: none
        for x, (r, g, b) in enumerate(row):
            a = corner_alpha(x, y, width, radius) if rounded else 255
            raw += bytes((r, g, b, a))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# --- the program on Xvfb ------------------------------------------------------

class Screen:
    def __init__(self):
        self.xvfb = None
        self.prog = None
        self.display = None

    def start(self, size):
        self.xvfb, self.display = start_xvfb(size)

    def env(self):
        # Not a test run: a sanitizer's leak report is left on.
        return program_env(self.display, quiet_sanitizer_leaks=False)

    def x(self, argv, binary=False):
        res = subprocess.run(argv, env=self.env(), capture_output=True,
                             text=not binary, timeout=20)
        if res.returncode != 0:
            raise Failure("%s failed: %s" % (argv[0], res.stderr))
        return res.stdout

    def run(self, hillcar):
        # Its own process group, so that SDL's message-box child goes with it.
        self.prog = subprocess.Popen([hillcar], env=self.env(), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, start_new_session=True)

    def window(self, name, seconds=10):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if self.prog.poll() is not None:
                raise Failure("hillcar ended (status %d)" % self.prog.returncode)
            for win in titled_windows(self.x(["xwininfo", "-root", "-tree"]), name):
                # The window may be gone again by now (the question's box).
                if viewable(win[0], self.env(), timeout=20):
                    return win
            time.sleep(0.1)
        raise Failure("no window \"%s\"" % name)

    def key(self, win, key):
        # No window manager: keys go to the window under the pointer.
        wid, w, h, x, y = win
        self.x(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2)])
        self.x(["xdotool", "windowfocus", str(wid)])
        self.x(["xdotool", "keydown", key])
        time.sleep(0.15)
        self.x(["xdotool", "keyup", key])

    def close(self):
        if self.prog is not None:
            kill_group(self.prog.pid)
            self.prog.wait()
        if self.xvfb is not None:
            stop_xvfb(self.xvfb)


def capture(hillcar, settle, view):
    screen = Screen()
    try:
        screen.start("1024x768")
        screen.run(hillcar)
        box = screen.window("Fullscreen")
        screen.key(box, "Escape")
        win = screen.window("Program")
        # V steps to the next view on release; the run starts in view 6.
        for _ in range((view - 6) % 10):
            screen.key(win, "v")
            time.sleep(0.1)
        time.sleep(settle)
        raw = screen.x(["xwd", "-silent", "-id", str(win[0])], binary=True)
        # Escape ends the run the way a user would.
        screen.key(win, "Escape")
        try:
            screen.prog.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
        return read_xwd(raw)
    finally:
        screen.close()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("hillcar", help="the built program")
    ap.add_argument("--settle", type=float, default=4.0,
                    help="seconds to let the rig come to rest before the capture")
    ap.add_argument("--view", type=int, default=VIEW, choices=range(10),
                    help="camera view to capture (default %(default)s)")
    ap.add_argument("--crop", default="",
                    help="square to take from the window as SIZE+X+Y (default %d+%d+%d)" % CROP)
    ap.add_argument("--out", default=os.path.join(HERE, "icons", "hicolor"),
                    help="icon theme folder to write SIZExSIZE/apps/hillcar.png into")
    ap.add_argument("--full", help="also keep the whole window as a PNG here")
    args = ap.parse_args()

    try:
        img = capture(os.path.abspath(args.hillcar), args.settle, args.view)
        if args.full:
            with open(args.full, "wb") as f:
                f.write(png_bytes(img, rounded=False))
        if args.crop:
            m = re.fullmatch(r"(\d+)\+(\d+)\+(\d+)", args.crop)
            if not m:
                raise Failure("--crop wants SIZE+X+Y")
            size, x0, y0 = (int(v) for v in m.groups())
        else:
            size, x0, y0 = CROP
        square = crop(img, x0, y0, size)
        for s in SIZES:
            folder = os.path.join(args.out, "%dx%d" % (s, s), "apps")
            os.makedirs(folder, exist_ok=True)
            path = os.path.join(folder, "hillcar.png")
            with open(path, "wb") as f:
                f.write(png_bytes(shrink(square, s)))
            print(path)
    except (Failure, OSError, subprocess.TimeoutExpired) as e:
        print("make-icon: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
