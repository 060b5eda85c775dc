#!/usr/bin/env python3
"""Pictures of the real hillcar program on a private Xvfb screen, and checks of
what they must show. Exit status 0 = pass, 1 = fail, 77 = tools missing (skip).

    screenshots.py --hillcar PATH --case CASE [--play SCRIPT] [--out DIR]

Each case starts its own screen and program, answers the full-screen question
with No, drives the program with xdotool and captures the window with xwd. The
pictures are decoded and encoded (XWD in, PNG out) here, with the standard
library alone, so the checks need nothing beyond the X tools.

The world is random unless --play gives the program a script to play first
(a fixed seed and the frames that reach a moment), so the checks look at
shares of colours in parts of the frame, never at single pixels.
"""
import argparse
import functools
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# No compiled module next to the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from hillcar_window import Run, answer_question  # noqa: E402
from xvfb import SKIP, attempt, check, missing_tools  # noqa: E402


# --- pictures -------------------------------------------------------------------

class Image:
    """width x height pixels, rows top to bottom, 3 bytes (R, G, B) each."""

    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self.rgb = rgb

    def pixels(self, top, bottom, left=0, right=None, step=2):
        """Every step-th pixel each way of the rows top..bottom-1 and the
        columns left..right-1, given as fractions of the frame."""
        right = 1.0 if right is None else right
        y0, y1 = int(top * self.height), int(bottom * self.height)
        x0, x1 = int(left * self.width), int(right * self.width)
        rgb, w = self.rgb, self.width
        for y in range(y0, y1, step):
            base = 3 * y * w
            for x in range(x0, x1, step):
                i = base + 3 * x
                yield rgb[i], rgb[i + 1], rgb[i + 2]

    def share(self, test, top, bottom, left=0, right=None):
        """Share of the region's pixels for which test(r, g, b) holds."""
        hit = total = 0
        for r, g, b in self.pixels(top, bottom, left, right):
            total += 1
            if test(r, g, b):
                hit += 1
        return hit / total if total else 0.0

    def count(self, test, top=0.0, bottom=1.0, left=0, right=None):
        """Number of pixels (all of them, not a sample) for which test holds."""
        return sum(1 for r, g, b in self.pixels(top, bottom, left, right, step=1)
                   if test(r, g, b))


def _byte_of(mask, byte_order):
    """Which byte of a 32-bit pixel holds the 8-bit channel under mask."""
    check(mask in (0xFF, 0xFF00, 0xFF0000, 0xFF000000),
          "XWD colour mask 0x%x is not one whole byte" % mask)
    index = {0xFF: 0, 0xFF00: 1, 0xFF0000: 2, 0xFF000000: 3}[mask]
    return index if byte_order == 0 else 3 - index


def decode_xwd(raw):
    """A 24-bit TrueColor XWD dump (ZPixmap, 32 bits a pixel) as an Image."""
    check(len(raw) >= 100, "xwd gave no image")
    hdr = struct.unpack(">25I", raw[:100])
    header_size, version, fmt, depth, width, height = hdr[:6]
    byte_order, bpp, line = hdr[7], hdr[11], hdr[12]
    ncolors = hdr[19]
    check(version == 7 and fmt == 2, "unexpected XWD version %d / format %d" % (version, fmt))
    check(depth == 24 and bpp == 32, "unexpected XWD depth %d / %d bits a pixel" % (depth, bpp))
    offsets = [_byte_of(m, byte_order) for m in hdr[14:17]]
    start = header_size + 12 * ncolors
    check(len(raw) >= start + line * height, "short XWD image")
    rgb = bytearray(3 * width * height)
    for y in range(height):
        row = raw[start + y * line:start + y * line + 4 * width]
        out = 3 * width * y
        for channel, offset in enumerate(offsets):
            rgb[out + channel:out + 3 * width:3] = row[offset::4]
    return Image(width, height, rgb)


def _png_chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body
            + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def encode_png(img):
    """8-bit RGB PNG, rows unfiltered."""
    stride = 3 * img.width
    rows = [b"\0" + bytes(img.rgb[y * stride:(y + 1) * stride]) for y in range(img.height)]
    ihdr = struct.pack(">IIBBBBB", img.width, img.height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", ihdr)
            + _png_chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
            + _png_chunk(b"IEND", b""))


# --- colours ------------------------------------------------------------------------

def is_sky(r, g, b):
    # The clear colour (0.5, 0.8, 1.0), which the far terrain and water also
    # fade into.
    return abs(r - 128) <= 3 and abs(g - 204) <= 3 and b >= 252


def is_black(r, g, b):
    return r <= 6 and g <= 6 and b <= 6


