#!/usr/bin/env python3
"""Runs the real hillcar program on a private Xvfb screen and drives it the way
a user would: answers the full-screen question, looks at the window, ends the
run with Escape or a close request. Exit status 0 = pass, 1 = fail, 77 = the
tools are missing (skip).

    hillcar_window.py --hillcar PATH --case CASE [--send-close PATH] [--replay PATH]
"""
import argparse
import collections
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

# No compiled modules next to the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xvfb import (SKIP, Failure, attempt, check, kill_group,  # noqa: E402
                  missing_tools, program_env, start_xvfb, stop_xvfb, titled_windows,
                  viewable, x_client)


class Run:
    """One Xvfb screen and one hillcar process on it; close() ends both."""

    def __init__(self):
        self.xvfb = None
        self.display = None
        self.prog = None
        self.out = None
        self.err = None
        self.tmpdirs = []

    def tmpdir(self, label):
        """A new folder for the run's files, removed by close()."""
        path = tempfile.mkdtemp(prefix="hillcar-%s-" % label)
        self.tmpdirs.append(path)
        return path

    def start_xvfb(self, size):
        self.xvfb, self.display = start_xvfb(size)
        # SDL marks borderless windows through the Motif hints only when that
        # atom exists already (a window manager would have made it); make it,
        # so that the decoration request can be read back.
        self.x(["xprop", "-root", "-f", "_MOTIF_WM_HINTS", "32c", "-set",
                "_MOTIF_WM_HINTS", "0"])

    def env(self, display=True):
        return program_env(self.display if display else None)

    def x(self, argv, timeout=10):
        """Runs an X client on this screen and returns its stdout."""
        return x_client(argv, self.env(), timeout=timeout)

    def start_program(self, hillcar, env, args=()):
        self.start_argv([hillcar] + list(args), env)

    def start_argv(self, argv, env, cwd=None):
        self.out = tempfile.TemporaryFile()
        self.err = tempfile.TemporaryFile()
        # Its own process group, so that SDL's message-box child goes with it.
        self.prog = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                     stdout=self.out, stderr=self.err,
                                     start_new_session=True, cwd=cwd)

    def stderr_text(self):
        self.err.seek(0)
        return self.err.read().decode(errors="replace")

    def wait_exit(self, seconds):
        try:
            return self.prog.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failure("hillcar still running %g s later" % seconds)

    def close(self):
        if self.prog is not None and self.prog.poll() is None:
            kill_group(self.prog.pid)
            self.prog.wait()
        if self.prog is not None:
            # The message box's child may outlive a program that ended.
            kill_group(self.prog.pid)
        if self.xvfb is not None:
            stop_xvfb(self.xvfb)
        for path in self.tmpdirs:
            shutil.rmtree(path, ignore_errors=True)

    # --- windows -----------------------------------------------------------

    def find_window(self, name, seconds=8):
        """(id, width, height, x, y) of the viewable top-level window titled name."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            check(self.prog.poll() is None,
                  "hillcar ended (status %s) while waiting for window \"%s\": %s"
                  % (self.prog.returncode, name, self.stderr_text().strip()))
            for win in titled_windows(self.x(["xwininfo", "-root", "-children"]), name):
                if viewable(win[0], self.env(), timeout=10):
                    return win
            time.sleep(0.1)
        raise Failure("no window \"%s\" within %g s" % (name, seconds))

    def gone(self, wid):
        return not viewable(wid, self.env())

    def focus(self, win):
        """Pointer into the window and input focus on it: with no window
        manager, keys go to the window under the pointer."""
        wid, w, h, x, y = win
        self.x(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2)])
        for _ in range(20):
            self.x(["xdotool", "windowfocus", str(wid)])
            if self.x(["xdotool", "getwindowfocus"]).strip() == str(wid):
                return
            time.sleep(0.1)
        raise Failure("could not focus window 0x%x" % wid)

    def press(self, win, key, hold=0.2):
        """Holds key for a few frames, since keys may be polled once a frame.
        key may be a chord, "shift+r": its keys go down in order and come up
        in reverse."""
        self.focus(win)
        keys = key.split("+") if len(key) > 1 else [key]
        for k in keys:
            self.x(["xdotool", "keydown", k])
        time.sleep(hold)
        for k in reversed(keys):
            self.x(["xdotool", "keyup", k])

    def motif_decorations(self, wid):
        """The decorations field of the Motif hints, None when not set."""
        out = self.x(["xprop", "-id", str(wid), "_MOTIF_WM_HINTS"])
        m = re.search(r"=\s*(0x[0-9a-f]+),\s*(0x[0-9a-f]+),\s*(0x[0-9a-f]+)", out)
        if not m:
            return None
        flags, decorations = int(m.group(1), 16), int(m.group(3), 16)
        return decorations if flags & 2 else None

    def max_size_hint(self, wid):
        out = self.x(["xprop", "-id", str(wid), "WM_NORMAL_HINTS"])
        m = re.search(r"program specified maximum size: (\d+) by (\d+)", out)
        return (int(m.group(1)), int(m.group(2))) if m else None

    def lit_fraction(self, wid):
        """Share of the window's pixels that are not black."""
        raw = subprocess.run(["xwd", "-silent", "-id", str(wid)], env=self.env(),
                             capture_output=True, timeout=10).stdout
        check(len(raw) >= 100, "xwd gave no image")
        hdr = struct.unpack(">25I", raw[:100])
        header_size, depth, width, height = hdr[0], hdr[3], hdr[4], hdr[5]
        bpp, line = hdr[11], hdr[12]
        masks = hdr[14] | hdr[15] | hdr[16]
        ncolors = hdr[19]
        check(depth == 24 and bpp == 32, "unexpected XWD format %d/%d" % (depth, bpp))
        little = hdr[7] == 0
        data = raw[header_size + 12 * ncolors:]
        check(len(data) >= line * height, "short XWD image")
        fmt = "<I" if little else ">I"
        lit = 0
        step = 4  # every 4th pixel each way is plenty
        total = 0
        for row in range(0, height, step):
            base = row * line
            for col in range(0, width, step):
                (px,) = struct.unpack_from(fmt, data, base + col * 4)
                total += 1
                if px & masks:
                    lit += 1
        return lit / total


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime, stime
    return ticks / os.sysconf("SC_CLK_TCK")


