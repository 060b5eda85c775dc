#!/usr/bin/env python3
"""The Windows hillcar.exe under Wine on private Xvfb screens, driven the way a
user would. One start of this script runs every case, since each Wine start
costs seconds: on an 800x600 screen the windowed run (with a key held) ended by Escape, the
windowed run ended by a close request, the full-screen run, a recorded run's
round trip through hillcar-replay and back into the window, and the command
line's refusals; on a 1024x768 screen, which can't switch to 800x600, the
refused change, and --fit's picture in a resized window; on a screen without
GLX, the failed pixel format. Exit status 0 = pass, 1 = a case failed,
77 = the tools are missing (skip).

    hillcar_wine_window.py --hillcar PATH.exe --wine PATH [--send-close PATH]
        [--replay PATH.exe] [--host-replay PATH] [--out DIR] [--case NAME ...]

WINEPREFIX and WINEDEBUG come from the environment.
"""
import argparse
import datetime
import os
import re
import subprocess
import sys
import tempfile
import time

# No compiled modules next to the sources.
sys.dont_write_bytecode = True
WINDOW_TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window")
sys.path.insert(0, WINDOW_TESTS)
from hillcar_window import (Run, answer_question, check_recording, cpu_seconds,  # noqa: E402
                            drive, expect_exit, expect_letterboxed, expect_played,
                            expect_same_trace, read_text, resized, wait_for_lines)
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


def start(run, args, options=(), cwd=None, tz=None, env_extra=None):
    env = run.env()
    env.setdefault("WINEDEBUG", "-all")
    if tz:
        env["TZ"] = tz
    env.update(env_extra or {})
    run.start_argv([args.wine, args.hillcar] + list(options), env, cwd)


# Wine's log of the DLLs a program loads, and no other of its messages.
LOG_DLLS = {"WINEDEBUG": "-all,+loaddll"}
XINPUT = re.compile(r"Loaded \S*xinput(1_4|9_1_0)\.dll", re.I)


