#!/usr/bin/env python3
"""Checks hillcar as installed: the files a desktop needs are in place (the
program in games/, the tools in bin/, the desktop entry, the AppStream
metadata, the recordings' MIME type, the icons, the manual pages), and the
program found through the desktop entry runs on a private Xvfb screen, shows
its window "Program" and ends on Escape with status 0.

    installed_test.py --prefix DIR          an installed tree (/usr, or a prefix)
    installed_test.py --install-from BUILD  `cmake --install BUILD` into a
                                            temporary prefix, then check that

Exit status 0 = pass, 1 = fail, 77 = the tools are missing (skip).
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# No compiled modules next to the sources (the script also runs as root
# against an installed tree).
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xvfb import (SKIP, Failure, check, kill_group, missing_tools,  # noqa: E402
                  program_env, start_xvfb, stop_xvfb, titled_windows, viewable,
                  x_client)

ICON_SIZES = (48, 64, 128, 256)
APP_ID = "io.github.hillcar.hillcar"
# Beside the program, the desktop entry and the icons: what a software centre,
# a file manager and man read.
SHARED_FILES = ("share/metainfo/%s.metainfo.xml" % APP_ID, "share/mime/packages/hillcar.xml",
                "share/man/man6/hillcar.6.gz", "share/man/man1/hillcar-replay.1.gz",
                "share/doc/hillcar/copyright", "share/doc/hillcar/changelog.gz")


# --- the installed files ------------------------------------------------------

def read_desktop_entry(path, wanted="[Desktop Entry]"):
    """The keys of one group of a desktop entry file."""
    keys = {}
    group = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = line
                continue
            if group == wanted and "=" in line:
                k, v = line.split("=", 1)
                keys[k.strip()] = v.strip()
    return keys


def read_png(path):
    """(width, height, distinct colours seen) of an 8-bit RGB or RGBA PNG
    without interlacing; the pixels are unfiltered to count the colours."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG" % path)
    pos = 8
    ihdr = None
    idat = b""
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        check(zlib.crc32(kind + body) & 0xFFFFFFFF == crc, "%s: bad %s checksum" % (path, kind))
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    check(ihdr is not None, "%s has no header" % path)
    width, height, bits, ctype, _, _, interlace = ihdr
    check(bits == 8 and ctype in (2, 6) and interlace == 0,
          "%s: only 8-bit RGB(A) without interlacing is read here" % path)
    bpp = 4 if ctype == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * bpp
    check(len(raw) == height * (stride + 1), "%s: pixel data of the wrong length" % path)
    colours = set()
    prev = bytearray(stride)
    for y in range(height):
        ftype = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 0xFF
            elif ftype == 2:
                line[i] = (line[i] + b) & 0xFF
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
            else:
                check(ftype == 0, "%s: unknown filter %d" % (path, ftype))
        for x in range(0, stride, bpp):
            colours.add(bytes(line[x:x + 3]))
        prev = line
    return width, height, len(colours)


def check_files(prefix, games="games"):
    """The files, and the program the desktop entry names, resolved the way a
    launcher would: through PATH, with the tree's games and bin first."""
    gamesdir, bindir = os.path.join(prefix, games), os.path.join(prefix, "bin")
    for path in (os.path.join(gamesdir, "hillcar"), os.path.join(bindir, "hillcar-replay")):
        check(os.path.isfile(path) and os.access(path, os.X_OK),
              "%s is missing or not executable" % path)
    for name in SHARED_FILES:
        check(os.path.isfile(os.path.join(prefix, name)), "%s is missing from %s" % (name, prefix))

    entry_path = os.path.join(prefix, "share", "applications", APP_ID + ".desktop")
    check(os.path.isfile(entry_path), "%s is missing" % entry_path)
    entry = read_desktop_entry(entry_path)
    # %f: a recording opened from a file manager comes as the one argument.
    for key, want in (("Type", "Application"), ("Exec", "hillcar %f"), ("Icon", "hillcar"),
                      ("Terminal", "false"), ("Categories", "Game;Simulation;"),
                      ("MimeType", "application/x-hillcar-recording;")):
        check(entry.get(key) == want, "%s: %s=%r, expected %r"
              % (entry_path, key, entry.get(key), want))
    for key in ("Name", "Comment"):
        check(entry.get(key), "%s has no %s" % (entry_path, key))
    search = os.pathsep.join((gamesdir, bindir, os.environ.get("PATH", "")))
    exe = shutil.which(entry["Exec"].split()[0], path=search)
    check(exe is not None and os.path.samefile(exe, os.path.join(gamesdir, "hillcar")),
          "Exec=%s resolves to %s, not the installed program" % (entry["Exec"], exe))
    # The launcher's actions answer the full-screen question beforehand.
    check(entry.get("Actions") == "windowed;fullscreen;fit;",
          "%s: Actions=%r" % (entry_path, entry.get("Actions")))
    for action, name, option in (("windowed", "Play in a window", "--windowed"),
                                 ("fullscreen", "Play full screen", "--fullscreen"),
                                 ("fit", "Play in a window that fits", "--windowed --fit")):
        keys = read_desktop_entry(entry_path, "[Desktop Action %s]" % action)
        check(keys.get("Name") == name and keys.get("Exec") == "hillcar " + option,
              "%s: action %s is %r" % (entry_path, action, keys))

    # The icon the entry names, in every size shipped, as real pictures.
    theme = os.path.join(prefix, "share", "icons", "hicolor")
    for size in ICON_SIZES:
        icon = os.path.join(theme, "%dx%d" % (size, size), "apps", entry["Icon"] + ".png")
        check(os.path.isfile(icon), "%s is missing" % icon)
        w, h, colours = read_png(icon)
        check((w, h) == (size, size), "%s is %dx%d" % (icon, w, h))
        check(colours >= 16, "%s has only %d colours: no picture" % (icon, colours))
    return exe


