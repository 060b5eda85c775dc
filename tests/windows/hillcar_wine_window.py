#!/usr/bin/env python3
"""The Windows hillcar.exe under Wine on private Xvfb screens, driven the way a
user would. One start of this script runs every case, since each Wine start
costs seconds: on an 800x600 screen the windowed run (with a key held) ended by Escape, the
windowed run ended by a close request and the full-screen run; on a 1024x768
screen, which can't switch to 800x600, the refused change; on a screen
without GLX, the failed pixel format. Exit status 0 =
pass, 1 = a case failed, 77 = the tools are missing (skip).

    hillcar_wine_window.py --hillcar PATH.exe --wine PATH [--send-close PATH]
        [--out DIR]

WINEPREFIX and WINEDEBUG come from the environment.
"""
import argparse
import os
import re
import subprocess
import sys
import time

# No compiled modules next to the sources.
sys.dont_write_bytecode = True
WINDOW_TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window")
sys.path.insert(0, WINDOW_TESTS)
from hillcar_window import Run, answer_question, cpu_seconds, expect_exit  # noqa: E402
from screenshots import (decode_xwd, encode_png, is_black, is_marker, is_sky,  # noqa: E402
                         is_terrain)
from xvfb import (SKIP, Failure, attempt, check, missing_tools, start_xvfb,  # noqa: E402
                  stop_xvfb)


def outer_rect(win):
    """The window's outer rectangle (width, height, x, y). Wine draws the
    frame and caption of a captioned window itself, around an X window that
    is the inside alone; the frame is as wide left, right and below."""
    _, w, h, x, y = win
    border = x
    return (w + 2 * border, h + y + border, 0, 0) if y > border > 0 else (w, h, x, y)


def screenshot(run, win, out, name):
    raw = subprocess.run(["xwd", "-silent", "-id", str(win[0])], env=run.env(),
                         capture_output=True, timeout=10).stdout
    img = decode_xwd(raw)
    if out:
        os.makedirs(out, exist_ok=True)
        with open(os.path.join(out, name + ".png"), "wb") as f:
            f.write(encode_png(img))
    return img


def expect_frames(run, win, out, name):
    """Frames run back to back (the program keeps using processor time) and
    the window shows sky above and terrain: the first frames play the
    start-up script over a random terrain, so the checks are on shares."""
    before = cpu_seconds(run.prog.pid)
    time.sleep(1.5)
    used = cpu_seconds(run.prog.pid) - before
    check(used > 0.1, "only %.2f s of processor time in 1.5 s: frames are not running" % used)
    deadline = time.time() + 15
    while True:
        img = screenshot(run, win, out, name)
        sky = img.share(is_sky, 0.0, 0.25)
        terrain = img.share(is_terrain, 0.0, 1.0)
        black = img.share(is_black, 0.0, 1.0)
        if sky > 0.2 and terrain > 0.2 and black < 0.05:
            return
        check(time.time() < deadline,
              "no sky and terrain in the window: %.0f%% sky in the top rows, %.0f%% terrain, "
              "%.0f%% black" % (100 * sky, 100 * terrain, 100 * black))
        time.sleep(1)


def expect_keys_polled(run, win, out):
    """A key the frame polls (GetKeyState) acts while held: with D down the
    rig is drawn as yellow and pink markers, which go again on release."""
    before = screenshot(run, win, None, "before-d").count(is_marker)
    check(before < 5, "%d marker pixels before D was held" % before)
    run.focus(win)
    run.x(["xdotool", "keydown", "d"])
    try:
        deadline = time.time() + 5
        while True:
            held = screenshot(run, win, out, "d-held").count(is_marker)
            if held > 20:
                break
            check(time.time() < deadline, "only %d marker pixels with D held" % held)
            time.sleep(0.2)
    finally:
        run.x(["xdotool", "keyup", "d"])
    deadline = time.time() + 5
    while True:
        after = screenshot(run, win, None, "after-d").count(is_marker)
        if after < 5:
            return
        check(time.time() < deadline, "%d marker pixels stayed after D was released" % after)
        time.sleep(0.2)


def wait_for_wine(wine):
    """Waits until the prefix's server has ended, so that the next start (on
    another screen) gets a fresh desktop process on its own display."""
    server = os.path.join(os.path.dirname(os.path.realpath(wine)), "wineserver")
    if not os.path.exists(server):
        server = "wineserver"
    subprocess.run([server, "-w"], timeout=60)