def wine_run(run, args, argv, cwd=None, timeout=120):
    """(status, stdout bytes, stderr text) of a Windows program run to its
    end on run's screen: the Wine server and its desktop, started by the
    first run, serve the later ones on the screen they were started on. The
    output goes to files, not pipes: the server inherits them and lingers for
    seconds after the run, and a pipe would wait for that."""
    env = run.env()
    env.setdefault("WINEDEBUG", "-all")
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        res = subprocess.run([args.wine] + argv, env=env, cwd=cwd, stdout=out, stderr=err,
                             stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return res.returncode, out.read(), err.read().decode(errors="replace")


# A Windows Yes/No box has no Cancel button, so Escape does nothing there
# (Wine's box takes it all the same): No is answered as a user would, with N.
NO = "n"


def case_windowed_escape(run, args):
    start(run, args)
    answer_question(run, NO)
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
    # XInput is loaded once the program runs, for the pads (there are none).
    start(run, args, env_extra=LOG_DLLS)
    answer_question(run, NO)
    win = run.find_window("Program", seconds=15)
    expect_frames(run, win, None, "close")
    run.x([args.send_close, str(win[0])])
    expect_exit(run, 0)
    check(XINPUT.search(run.stderr_text()), "XInput was not loaded: %r" % run.stderr_text()[-2000:])


def case_fullscreen_escape(run, args):
    # Where neither XInput DLL can be loaded, the program runs on the keyboard.
    start(run, args, env_extra=dict(LOG_DLLS, WINEDLLOVERRIDES="xinput1_4,xinput9_1_0=d"))
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
    check(not XINPUT.search(run.stderr_text()), "XInput was loaded although disabled")


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
    check("start hillcar with --windowed" in run.stderr_text(),
          "stderr does not suggest --windowed: %r" % run.stderr_text())


def case_fit(run, args):
    # --fit on Win32: the window procedure's size change reaches the entry,
    # which letterboxes the picture in the new client area.
    start(run, args, ["--windowed", "--fit"])
    win = run.find_window("Program", seconds=15)
    expect_frames(run, win, None, "fit")
    for size in ((900, 450), (500, 700)):
        expect_letterboxed(resized(run, win[0], *size))
    run.press(win, "Escape")
    expect_exit(run, 0)


def case_no_gl(run, args):
    # A screen without GLX has no OpenGL pixel format: the window is made, the
    # pixel format is not, and the run ends with status 1 once the "Error"
    # box naming the step is acknowledged.
    start(run, args)
    answer_question(run, NO)
    box = run.find_window("Error", seconds=15)
    check(run.prog.poll() is None, "hillcar ended before the error was acknowledged")
    err = run.stderr_text()
    check("hillcar: Could Not Set The Pixel Format: " in err,
          "stderr does not name the pixel format: %r" % err)
    run.press(box, "Return", hold=0.1)
    expect_exit(run, 1)


def case_record_play(run, args):
    # A run recorded and traced under Wine while driven with every key and
    # the laptop aliases; the Windows and the Linux hillcar-replay both give
    # the live trace from the recording, byte for byte (the recording names
    # the msvcrt generator, which the Linux one models); the recording played
    # in the window gives the same frames again. The files are named relative
    # to the run's folder, so no Unix path has to be a Windows one.
    tmp = run.tmpdir("wine-record")
    # Nine hours off UTC, which the recording's time must not be.
    started = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)
    start(run, args, ["--windowed", "--record", "r.txt", "--trace", "live.jsonl"], tmp, "JST-9")
    win = run.find_window("Program", seconds=15)
    time.sleep(0.5)
    drive(run, win, 0.5)  # every Wine start adds to the test's time already
    run.press(win, "Escape")
    expect_exit(run, 0)
    check(run.stderr_text() == "", "stderr: %r" % run.stderr_text())

    with open(os.path.join(tmp, "r.txt"), "rb") as f:
        recorded = f.read()
    with open(os.path.join(tmp, "live.jsonl"), "rb") as f:
        live = f.read()
    # Written as bytes: a text-mode file would end its lines with CR LF.
    check(b"\r" not in recorded and b"\r" not in live, "carriage returns in the files written")
    made = re.match(rb"# recorded by hillcar \S+ on Windows, (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) UTC\n",
                    recorded)
    check(made, "the recording's first line: %r" % recorded.split(b"\n")[0])
    when = datetime.datetime.strptime(made.group(1).decode(), "%Y-%m-%d %H:%M:%S")
    check(abs((when - started).total_seconds()) < 120,
          "the recording says it was made at %s UTC, begun at %s" % (when, started))
    frames = check_recording(recorded.decode(), "msvcrt")
    live_lines = live.splitlines(keepends=True)
    check(len(live_lines) == len(frames), "%d trace lines for %d recorded frames"
          % (len(live_lines), len(frames)))
    # The GL calls were counted on their way to opengl32.
    counts = [tuple(map(int, m)) for m in re.findall(
        rb'"gl": \{"begins": (\d+), "vertices": (\d+), "colors": (\d+)\}', live)]
    check(len(counts) == len(frames), "%d trace lines with GL counts" % len(counts))
    check(all(b > 0 and v > 1000 and c > 1000 for b, v, c in counts),
          "a frame with too few GL calls counted: %r" % (min(counts),))

    status, out, err = wine_run(run, args, [args.replay, "r.txt"], tmp)
    check(status == 0, "hillcar-replay.exe: status %d: %s" % (status, err))
    expect_same_trace(live_lines, out, "hillcar-replay.exe's trace")
    if args.host_replay:
        res = subprocess.run([args.host_replay, os.path.join(tmp, "r.txt")],
                             capture_output=True, timeout=120)
        check(res.returncode == 0, "Linux hillcar-replay: status %d" % res.returncode)
        expect_same_trace(live_lines, res.stdout, "the Linux hillcar-replay's trace")

    start(run, args, ["--windowed", "--play", "r.txt", "--trace", "play.jsonl"], tmp)
    win = run.find_window("Program", seconds=15)
    span = (int(frames[-1][1]) - int(frames[0][1])) / 1000.0
    played = os.path.join(tmp, "play.jsonl")
    wait_for_lines(run, played, len(frames) + 1, span + 30)
    run.press(win, "Escape")
    expect_exit(run, 0)
    check(run.stderr_text() == "", "stderr: %r" % run.stderr_text())
    with open(played, "rb") as f:
        expect_played(live_lines, f.read().splitlines(keepends=True))
    print("  %d frames, %d bytes of trace: the same live, replayed and played"
          % (len(frames), len(live)))