def check_replay(prefix):
    """The installed replay tool runs a two-frame script and traces both."""
    res = subprocess.run([os.path.join(prefix, "bin", "hillcar-replay")],
                         input="seed 5\nframe 0\nframe 20 UP\n",
                         capture_output=True, text=True, timeout=20)
    check(res.returncode == 0, "hillcar-replay exit status %d: %s"
          % (res.returncode, res.stderr.strip()))
    lines = res.stdout.splitlines()
    check(len(lines) == 2, "hillcar-replay printed %d lines for two frames" % len(lines))
    frames = [json.loads(line).get("frame") for line in lines]
    check(frames == [1, 2], "hillcar-replay traced frames %r" % frames)


# --- the program on Xvfb ------------------------------------------------------

class Run:
    """One Xvfb screen and one hillcar process on it; close() ends both."""

    def __init__(self):
        self.xvfb = None
        self.display = None
        self.prog = None
        self.err = None

    def start_xvfb(self, size):
        self.xvfb, self.display = start_xvfb(size)

    def env(self):
        return program_env(self.display)

    def x(self, argv, binary=False):
        return x_client(argv, self.env(), binary=binary)

    def start_program(self, exe, args=()):
        self.err = tempfile.TemporaryFile()
        # Its own process group, so that SDL's message-box child goes with it.
        self.prog = subprocess.Popen([exe] + list(args), env=self.env(),
                                     stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=self.err,
                                     start_new_session=True)

    def stderr_text(self):
        self.err.seek(0)
        return self.err.read().decode(errors="replace").strip()

    def close(self):
        if self.prog is not None:
            # Also when the program has ended: the message box's child may not have.
            kill_group(self.prog.pid)
            self.prog.wait()
        if self.xvfb is not None:
            stop_xvfb(self.xvfb)

    def find_window(self, name, seconds=10):
        """(id, width, height, x, y) of the viewable window titled name."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            check(self.prog.poll() is None,
                  "hillcar ended (status %s) while waiting for window \"%s\": %s"
                  % (self.prog.returncode, name, self.stderr_text()))
            for win in titled_windows(self.x(["xwininfo", "-root", "-tree"]), name):
                # A window seen in the tree may be gone a moment later.
                if viewable(win[0], self.env(), timeout=10):
                    return win
            time.sleep(0.1)
        raise Failure("no window \"%s\" within %g s" % (name, seconds))

    def gone(self, wid):
        return not viewable(wid, self.env(), timeout=10)

    def press(self, win, key, hold=0.2):
        """With no window manager, keys go to the window under the pointer;
        a key is held for a few frames, as the program polls once a frame."""
        wid, w, h, x, y = win
        self.x(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2)])
        for _ in range(20):
            self.x(["xdotool", "windowfocus", str(wid)])
            if self.x(["xdotool", "getwindowfocus"]).strip() == str(wid):
                break
            time.sleep(0.1)
        else:
            raise Failure("could not focus window 0x%x" % wid)
        self.x(["xdotool", "keydown", key])
        time.sleep(hold)
        self.x(["xdotool", "keyup", key])

    def lit_fraction(self, wid):
        """Share of the window's pixels, sampled on a grid, that are not black."""
        raw = self.x(["xwd", "-silent", "-id", str(wid)], binary=True)
        check(len(raw) >= 100, "xwd gave no image")
        hdr = struct.unpack(">25I", raw[:100])
        header_size, depth, width, height = hdr[0], hdr[3], hdr[4], hdr[5]
        bpp, line = hdr[11], hdr[12]
        masks = hdr[14] | hdr[15] | hdr[16]
        check(depth == 24 and bpp == 32, "unexpected XWD format %d/%d" % (depth, bpp))
        data = raw[header_size + 12 * hdr[19]:]
        check(len(data) >= line * height, "short XWD image")
        fmt = "<I" if hdr[7] == 0 else ">I"
        lit = total = 0
        for row in range(0, height, 8):
            for col in range(0, width, 8):
                (px,) = struct.unpack_from(fmt, data, row * line + col * 4)
                total += 1
                lit += 1 if px & masks else 0
        return lit / total