def start(run, args):
    env = run.env()
    env.setdefault("WINEDEBUG", "-all")
    run.start_argv([args.wine, args.hillcar], env)


def case_windowed_escape(run, args):
    start(run, args)
    answer_question(run, "Escape")
    win = run.find_window("Program", seconds=15)
    check(outer_rect(win) == (800, 600, 0, 0),
          "window is %dx%d+%d+%d outside, expected 800x600+0+0 (inside %dx%d+%d+%d)"
          % (outer_rect(win) + win[1:]))
    check(run.motif_decorations(win[0]) != 0, "windowed window asks for no decorations")
    check(run.max_size_hint(win[0]) is None, "windowed window is not resizable")
    expect_frames(run, win, args.out, "windowed")
    expect_keys_polled(run, win, args.out)
    # Other keys are left to the frame and do not end the run.
    run.press(win, "x")
    time.sleep(0.3)
    check(run.prog.poll() is None, "a plain key ended the run")
    run.press(win, "Escape")
    expect_exit(run, 0)


def case_windowed_close(run, args):
    start(run, args)
    answer_question(run, "Escape")
    win = run.find_window("Program", seconds=15)
    expect_frames(run, win, None, "close")
    run.x([args.send_close, str(win[0])])
    expect_exit(run, 0)


def case_fullscreen_escape(run, args):
    start(run, args)
    answer_question(run, "Return")
    win = run.find_window("Program", seconds=15)
    check(win[1:] == (800, 600, 0, 0),
          "window is %dx%d+%d+%d, expected 800x600+0+0" % win[1:])
    check(run.motif_decorations(win[0]) == 0, "full-screen window is not borderless")
    check(not re.search(r'"Error"', run.x(["xwininfo", "-root", "-children"])),
          "an error box came up on an 800x600 screen")
    expect_frames(run, win, args.out, "fullscreen")
    run.press(win, "Escape")
    expect_exit(run, 0)


def case_fullscreen_refused(run, args):
    # The screen can't be switched to 800x600: the refusal is shown and the
    # run ends normally once it is acknowledged. (The box's text is drawn by
    # Wine inside the box and can't be read back; of the two error boxes the
    # full-screen start can show, only this one ends the run.)
    start(run, args)
    answer_question(run, "Return")
    box = run.find_window("Error", seconds=15)
    check(run.prog.poll() is None, "hillcar ended before the error was acknowledged")
    run.press(box, "Return", hold=0.1)
    expect_exit(run, 0)


def case_no_gl(run, args):
    # A screen without GLX has no OpenGL pixel format: the window is made, the
    # pixel format is not, and the run ends with status 1 once the "Error"
    # box naming the step is acknowledged.
    start(run, args)
    answer_question(run, "Escape")
    box = run.find_window("Error", seconds=15)
    check(run.prog.poll() is None, "hillcar ended before the error was acknowledged")
    err = run.stderr_text()
    check("hillcar: Could Not Set The Pixel Format: " in err,
          "stderr does not name the pixel format: %r" % err)
    run.press(box, "Return", hold=0.1)
    expect_exit(run, 1)


# (screen size, extra Xvfb arguments, cases)
SCREENS = [
    ("800x600", (), [("windowed-escape", case_windowed_escape),
                     ("windowed-close", case_windowed_close),
                     ("fullscreen-escape", case_fullscreen_escape)]),
    ("1024x768", (), [("fullscreen-refused", case_fullscreen_refused)]),
    ("1024x768", ("-extension", "GLX"), [("no-gl", case_no_gl)]),
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hillcar", required=True)
    ap.add_argument("--wine", required=True)
    ap.add_argument("--send-close")
    ap.add_argument("--out")
    args = ap.parse_args()
    if missing_tools(["Xvfb", "xdotool", "xwininfo", "xprop", "xwd"]):
        return SKIP

    failed = []
    wait_for_wine(args.wine)
    for size, xvfb_args, cases in SCREENS:
        xvfb, display = start_xvfb(size, xvfb_args)
        try:
            for name, case in cases:
                if name == "windowed-close" and not args.send_close:
                    print("SKIP %s: no --send-close" % name)
                    continue
                run = Run()
                run.display = display  # the screen outlives the case
                if attempt(name, lambda: case(run, args), run.close) == 0:
                    print("PASS " + name)
                else:
                    failed.append(name)
        finally:
            wait_for_wine(args.wine)
            stop_xvfb(xvfb)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