def is_shade_of(bases, r, g, b):
    """Whether (r, g, b) is one of the base colours at a face shade between
    0.5 and 1, as a flat-shaded body face is drawn: each channel the base
    times the same shade, to within rounding."""
    for base in bases:
        k = max(range(3), key=lambda i: base[i])
        s = (r, g, b)[k] / (255.0 * base[k])
        if not 0.49 <= s <= 1.01:
            continue
        if all(abs(v - 255.0 * c * s) <= 3.0 for v, c in zip((r, g, b), base)):
            return True
    return False


TRUCK_BOX = ((0.2, 0.8, 0.8), (0.2, 0.7, 0.9))   # sides and rear, roof
TRAILER_BOX = ((0.7, 0.8, 0.2), (0.7, 0.9, 0.2))  # sides, front and rear, roof


# Flat faces repeat a few colours many times over: remember the answers.
@functools.lru_cache(maxsize=None)
def is_truck_box(r, g, b):
    return g >= 60 and is_shade_of(TRUCK_BOX, r, g, b)


@functools.lru_cache(maxsize=None)
def is_trailer_box(r, g, b):
    return g >= 60 and is_shade_of(TRAILER_BOX, r, g, b)


def is_rig(r, g, b):
    return is_truck_box(r, g, b) or is_trailer_box(r, g, b)


def is_terrain(r, g, b):
    """Drawn, and neither sky nor a rig body: terrain, water, wheels, cab."""
    return not is_sky(r, g, b) and not is_black(r, g, b) and not is_rig(r, g, b)


def is_band_colour(r, g, b):
    # Colours of the elevation bands that the script tint never takes: the
    # tint has blue at least as high as green and red, and so have the water
    # over it and the haze toward the sky. Grass and sand have green (and
    # red) well above blue; lit rock and snow are light grey, a grey lighter
    # than the wheels and floors.
    if is_rig(r, g, b):
        return False
    return g > b + 15 or (max(r, g, b) - min(r, g, b) <= 4 and min(r, g, b) >= 110)


def _near(p, q, tol):
    return all(abs(a - b) <= tol for a, b in zip(p, q))


# Yellow (1, 1, 0) body-centre squares and pink (1, 0.5, 0.5) heading arrows.
# In a lake the water tints the squares (its colour over yellow comes close
# to its colour over grass), but the arrows stand 1.2 above the axles, so at
# least some markers keep their colours.
MARKERS = ((255, 255, 0), (255, 128, 128))


def is_marker(r, g, b):
    return any(_near((r, g, b), m, 4) for m in MARKERS)


def band_share(img, step=2):
    """Share of the terrain pixels that have band colours."""
    terrain = bands = 0
    for r, g, b in img.pixels(0, 1, step=step):
        if is_terrain(r, g, b):
            terrain += 1
            if is_band_colour(r, g, b):
                bands += 1
    return bands / terrain if terrain else 0.0


# --- driving the program -------------------------------------------------------

def script_frames(path):
    """The number of frames a hillcar-replay script runs."""
    frames = 0
    with open(path) as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if words[:1] == ["frame"]:
                frames += 1
            elif words[:1] == ["repeat"]:
                frames += int(words[1])
    return frames