def expect_frames(run, win):
    """Frames run back to back: the program keeps using processor time (a
    loop that waited for events would use none) and the window shows a drawn
    picture rather than a black one. The machine may be shared, so the bound
    on processor time is low."""
    pid = run.prog.pid
    before = cpu_seconds(pid)
    time.sleep(1.5)
    used = cpu_seconds(pid) - before
    check(used > 0.1, "only %.2f s of processor time in 1.5 s: frames are not running" % used)
    lit = run.lit_fraction(win[0])
    check(lit > 0.5, "window is mostly black (%.0f%% lit)" % (100 * lit))


def answer_question(run, key):
    box = run.find_window("Fullscreen")
    run.press(box, key, hold=0.1)
    deadline = time.time() + 5
    while not run.gone(box[0]):
        check(time.time() < deadline, "the question stayed after %s" % key)
        time.sleep(0.1)


def expect_exit(run, status, seconds=8):
    rc = run.wait_exit(seconds)
    check(rc == status, "exit status %d, expected %d; stderr: %s"
          % (rc, status, run.stderr_text().strip()))


# --- cases --------------------------------------------------------------------

def case_windowed_escape(run, args):
    run.start_xvfb("1024x768")
    run.start_program(args.hillcar, run.env())
    answer_question(run, "Escape")
    win = run.find_window("Program")
    check(win[1:] == (800, 600, 0, 0),
          "window is %dx%d+%d+%d, expected 800x600+0+0" % win[1:])
    check(run.motif_decorations(win[0]) != 0, "windowed window asks for no decorations")
    check(run.max_size_hint(win[0]) is None, "windowed window is not resizable")
    expect_frames(run, win)
    # Other keys are left to the frame and do not end the run.
    run.press(win, "x")
    time.sleep(0.3)
    check(run.prog.poll() is None, "a plain key ended the run")
    run.press(win, "Escape")
    expect_exit(run, 0)


def case_windowed_close(run, args):
    check(args.send_close, "--send-close is needed")
    run.start_xvfb("1024x768")
    run.start_program(args.hillcar, run.env())
    answer_question(run, "Escape")
    win = run.find_window("Program")
    expect_frames(run, win)
    run.x([args.send_close, str(win[0])])
    expect_exit(run, 0)