def case_command_line(run, args):
    # The refusals come before any window, on standard error, which Wine
    # hands a program built for the GUI as it does any other; the text is
    # written in text mode, with CR LF line ends as on any Windows console.
    tmp = run.tmpdir("wine-cmdline")
    usage = ("usage: hillcar [--windowed | --fullscreen] [--fit] [--record FILE] [--play FILE] "
             "[--trace FILE] [--help] [--version] [FILE]\n")

    def refused(argv, status, expected, label):
        got, out, err = wine_run(run, args, [args.hillcar] + argv, tmp, timeout=30)
        err = err.replace("\r\n", "\n")
        check(got == status and err == expected, "%s: status %d, stderr %r; expected %d, %r"
              % (label, got, err, status, expected))
        check(out == b"", "%s: stdout %r" % (label, out))

    refused(["--frobnicate"], 2, "hillcar: unknown option '--frobnicate'\n" + usage,
            "unknown option")
    refused(["--windowed", "--record"], 2, "hillcar: --record needs a file name\n" + usage,
            "missing argument")
    refused(["a.hillcar", "b.hillcar"], 2, "hillcar: unexpected argument 'b.hillcar'\n" + usage,
            "a second file")
    refused(["missing.hillcar"], 2,
            "hillcar-replay: cannot open missing.hillcar: No such file or directory\n",
            "a file that is not there")
    refused(["--windowed", "--record", "no-such-folder\\r.txt"], 1,
            "hillcar: cannot record to no-such-folder\\r.txt: No such file or directory\n",
            "unwritable recording")
    with open(os.path.join(tmp, "bad.txt"), "wb") as f:
        f.write(b"seed 3\r\nframe 100 UP\r\nframe 116 JUMP\r\n")
    if args.replay:
        _, _, expected = wine_run(run, args, [args.replay, "bad.txt"], tmp, timeout=30)
        expected = expected.replace("\r\n", "\n")
        check(expected.startswith("hillcar-replay: line 3: "), "hillcar-replay.exe said %r" % expected)
        refused(["--windowed", "--play", "bad.txt", "--record", "r.txt"], 2, expected, "bad script")
        check(not os.path.exists(os.path.join(tmp, "r.txt")), "a recording was begun for a bad script")
    status, out, _ = wine_run(run, args, [args.hillcar, "--version"], tmp, timeout=30)
    check(status == 0 and re.fullmatch(rb"hillcar \d+\.\d+\.\d+\r?\n", out),
          "--version: %d %r" % (status, out))

    # Started the way Windows starts a program from a shortcut or a console,
    # with no standard streams: the refusal is shown in a box instead.
    folder, name = os.path.split(os.path.abspath(args.hillcar))
    env = run.env()
    env.setdefault("WINEDEBUG", "-all")
    run.start_argv([args.wine, "start", "/wait", name, "--frobnicate"], env, folder)
    box = run.find_window("Error", seconds=15)
    check(run.prog.poll() is None, "hillcar ended before the refusal was acknowledged")
    run.press(box, "Return", hold=0.1)
    expect_exit(run, 2)
    check("frobnicate" not in run.stderr_text(), "the refusal went to standard error too")


# (screen size, extra Xvfb arguments, cases)
SCREENS = [
    ("800x600", (), [("windowed-escape", case_windowed_escape),
                     ("windowed-close", case_windowed_close),
                     ("fullscreen-escape", case_fullscreen_escape),
                     ("record-play", case_record_play),
                     ("command-line", case_command_line)]),
    ("1024x768", (), [("fullscreen-refused", case_fullscreen_refused), ("fit", case_fit)]),
    ("1024x768", ("-extension", "GLX"), [("no-gl", case_no_gl)]),
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hillcar", required=True)
    ap.add_argument("--wine", required=True)
    ap.add_argument("--send-close")
    ap.add_argument("--replay", help="hillcar-replay.exe, for the recording case")
    ap.add_argument("--host-replay", help="the Linux hillcar-replay, for the recording case")
    ap.add_argument("--out")
    ap.add_argument("--case", action="append", help="run only this case (repeatable)")
    args = ap.parse_args()
    if missing_tools(["Xvfb", "xdotool", "xwininfo", "xprop", "xwd"]):
        return SKIP

    failed = []
    wait_for_wine(args.wine)
    for size, xvfb_args, cases in SCREENS:
        cases = [c for c in cases if not args.case or c[0] in args.case]
        if not cases:
            continue
        xvfb, display = start_xvfb(size, xvfb_args)
        try:
            for name, case in cases:
                if name == "windowed-close" and not args.send_close:
                    print("SKIP %s: no --send-close" % name)
                    continue
                if name == "record-play" and not args.replay:
                    print("SKIP %s: no --replay" % name)
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