class Shots:
    """One program run on its own screen, with the window found and focused."""

    def __init__(self):
        self.run = Run()
        self.win = None
        self.last = None  # the latest picture, kept for a failure report
        self.trace = None  # the trace of a played script's run
        self.played = 0  # the frames of that script

    def start(self, hillcar, play=None):
        self.run.start_xvfb("800x600")
        args = []
        if play:
            # The trace tells when the script has played out and the keys
            # count again.
            self.trace = tempfile.NamedTemporaryFile(suffix=".jsonl")
            self.played = script_frames(play)
            args = ["--play", play, "--trace", self.trace.name]
        self.run.start_program(hillcar, self.run.env(), args)
        answer_question(self.run, "Escape")
        self.win = self.run.find_window("Program")
        check(self.win[1:3] == (800, 600), "window is %dx%d, expected 800x600" % self.win[1:3])
        self.run.focus(self.win)

    def alive(self):
        check(self.run.prog.poll() is None,
              "hillcar ended (status %s): %s" % (self.run.prog.returncode,
                                                 self.run.stderr_text().strip()))

    def capture(self):
        self.alive()
        raw = subprocess.run(["xwd", "-silent", "-id", str(self.win[0])],
                             env=self.run.env(), capture_output=True, timeout=20).stdout
        self.last = decode_xwd(raw)
        return self.last

    def wait_for(self, test, seconds, what):
        """Captures until test(picture) holds; the picture that passed."""
        deadline = time.time() + seconds
        while True:
            img = self.capture()
            if test(img):
                return img
            check(time.time() < deadline, "%s did not happen within %g s" % (what, seconds))
            time.sleep(0.2)

    def wait_played(self, seconds):
        """Until a played script's frames have all run (the trace is written
        about once a second)."""
        deadline = time.time() + seconds
        while self.trace is not None:
            self.alive()
            with open(self.trace.name, "rb") as f:
                if f.read().count(b"\n") >= self.played:
                    return
            check(time.time() < deadline, "the script did not play out within %g s" % seconds)
            time.sleep(0.2)

    def after_script(self):
        """The first picture with the elevation bands: once the start-up
        script ends (frame 322), they replace its tint. At the slowest frame
        rates of a busy machine under the software renderer that takes some
        seconds. A played script has then played out."""
        self.wait_played(60)
        return self.wait_for(lambda img: band_share(img, step=4) > 0.02, 45,
                             "the end of the start-up script's tint")

    def keydown(self, *keys):
        self.run.focus(self.win)
        for k in keys:
            self.run.x(["xdotool", "keydown", k])

    def keyup(self, *keys):
        for k in reversed(keys):
            self.run.x(["xdotool", "keyup", k])

    def hold(self, keys, seconds):
        self.keydown(*keys)
        try:
            time.sleep(seconds)
        finally:
            self.keyup(*keys)

    def next_view(self):
        # V acts on release; held for a few frames so that a frame sees it down.
        self.hold(["v"], 0.2)
        time.sleep(0.4)

    def step_sky(self):
        # The cycle steps at once, then again after 0.2 s of frame time with
        # the keys held: held for less, it steps once.
        self.hold(["shift", "r"], 0.1)
        time.sleep(0.3)

    def close(self):
        self.run.close()
        if self.trace is not None:
            self.trace.close()


def percent(x):
    return "%.1f%%" % (100 * x)


def top_rows(img, test):
    return img.share(test, 0, 0.08)


def changed_share(a, b):
    """Share of sampled pixels that differ clearly between two pictures."""
    changed = total = 0
    for p, q in zip(a.pixels(0, 1, step=8), b.pixels(0, 1, step=8)):
        total += 1
        if max(abs(p[0] - q[0]), abs(p[1] - q[1]), abs(p[2] - q[2])) > 24:
            changed += 1
    return changed / total


def check_behind_rig(img):
    """View 6: the eye stands 3 above the trailer's rear axle and looks at the
    truck's nose, so the trailer's roof fills the bottom middle and the ground
    lies around it. (When the ground raised under a rig at start tips the truck
    back into its trailer, the trailer can fold up over the truck, and the
    truck's box is under the eye instead.)"""
    terrain = img.share(is_terrain, 0, 1)
    check(terrain > 0.02, "only %s of the frame is terrain" % percent(terrain))
    rig = img.share(is_rig, 0.6, 1.0, 0.3, 0.7)
    check(rig > 0.3, "only %s of the bottom middle is the trailer's or truck's roof"
          % percent(rig))


def sky_above(img, test=is_sky):
    """Whether the sky colour holds a good share of the top rows, more than of
    the bottom half."""
    top = top_rows(img, test)
    return top > 0.25 and top > img.share(test, 0.5, 1.0) + 0.2


# --- cases ----------------------------------------------------------------------

def case_start(s, save):
    """While the start-up script plays, all the terrain wears one grey-blue
    tint: no grass, sand or rock colours."""
    time.sleep(0.2)
    img = s.capture()
    save("start", img)
    drawn = img.share(lambda r, g, b: not is_black(r, g, b), 0, 1)
    check(drawn > 0.95, "only %s of the frame is drawn" % percent(drawn))
    check_behind_rig(img)
    bands = band_share(img)
    check(bands < 0.005, "%s of the terrain has band colours while the script plays"
          % percent(bands))


def case_after_script(s, save):
    """After the start-up script the terrain shows its elevation bands around
    the rig in view 6, and the sky colour lies above; a hill ahead or a steep
    way down can hide the sky for a while. (The truck itself may be hidden
    behind the trailer's roof on the way down a hill: view 7 shows it.)"""
    img = s.after_script()
    save("view6", img)
    check_behind_rig(img)
    save("sky", s.wait_for(sky_above, 30, "the sky colour over the top rows"))