def case_fullscreen_escape(run, args):
    run.start_xvfb("800x600")
    run.start_program(args.hillcar, run.env())
    answer_question(run, "Return")
    win = run.find_window("Program")
    check(win[1:] == (800, 600, 0, 0),
          "window is %dx%d+%d+%d, expected 800x600+0+0" % win[1:])
    check(run.motif_decorations(win[0]) == 0, "full-screen window is not borderless")
    check(not re.search(r'"Error"', run.x(["xwininfo", "-root", "-children"])),
          "an error box came up on an 800x600 screen")
    expect_frames(run, win)
    run.press(win, "Escape")
    expect_exit(run, 0)


def case_fullscreen_option(run, args):
    # --fullscreen answers the question beforehand: no box, a borderless window.
    run.start_xvfb("800x600")
    run.start_program(args.hillcar, run.env(), ["--fullscreen"])
    win = run.find_window("Program")
    check(not list(titled_windows(run.x(["xwininfo", "-root", "-children"]), "Fullscreen")),
          "the question was asked")
    check(run.motif_decorations(win[0]) == 0, "full-screen window is not borderless")
    expect_frames(run, win)
    run.press(win, "Escape")
    expect_exit(run, 0)


def case_fullscreen_refused(run, args):
    # The screen can't be switched to 800x600: the refusal is shown and the
    # run ends normally once it is acknowledged.
    run.start_xvfb("1024x768")
    run.start_program(args.hillcar, run.env())
    answer_question(run, "Return")
    box = run.find_window("Error")
    check(run.prog.poll() is None, "hillcar ended before the error was acknowledged")
    run.press(box, "Return", hold=0.1)
    expect_exit(run, 0)
    # A terminal's user reads what to do instead.
    check(run.stderr_text() == "hillcar: the display cannot switch to 800x600; start hillcar "
          "with --windowed to play in a window\n", "stderr: %r" % run.stderr_text())


def unused_display():
    """A display name no X server answers on."""
    number = 4242
    while os.path.exists("/tmp/.X11-unix/X%d" % number):
        number += 1
    return ":%d" % number


def case_no_display(run, args):
    # With SDL left to choose a driver (it falls back to one that shows
    # nothing), with no display named and with one that is not there, and
    # told to use X11. The program's message is the only line: nothing from
    # the libraries beneath it, even with no XDG_RUNTIME_DIR, where a Wayland
    # client library would complain.
    gone = unused_display()
    for label, display, forced, message in (
            ("no DISPLAY", None, False,
             "Could Not Open A Display: no display to show a window on; DISPLAY is not set"),
            ("DISPLAY=" + gone, gone, False,
             'Could Not Open A Display: cannot open the X display "%s"' % gone),
            ("SDL_VIDEODRIVER=x11", None, True, None)):
        env = run.env(display=False)
        env.pop("XDG_RUNTIME_DIR", None)
        if display:
            env["DISPLAY"] = display
        if forced:
            env["SDL_VIDEODRIVER"] = "x11"
        run.start_program(args.hillcar, env)
        rc = run.wait_exit(10)
        err = run.stderr_text()
        check(rc == 1, "%s: exit status %d, expected 1" % (label, rc))
        if message:
            check(err == "hillcar: %s\n" % message, "%s: stderr %r" % (label, err))
        else:
            check(re.fullmatch(r"hillcar: Could Not Start Video: .*\n", err),
                  "%s: stderr %r" % (label, err))
        run.close()
        run.prog = None


# --- recording and playing ------------------------------------------------------

# The drive of the round trip: every key the frame reads somewhere, the laptop
# aliases among them, each held for a few frames. (key, seconds held)
DRIVE = [
    ("Up", 1.2), ("Up+Left", 0.8), ("Right", 0.5), ("Down", 0.4),
    ("v", 0.2), ("r", 0.4), ("Shift_L+r", 0.3), ("Shift_L+1", 0.3),
    ("Return", 0.3), ("d", 0.5), ("BackSpace", 0.3), ("equal", 0.2),
    ("Shift_L+equal", 0.2), ("minus", 0.2), ("Up", 1.0),
]
# What the recording must name for them: the frame sees the aliases as the
# keypad keys.
DRIVE_KEYS = ["UP", "LEFT", "RIGHT", "DOWN", "V", "R", "SHIFT", "1", "RETURN", "D",
              "NUMPAD0", "ADD", "SUBTRACT"]