def check_program(exe):
    run = Run()
    try:
        run.start_xvfb("1024x768")
        run.start_program(exe)
        box = run.find_window("Fullscreen")
        run.press(box, "Escape", hold=0.1)
        deadline = time.time() + 5
        while not run.gone(box[0]):
            check(time.time() < deadline, "the full-screen question stayed after Escape")
            time.sleep(0.1)
        win = run.find_window("Program")
        check(win[1:3] == (800, 600), "window is %dx%d, expected 800x600" % win[1:3])
        # A second of frames: the installed program finds its GL driver and draws.
        time.sleep(1.0)
        check(run.prog.poll() is None, "hillcar ended by itself: %s" % run.stderr_text())
        lit = run.lit_fraction(win[0])
        check(lit > 0.5, "window is mostly black (%.0f%% lit)" % (100 * lit))
        run.press(win, "Escape")
        try:
            rc = run.prog.wait(timeout=8)
        except subprocess.TimeoutExpired:
            raise Failure("hillcar still running 8 s after Escape")
        check(rc == 0, "exit status %d after Escape: %s" % (rc, run.stderr_text()))
    finally:
        run.close()


def check_windowed_action(exe):
    """The entry's "Play in a window": the window comes with no question."""
    run = Run()
    try:
        run.start_xvfb("1024x768")
        run.start_program(exe, ["--windowed"])
        win = run.find_window("Program")
        check(not list(titled_windows(run.x(["xwininfo", "-root", "-tree"]), "Fullscreen")),
              "the full-screen question was asked")
        run.press(win, "Escape")
        try:
            rc = run.prog.wait(timeout=8)
        except subprocess.TimeoutExpired:
            raise Failure("hillcar --windowed still running 8 s after Escape")
        check(rc == 0, "hillcar --windowed: exit status %d: %s" % (rc, run.stderr_text()))
    finally:
        run.close()


def main():
    ap = argparse.ArgumentParser()
    where = ap.add_mutually_exclusive_group(required=True)
    where.add_argument("--prefix", help="installed tree holding games/, bin/ and share/")
    where.add_argument("--install-from", metavar="BUILD",
                       help="build tree to `cmake --install` into a temporary prefix")
    ap.add_argument("--cmake", default="cmake")
    ap.add_argument("--games-dir", default="games",
                    help="the program's folder in the tree (HILLCAR_INSTALL_GAMESDIR)")
    args = ap.parse_args()

    if missing_tools(("Xvfb", "xdotool", "xwininfo", "xwd")):
        return SKIP

    tmp = None
    try:
        prefix = args.prefix
        if args.install_from:
            tmp = tempfile.mkdtemp(prefix="hillcar-prefix-")
            res = subprocess.run([args.cmake, "--install", args.install_from, "--prefix", tmp],
                                 capture_output=True, text=True, timeout=120)
            check(res.returncode == 0, "cmake --install failed: %s%s" % (res.stdout, res.stderr))
            prefix = tmp
        prefix = os.path.abspath(prefix)
        exe = check_files(prefix, args.games_dir)
        check_replay(prefix)
        check_program(exe)
        check_windowed_action(exe)
    except Failure as e:
        print("FAIL: %s" % e)
        return 1
    except (OSError, subprocess.TimeoutExpired, ValueError) as e:
        print("FAIL: %s" % e)
        return 1
    finally:
        if tmp:
            shutil.rmtree(tmp, ignore_errors=True)
    print("PASS: %s runs as installed" % exe)
    return 0


if __name__ == "__main__":
    sys.exit(main())