def case_views(s, save):
    """V steps through the views, each a different picture; the side-on, the
    follower's and the high view show the rig. (The leash may stand behind a
    hill and the cab view looks out of the rig, so those two need not.)

    The follower on foot starts from the eye it inherits: the side-on eye,
    already within 10..30 of the nose, so it only drops to 1.3 above the
    ground and turns to the nose. Its picture shares much with the side-on
    one (19% to 40% of it changed in trials), so a smaller change is asked of
    it; a V that did nothing changes next to nothing."""
    prev = s.after_script()
    save("view6", prev)
    for view, rig_min, change_min in ((7, 2000, 0.2), (8, 100, 0.05), (9, 10, 0.2),
                                      (0, 0, 0.2), (1, 0, 0.2)):
        s.next_view()
        img = s.capture()
        save("view%d" % view, img)
        changed = changed_share(img, prev)
        check(changed > change_min, "view %d looks like the view before it (%s changed)"
              % (view, percent(changed)))
        rig = img.count(is_rig)
        check(rig >= rig_min, "view %d shows %d rig pixels, expected at least %d"
              % (view, rig, rig_min))
        if view == 7:
            # Side-on from 10 to the left: the truck's box side fills a good
            # part of the middle, the trailer's box beside it.
            box = img.count(is_truck_box, 0.25, 0.75, 0.2, 0.8)
            check(box > 5000, "view 7 shows %d pixels of the truck's box in the middle" % box)
        prev = img


def case_debug(s, save):
    """With D held the bodies give way to markers; on release they come
    back."""
    before = s.after_script()
    rig_before = before.count(is_rig)
    check(rig_before > 20000, "only %d rig pixels before D" % rig_before)
    check(before.count(is_marker) < 5, "marker colours before D was held")
    s.keydown("d")
    try:
        time.sleep(0.3)
        held = s.capture()
    finally:
        s.keyup("d")
    save("debug", held)
    # A few terrain pixels along a shore can pass for a body colour.
    rig = held.count(is_rig)
    check(rig * 20 < rig_before, "%d rig body pixels with D held, %d before"
          % (rig, rig_before))
    markers = held.count(is_marker)
    check(markers > 20, "%d pixels of yellow or pink markers with D held" % markers)
    time.sleep(0.3)
    after = s.capture()
    # The autopilot may have driven the rig into a lake meanwhile, where the
    # water tints its bodies out of their colours: then the markers' going and
    # the picture's change tell that the bodies are drawn again.
    check(after.count(is_marker) < 5, "markers still drawn after D was released")
    check(after.count(is_rig) > 20000 or changed_share(held, after) > 0.05,
          "the bodies did not come back when D was released")
    check(after.count(is_marker) < 5, "the markers stayed after D was released")


def case_black_sky(s, save):
    """Shift + R steps the sky from blue to black, once per press; the far
    terrain fades into black with it."""
    s.after_script()
    s.wait_for(sky_above, 30, "the sky colour over the top rows")
    s.step_sky()
    img = s.wait_for(lambda img: sky_above(img, is_black), 10,
                     "a black sky over the top rows")
    save("black-sky", img)
    blue = img.count(is_sky)
    check(blue < 100, "%d pixels still have the blue sky colour" % blue)
    white = top_rows(img, lambda r, g, b: min(r, g, b) >= 250)
    check(white < 0.01, "the sky went on to white (%s of the top rows)" % percent(white))
    check(img.count(is_rig) > 20000, "the rig is gone with the blue sky")


CASES = {
    "start": case_start,
    "after-script": case_after_script,
    "views": case_views,
    "debug": case_debug,
    "black-sky": case_black_sky,
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hillcar", required=True)
    ap.add_argument("--case", required=True, choices=sorted(CASES))
    ap.add_argument("--play", help="a script the program plays first (hillcar --play)")
    ap.add_argument("--out", help="directory for the PNG pictures")
    args = ap.parse_args()

    if missing_tools(("Xvfb", "xdotool", "xwininfo", "xprop", "xwd")):
        return SKIP

    label = args.case
    pictures = []  # (name, Image), written once the program has ended

    def save(name, img):
        pictures.append((name, img))

    s = Shots()

    def take():
        s.start(args.hillcar, args.play)
        CASES[args.case](s, save)

    def keep_last():
        if s.last is not None:
            save("failed", s.last)

    status = attempt(label, take, s.close, on_failure=keep_last)

    if args.out:
        # Pictures of an earlier run of this case would mislead.
        for name in os.listdir(args.out) if os.path.isdir(args.out) else ():
            if name.startswith(label + "-") and name.endswith(".png"):
                os.remove(os.path.join(args.out, name))
        os.makedirs(args.out, exist_ok=True)
        for name, img in pictures:
            path = os.path.join(args.out, "%s-%s.png" % (label, name))
            with open(path, "wb") as f:
                f.write(encode_png(img))
            print("wrote " + path)
    if status == 0:
        print("PASS " + label)
    return status


if __name__ == "__main__":
    sys.exit(main())