def frame_lines(text):
    """The `frame` lines of a recording, as lists of words."""
    return [line.split() for line in text.splitlines() if line.startswith("frame ")]


def read_text(path):
    with open(path, "rb") as f:
        return f.read().decode()


def replay(args, script):
    """(status, stdout bytes, stderr text) of hillcar-replay on script."""
    res = subprocess.run([args.replay, script], capture_output=True, timeout=300)
    return res.returncode, res.stdout, res.stderr.decode(errors="replace")


def wait_for_lines(run, path, count, seconds):
    """Waits until the file has at least count lines (it is flushed about once
    a second) and the program still runs."""
    deadline = time.time() + seconds
    while True:
        check(run.prog.poll() is None, "hillcar ended (status %s): %s"
              % (run.prog.returncode, run.stderr_text().strip()))
        try:
            with open(path, "rb") as f:
                have = f.read().count(b"\n")
        except FileNotFoundError:
            have = 0
        if have >= count:
            return
        check(time.time() < deadline, "%s has %d lines after %g s, expected %d"
              % (path, have, seconds, count))
        time.sleep(0.25)


def drive(run, win, scale=1.0):
    """Presses the keys of DRIVE in the window, each for its time times scale
    (but at least 0.15 s, some frames even at a low frame rate)."""
    for key, hold in DRIVE:
        run.press(win, key, max(0.15, hold * scale))
        time.sleep(0.15)


def check_recording(text, rand):
    """The recording of a DRIVE run: its header names the program, the
    generator rand and the seed, and its frames hold every key of the drive.
    Returns its frame lines, as lists of words."""
    lines = text.splitlines()
    check(lines[0].startswith("# recorded by hillcar ") and lines[1] == "rand " + rand
          and re.fullmatch(r"seed \d+", lines[2]), "recording starts %r" % lines[:3])
    frames = frame_lines(text)
    check(len(frames) >= 100, "only %d frames recorded" % len(frames))
    held = set(k for f in frames for k in f[2:])
    missing = [k for k in DRIVE_KEYS if k not in held]
    check(not missing, "the recording never holds %s" % missing)
    check(any({"SHIFT", "R"} <= set(f[2:]) for f in frames), "no frame holds Shift + R")
    check(any({"SHIFT", "1"} <= set(f[2:]) for f in frames), "no frame holds Shift + 1")
    return frames


def expect_same_trace(live_lines, got, label):
    """got (bytes) is the trace whose lines are live_lines, byte for byte."""
    if got == b"".join(live_lines):
        return
    got = got.splitlines(keepends=True)
    first = next((i for i, (a, b) in enumerate(zip(got, live_lines)) if a != b),
                 min(len(got), len(live_lines)))
    raise Failure("%s differs from the live trace at frame %d of %d/%d:\n live %s\n "
                  "replay %s" % (label, first + 1, len(live_lines), len(got),
                                 live_lines[first][:300] if first < len(live_lines) else "-",
                                 got[first][:300] if first < len(got) else "-"))


def expect_played(live_lines, played_lines):
    """The played run's trace begins with the recorded run's frames and goes on."""
    check(len(played_lines) > len(live_lines), "the run ended with the script")
    for i, (a, b) in enumerate(zip(live_lines, played_lines)):
        check(a == b, "played frame %d differs:\n live   %s\n played %s" % (i + 1, a[:300], b[:300]))


