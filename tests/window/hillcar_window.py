#!/usr/bin/env python3
"""Runs the real hillcar program on a private Xvfb screen and drives it the way
a user would: answers the full-screen question, looks at the window, ends the
run with Escape or a close request. Exit status 0 = pass, 1 = fail, 77 = the
tools are missing (skip).

    hillcar_window.py --hillcar PATH --case CASE [--send-close PATH]
"""
import argparse
import os
import re
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

    def start_program(self, hillcar, env):
        self.start_argv([hillcar], env)

    def start_argv(self, argv, env):
        self.out = tempfile.TemporaryFile()
        self.err = tempfile.TemporaryFile()
        # Its own process group, so that SDL's message-box child goes with it.
        self.prog = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                     stdout=self.out, stderr=self.err,
                                     start_new_session=True)

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
        """Holds key for a few frames, since keys may be polled once a frame."""
        self.focus(win)
        self.x(["xdotool", "keydown", key])
        time.sleep(hold)
        self.x(["xdotool", "keyup", key])

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


def case_no_display(run, args):
    # Once with SDL left to choose a driver (it falls back to one that shows
    # nothing) and once told to use X11, which has no display to open.
    for forced in (False, True):
        env = run.env(display=False)
        if forced:
            env["SDL_VIDEODRIVER"] = "x11"
        run.start_program(args.hillcar, env)
        rc = run.wait_exit(10)
        err = run.stderr_text()
        label = "SDL_VIDEODRIVER=x11" if forced else "default driver"
        check(rc == 1, "%s: exit status %d, expected 1" % (label, rc))
        check(re.search(r"display|video", err, re.I),
              "%s: stderr does not name the cause: %r" % (label, err))
        run.close()
        run.prog = None


CASES = {
    "windowed-escape": case_windowed_escape,
    "windowed-close": case_windowed_close,
    "fullscreen-escape": case_fullscreen_escape,
    "fullscreen-refused": case_fullscreen_refused,
    "no-display": case_no_display,
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hillcar", required=True)
    ap.add_argument("--case", required=True, choices=sorted(CASES))
    ap.add_argument("--send-close")
    args = ap.parse_args()

    needed = ["Xvfb", "xdotool", "xwininfo", "xprop", "xwd"]
    if args.case == "no-display":
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