def case_record_play(run, args):
    check(args.replay, "--replay is needed")
    tmp = run.tmpdir("record")
    rec, live = os.path.join(tmp, "r.txt"), os.path.join(tmp, "live.jsonl")
    run.start_xvfb("1024x768")

    # A run recorded and traced as it is driven, ended by Escape.
    run.start_program(args.hillcar, run.env(), ["--windowed", "--record", rec, "--trace", live])
    win = run.find_window("Program")
    time.sleep(0.5)
    drive(run, win)
    run.press(win, "Escape")
    expect_exit(run, 0)
    check(run.stderr_text() == "", "stderr: %r" % run.stderr_text())

    text = read_text(rec)
    lines = text.splitlines()
    frames = check_recording(text, "glibc")

    # hillcar-replay gives the live trace byte for byte.
    with open(live, "rb") as f:
        live_lines = f.read().splitlines(keepends=True)
    check(len(live_lines) == len(frames), "%d trace lines for %d recorded frames"
          % (len(live_lines), len(frames)))
    status, out, err = replay(args, rec)
    check(status == 0, "hillcar-replay: status %d: %s" % (status, err))
    expect_same_trace(live_lines, out, "replay")

    # Played in the window, recorded and traced again: the same frames, keys
    # pressed during the playback ignored, and then the controls handed back.
    played, rec2 = os.path.join(tmp, "play.jsonl"), os.path.join(tmp, "r2.txt")
    run.start_program(args.hillcar, run.env(),
                      ["--windowed", "--play", rec, "--trace", played, "--record", rec2])
    win = run.find_window("Program")
    run.press(win, "x", 0.3)  # no key of the script: ignored
    run.press(win, "Down", 0.3)
    span = (int(frames[-1][1]) - int(frames[0][1])) / 1000.0
    wait_for_lines(run, played, len(frames) + 1, span + 30)
    run.press(win, "v", 0.3)
    run.press(win, "Left", 0.3)
    time.sleep(1.5)  # a flush
    run.press(win, "Escape")
    expect_exit(run, 0)
    check(run.stderr_text() == "", "stderr: %r" % run.stderr_text())

    with open(played, "rb") as f:
        played_lines = f.read().splitlines(keepends=True)
    expect_played(live_lines, played_lines)
    frames2 = frame_lines(read_text(rec2))
    check(frames2[:len(frames)] == frames, "the playback's recording differs from the script")
    check(read_text(rec2).splitlines()[1:3] == lines[1:3], "the playback's seed or generator differs")
    after = frames2[len(frames):]
    check(any("V" in f[2:] for f in after) and any("LEFT" in f[2:] for f in after),
          "keys pressed after the playback did not reach the frames")
    # The clock goes on: the first live frame is an ordinary frame time after
    # the script's last.
    step = (int(after[0][1]) - int(frames[-1][1])) % 2 ** 32
    check(0 <= step < 250, "the first live frame comes %d ms after the script's last" % step)
    dt = float(re.search(r'"dt": ([0-9.e-]+)', played_lines[len(frames)].decode()).group(1))
    check(dt < 0.25, "the first live frame's time is %g s" % dt)


def case_record_killed(run, args):
    check(args.replay, "--replay is needed")
    tmp = run.tmpdir("killed")
    rec, live = os.path.join(tmp, "k.txt"), os.path.join(tmp, "k.jsonl")
    run.start_xvfb("1024x768")
    run.start_program(args.hillcar, run.env(), ["--windowed", "--record", rec, "--trace", live])
    win = run.find_window("Program")
    run.press(win, "Up", 1.5)
    run.press(win, "Left", 1.2)
    # The tick count is the monotonic clock's milliseconds, as Python's is.
    killed_at = int(time.monotonic() * 1000) % 2 ** 32
    kill_group(run.prog.pid)
    run.prog.wait()

    text = read_text(rec)
    check(text.endswith("\n"), "the recording ends inside a line: %r" % text[-40:])
    frames = frame_lines(text)
    check(len(frames) >= 20, "only %d frames flushed before the kill" % len(frames))
    lost = (killed_at - int(frames[-1][1])) % 2 ** 32
    check(lost < 2000, "the last flushed frame came %d ms before the kill" % lost)
    status, out, err = replay(args, rec)
    check(status == 0, "hillcar-replay on the killed recording: status %d: %s" % (status, err))
    got = out.splitlines(keepends=True)
    check(len(got) == len(frames), "%d trace lines for %d frames" % (len(got), len(frames)))
    with open(live, "rb") as f:
        live_lines = f.read().splitlines(keepends=True)
    n = min(len(got), len(live_lines))
    check(n >= 20, "only %d traced frames flushed" % n)
    check(got[:n] == live_lines[:n], "the replay differs from the flushed live trace")


# A script written by hand: the other generator, sets between frames, dumps,
# runs of frames and a tick count that wraps.
PLAYED_SCRIPT = """\
rand msvcrt
seed 424242
repeat 40 4294966000 16          # the start-up script plays
repeat 30 4294966640 17 UP LEFT
set view 3
set bsize 5.5
dump gl
frame 4294967200 D
frame 4294967216 D V
repeat 20 4294967232 16 SHIFT 3   # over the wrap
set height 50 50 12.5
dump heights
repeat 25 40 20 RETURN F
frame 600 ADD
frame 616
"""


def case_play_script(run, args):
    """--play, and a recording named with no option as a desktop opens a
    double-clicked one (the question asked), play to hillcar-replay's trace."""
    check(args.replay, "--replay is needed")
    tmp = run.tmpdir("play")
    script = os.path.join(tmp, "drive.hillcar")
    with open(script, "w") as f:
        f.write(PLAYED_SCRIPT)
    status, out, err = replay(args, script)
    check(status == 0, "hillcar-replay: status %d: %s" % (status, err))
    expected = [line for line in out.splitlines(keepends=True) if line.startswith(b'{"frame"')]
    check(len(expected) == 119, "hillcar-replay traced %d frames" % len(expected))

    run.start_xvfb("1024x768")
    for argv in (["--windowed", "--play", script], [script]):
        played = os.path.join(tmp, "played%d.jsonl" % len(argv))
        run.start_program(args.hillcar, run.env(), ["--trace", played] + argv)
        if len(argv) == 1:
            answer_question(run, "Escape")
        run.find_window("Program")
        wait_for_lines(run, played, len(expected) + 1, 40)
        win = run.find_window("Program")
        run.press(win, "Escape")
        expect_exit(run, 0)
        with open(played, "rb") as f:
            got = f.read().splitlines(keepends=True)
        for i, (a, b) in enumerate(zip(expected, got)):
            check(a == b, "%s: frame %d differs:\n replay %s\n played %s"
                  % (argv, i + 1, a[:300], b[:300]))


# A fixed world for the pictures of --fit: a few seconds of frames, then the
# run goes on live.
FIT_SCRIPT = "rand glibc\nseed 31\nrepeat 120 1000 16\n"


def colours(img, x0, x1, y0, y1):
    """How many of each colour the pixels x0..x1-1, y0..y1-1 (rows from the
    top) have, every other pixel each way."""
    seen = collections.Counter()
    for y in range(y0, y1, 2):
        row = img.rgb[3 * y * img.width:3 * (y + 1) * img.width]
        seen.update(bytes(row[3 * x:3 * x + 3]) for x in range(x0, x1, 2))
    return seen


def window_picture(run, wid):
    from screenshots import decode_xwd  # it imports this module
    return decode_xwd(subprocess.run(["xwd", "-silent", "-id", str(wid)], env=run.env(),
                                     capture_output=True, timeout=10).stdout)


def resized(run, wid, width, height):
    """The window at width x height, as a tiling window manager would make it,
    and its picture once a few frames have been drawn at that size."""
    run.x(["xdotool", "windowsize", str(wid), str(width), str(height)])
    deadline = time.time() + 10
    while True:
        time.sleep(0.5)
        img = window_picture(run, wid)
        if (img.width, img.height) == (width, height):
            time.sleep(0.5)  # frames drawn at the new size
            return window_picture(run, wid)
        check(time.time() < deadline, "the window is %dx%d, not %dx%d"
              % (img.width, img.height, width, height))


def expect_letterboxed(img):
    """The picture is the largest 4:3 rectangle centred in img, black bars
    beside or above and below it, and reaches each of its edges."""
    w, h = img.width, img.height
    pw, ph = min(w, (h * 4 + 1) // 3), min(h, (w * 3 + 2) // 4)  # rounded to the nearest
    px, py = (w - pw) // 2, (h - ph) // 2  # from the top left
    # The bars, two pixels clear of the picture's edge; the picture's edges.
    bars = ([(0, px - 2, 0, h), (px + pw + 2, w, 0, h)] if px else
            [(0, w, 0, py - 2), (0, w, py + ph + 2, h)] if py else [])
    edges = [(px + 2, px + 12, py, py + ph), (px + pw - 12, px + pw - 2, py, py + ph),
             (px, px + pw, py + 2, py + 12), (px, px + pw, py + ph - 12, py + ph - 2)]
    for x0, x1, y0, y1 in bars + edges:
        seen = colours(img, x0, x1, y0, y1)
        black = seen[b"\0\0\0"] / sum(seen.values())
        check(black == 1.0 if (x0, x1, y0, y1) in bars else black < 0.2,
              "%dx%d: %d..%d x %d..%d is %.0f%% black" % (w, h, x0, x1, y0, y1, 100 * black))


def case_fit(run, args):
    """--fit: resized, the picture is the largest 4:3 rectangle centred in the
    window, with black bars beside or above and below it. Without it the
    800x600 picture stays in the lower-left corner, cleared around with the
    sky colour."""
    tmp = run.tmpdir("fit")
    script = os.path.join(tmp, "fit.hillcar")
    with open(script, "w") as f:
        f.write(FIT_SCRIPT)
    run.start_xvfb("1280x1024")
    run.start_program(args.hillcar, run.env(), ["--windowed", "--fit", "--play", script])
    win = run.find_window("Program")
    expect_frames(run, win)
    for size in ((1000, 500), (600, 800), (800, 600)):
        expect_letterboxed(resized(run, win[0], *size))
    run.press(win, "Escape")
    expect_exit(run, 0)
    check(run.stderr_text() == "", "stderr: %r" % run.stderr_text())

    # Without --fit: the picture keeps the drawable the context began with.
    run.start_program(args.hillcar, run.env(), ["--windowed", "--play", script])
    win = run.find_window("Program")
    expect_frames(run, win)
    img = resized(run, win[0], 1000, 700)
    outside = set(colours(img, 802, 1000, 0, 700)) | set(colours(img, 0, 1000, 0, 98))
    check(len(outside) == 1 and outside != {b"\0\0\0"},
          "around the 800x600 picture: %d colours %s, expected the sky colour alone"
          % (len(outside), sorted(outside)[:4]))
    inside = colours(img, 0, 800, 100, 700)
    check(len(inside) > 10, "the 800x600 picture in the lower-left has %d colours" % len(inside))
    run.press(win, "Escape")
    expect_exit(run, 0)


def expect_refused(args, argv, status, stderr, label):
    """Runs hillcar with no display at all: a program that got as far as a
    window would say it found none; this one must stop before, as told."""
    res = subprocess.run([args.hillcar] + argv, env=program_env(None), capture_output=True,
                         text=True, timeout=20, stdin=subprocess.DEVNULL)
    check(res.returncode == status, "%s: status %d, expected %d; stderr %r"
          % (label, res.returncode, status, res.stderr))
    if hasattr(stderr, "fullmatch"):
        check(stderr.fullmatch(res.stderr), "%s: stderr %r" % (label, res.stderr))
    else:
        check(res.stderr == stderr, "%s: stderr %r, expected %r" % (label, res.stderr, stderr))
    return res


def case_command_line(run, args):
    check(args.replay, "--replay is needed")
    tmp = run.tmpdir("cmdline")
    usage = ("usage: hillcar [--windowed | --fullscreen] [--fit] [--record FILE] [--play FILE] "
             "[--trace FILE] [--help] [--version] [FILE]\n")
    expect_refused(args, ["--frobnicate"], 2, "hillcar: unknown option '--frobnicate'\n" + usage,
                   "unknown option")
    expect_refused(args, ["--windowed", "--record"], 2,
                   "hillcar: --record needs a file name\n" + usage, "missing argument")
    expect_refused(args, ["--windowed", "a.hillcar", "b.hillcar"], 2,
                   "hillcar: unexpected argument 'b.hillcar'\n" + usage, "a second file")

    res = subprocess.run([args.hillcar, "--version"], capture_output=True, text=True, timeout=10)
    check(res.returncode == 0 and re.fullmatch(r"hillcar \d+\.\d+\.\d+\n", res.stdout),
          "--version: %d %r" % (res.returncode, res.stdout))
    res = subprocess.run([args.hillcar, "--help"], capture_output=True, text=True, timeout=10)
    # The options, then the keys, the gamepad's among them.
    check(res.returncode == 0 and re.match(re.escape(usage) + r"(.|\n)*--play FILE(.|\n)*\nKeys:\n"
                                           r"(.|\n)*Shift \+ R(.|\n)*right trigger", res.stdout),
          "--help: %d %r" % (res.returncode, res.stdout[:200]))

    unwritable = os.path.join(tmp, "no-such-folder", "r.txt")
    expect_refused(args, ["--windowed", "--record", unwritable], 1,
                   "hillcar: cannot record to %s: No such file or directory\n" % unwritable,
                   "unwritable recording")
    expect_refused(args, ["--windowed", "--trace", unwritable], 1,
                   "hillcar: cannot write the trace to %s: No such file or directory\n"
                   % unwritable, "unwritable trace")

    # A bad script: hillcar-replay's own message, and nothing recorded.
    for n, script in enumerate(["seed 3\nframe 100 UP\nframe 116 JUMP\n",
                                "frame 1\nframe 2\nset view many\n",
                                "repeat 0 1 1\n"]):
        path = os.path.join(tmp, "bad%d.txt" % n)
        with open(path, "w") as f:
            f.write(script)
        _, _, expected = replay(args, path)
        check(expected.startswith("hillcar-replay: line "), "hillcar-replay said %r" % expected)
        rec = os.path.join(tmp, "bad%d-record.txt" % n)
        expect_refused(args, ["--windowed", "--play", path, "--record", rec], 2, expected,
                       "bad script %d" % n)
        check(not os.path.exists(rec), "a recording was begun for a bad script")
    missing = os.path.join(tmp, "missing.txt")
    for argv in (["--play", missing], [missing], ["--windowed", missing]):
        expect_refused(args, argv, 2,
                       "hillcar-replay: cannot open %s: No such file or directory\n" % missing,
                       "missing script %s" % argv)
    # A folder is not a readable file either.
    expect_refused(args, [tmp], 2, re.compile(r"hillcar-replay: cannot (open|read) %s: .+\n"
                                              % re.escape(tmp)), "a folder")


def case_replay_terminal(run, args):
    """hillcar-replay reading a script typed on a terminal: one line on stderr
    says so first, and one Ctrl+D ends the script."""
    import pty
    check(args.replay, "--replay is needed")
    master, slave = pty.openpty()
    prog = subprocess.Popen([args.replay], stdin=slave, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, start_new_session=True)
    os.close(slave)
    os.write(master, b"seed 3\nframe 100 UP\nframe 116\n\x04")  # Ctrl+D at a line's start
    try:
        out, err = prog.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        kill_group(prog.pid)
        prog.wait()
        raise Failure("Ctrl+D did not end the script")
    finally:
        os.close(master)
    check(prog.returncode == 0 and out.count(b'{"frame"') == 2,
          "status %d, %d trace lines" % (prog.returncode, out.count(b"\n")))
    check(err == b"hillcar-replay: reading a script from standard input (Ctrl+D ends it);"
          b" --help gives the usage\n", "stderr %r" % err)


CASES = {
    "windowed-escape": case_windowed_escape,
    "windowed-close": case_windowed_close,
    "fullscreen-escape": case_fullscreen_escape,
    "fullscreen-option": case_fullscreen_option,
    "fullscreen-refused": case_fullscreen_refused,
    "no-display": case_no_display,
    "record-play": case_record_play,
    "record-killed": case_record_killed,
    "command-line": case_command_line,
    "play-script": case_play_script,
    "fit": case_fit,
    "replay-terminal": case_replay_terminal,
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hillcar", required=True)
    ap.add_argument("--case", required=True, choices=sorted(CASES))
    ap.add_argument("--send-close")
    ap.add_argument("--replay", help="hillcar-replay, for the recording cases")
    args = ap.parse_args()

    needed = ["Xvfb", "xdotool", "xwininfo", "xprop", "xwd"]
    if args.case in ("no-display", "command-line", "replay-terminal"):
        needed = []
    if missing_tools(needed):
        return SKIP

    run = Run()
    status = attempt(args.case, lambda: CASES[args.case](run, args), run.close)
    if status == 0:
        print("PASS " + args.case)
    return status


if __name__ == "__main__":
    sys.exit(main())
