#!/usr/bin/env python3
"""The page in a browser: web_tests.py [--engine E] --case NAME --page FOLDER ...

In every engine (chromium, firefox, webkit; see browsers.py):
  input    the driver's keys and touches reach the page as the events sent
  start    the page shows sky and terrain after start (a screenshot's pixels)
  drive    holding Up (key events) reaches the frame and moves the picture
  view     V changes the camera view on release, and the picture with it
  trace    a scripted run in the page traces byte for byte as hillcar-replay
  picture  a recorded frame drawn by the page's translator in WebGL and by the
           desktop's GL (Mesa on Xvfb) agree to within a few levels per pixel
  pad      a standard gamepad (navigator.getGamepads stubbed) drives, and
           the drive replays
  touch    the on-screen controls show at the first touch and drive, several
           fingers at once, and the drive replays
  context-lost  the picture comes back after the WebGL context is lost

In Chromium:
  open       drives picked or dropped play as hillcar-replay replays them;
             refused ones show its message while the run goes on
  save       a saved drive replays to the page's trace
  play-link  ?play= plays a drive of the site and refuses others
  sharp      the drawing buffer follows the shown size and the pixel ratio
             (emulated), at 4:3
  offline    the manifest parses, and after one visit the page runs offline

--list prints each engine and case to test, one pair a line. A case is a
function case_NAME(server, args) run in Chromium; marked @every_engine it
runs in each engine, opening its browser with args.engine.

Exit status 0 pass, 1 fail, 77 skip (the page is not built, the engine is
missing or its protocol cannot do what the case needs)."""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "window"))

import browsers  # noqa: E402
import chromium  # noqa: E402
import xvfb  # noqa: E402
from xvfb import SKIP, Failure, check  # noqa: E402

# Picture comparison: a pixel agrees when every channel is within TOLERANCE
# levels; the edges of polygons fall on other pixels in two rasterisers, so a
# small share may differ by more.
TOLERANCE = 3
MAX_OUTLIERS = 0.002
MAX_MEAN = 0.5

# The names of the cases that run in every engine.
EVERY_ENGINE = set()


def name_of_case(function):
    """case_play_link runs as the case play-link."""
    return function[len("case_"):].replace("_", "-")


def every_engine(case):
    EVERY_ENGINE.add(name_of_case(case.__name__))
    return case


def world_state(browser):
    return json.loads(browser.evaluate("Module.UTF8ToString(Module._webWorldState())"))


def frames(browser):
    return browser.evaluate("Module.hillcarDraw.frames")


def wait_frames(browser, n, timeout=60):
    target = frames(browser) + n
    browser.wait_for("Module.hillcarDraw.frames >= %d" % target, timeout)


def canvas_shot(browser):
    """The canvas as shown, every other pixel of every other row (the
    checks count shares of pixels): (width, height, rgb)."""
    x, y, w, h = (round(v) for v in browser.evaluate(
        "(() => { const r = document.getElementById('screen')"
        ".getBoundingClientRect(); return [r.x, r.y, r.width, r.height]; })()"))
    width, height, rgb = browser.screenshot()
    check(0 <= x and x + w <= width and 0 <= y and y + h <= height,
          "the canvas is not inside the %dx%d screenshot" % (width, height))
    out = bytearray()
    for row in range(y, y + h, 2):
        line = rgb[(row * width + x) * 3:(row * width + x + w) * 3]
        half = bytearray(len(line[0::6]) * 3)
        for channel in range(3):
            half[channel::3] = line[channel::6]
        out += half
    return (w + 1) // 2, (h + 1) // 2, bytes(out)


def share_changed(a, b):
    """Share of pixels of two equal-sized shots that differ by more than 8
    levels in some channel."""
    wa, ha, pa = a
    wb, hb, pb = b
    check((wa, ha) == (wb, hb), "screenshots of different sizes")
    changed = sum(1 for i in range(0, len(pa), 3)
                  if max(abs(pa[i] - pb[i]), abs(pa[i + 1] - pb[i + 1]),
                         abs(pa[i + 2] - pb[i + 2])) > 8)
    return changed / (wa * ha)


def save_shot(out, name, shot):
    os.makedirs(out, exist_ok=True)
    chromium.write_png(os.path.join(out, name), *shot)


def open_browser(server, name, engine):
    browser = browsers.start(engine, server.url(name))
    print("%s (%s)" % (browser.version, engine))
    return browser


def open_page(server, name, engine="chromium"):
    browser = open_browser(server, name, engine)
    try:
        # Without WebGL the page says so and draws nothing.
        browser.wait_for("Module.hillcarDraw === null || Module.hillcarDraw.frames >= 10", 60)
        check(browser.evaluate("Module.hillcarDraw !== null"), "the page says: %s" % browser.evaluate(
            "document.getElementById('message').textContent"))
    except BaseException:
        browser.close()
        raise
    return browser


# The page's events as a list of [type, code, key] for keys and [type,
# pointerType, pointerId, x, y] for pointers, and the most fingers a touch
# event held; touches neither scroll nor zoom it.
RECORD_EVENTS = """(() => {
  window.seen = []; window.mostTouches = 0;
  document.documentElement.style.touchAction = document.body.style.touchAction = 'none';
  for (const t of ['keydown', 'keyup'])
    addEventListener(t, e => seen.push([t, e.code, e.key]), true);
  for (const t of ['pointerdown', 'pointermove', 'pointerup', 'pointercancel'])
    addEventListener(t, e => seen.push([t, e.pointerType, e.pointerId, e.clientX, e.clientY]), true);
  for (const t of ['touchstart', 'touchmove'])
    addEventListener(t, e => { mostTouches = Math.max(mostTouches, e.touches.length); }, true);
  return true;
})()"""


def taken_events(browser):
    return browser.evaluate("seen.splice(0)")


@every_engine
def case_input(server, args):
    browser = open_browser(args.test_server, "trace.html", args.engine)
    try:
        browser.wait_for("window.hillcarReady", 60)
        browser.evaluate(RECORD_EVENTS)
        for code in browsers.KEYS:
            browser.key("keyDown", code)
            browser.key("keyUp", code)
        keys = taken_events(browser)
        expected = [[kind, code, browsers.KEYS[code][0]]
                    for code in browsers.KEYS for kind in ("keydown", "keyup")]
        wrong = [(a, b) for a, b in zip(expected, keys) if a != b]
        print("%d key events sent, %d seen, %d not as sent" % (len(expected), len(keys), len(wrong)))
        check(not wrong, "sent %s, the page saw %s" % wrong[0] if wrong else "")
        check(len(keys) == len(expected), "the page saw %d key events for %d sent"
              % (len(keys), len(expected)))
        # Two fingers at once, one moving, then both lifted.
        browser.touches([("down", 1, 200, 300), ("down", 2, 600, 400)])
        down = taken_events(browser)
        browser.touches([("move", 1, 250, 320)])
        moved = taken_events(browser)
        browser.touches([("up", 1, 250, 320), ("up", 2, 600, 400)])
        up = taken_events(browser)
        most = browser.evaluate("mostTouches")
    finally:
        browser.close()
    print("touches: %s, then %s, then %s; at most %d fingers in a touch event" % (
        down, moved, up, most))
    check([e[0] for e in down] == ["pointerdown"] * 2, "two fingers down gave %s" % down)
    check(all(e[1] == "touch" for e in down + moved + up), "a finger is not a touch pointer")
    first, second = down[0][2], down[1][2]
    check(first != second, "two fingers down as one pointer")
    check([e[3:] for e in down] == [[200, 300], [600, 400]], "the fingers went down elsewhere")
    check([e[2:] for e in moved if e[0] == "pointermove"] == [[first, 250, 320]],
          "the first finger's move gave %s" % moved)
    check(sorted((e[0], e[2]) for e in up) == sorted([("pointerup", first), ("pointerup", second)]),
          "lifting both fingers gave %s" % up)
    if browser.native_touch:
        check(most == 2, "touch events held %d fingers at most, not 2" % most)


# A world whose start shows a good piece of sky behind its hills.
START_SEED = 2


# What a first visit shows besides the canvas: the page's name and what it
# is, the README's key table (with its heading row) folded away, the controls.
FIRST_VISIT = """(() => { const t = s => document.querySelector(s).textContent;
  return [document.title.split(" ")[0], t("h1"), t("header p").split(" ").length >= 10,
    document.querySelector("details").open, document.querySelectorAll("details tr").length,
    t("#open"), t("#save"), document.querySelector("#open-file").accept]; })()"""


@every_engine
def case_start(server, args):
    browser = open_page(server, "index.html?seed=%d" % START_SEED, args.engine)
    try:
        wait_frames(browser, 50)
        shot = canvas_shot(browser)
        state = world_state(browser)
        page = browser.evaluate(
            "(() => { const c = document.getElementById('screen'), r = c.getBoundingClientRect();"
            " return {buffer: [c.width, c.height], shown: [r.width, r.height],"
            " window: [innerWidth, innerHeight], ratio: devicePixelRatio,"
            " button: document.getElementById('fullscreen').textContent}; })()")
        first = browser.evaluate(FIRST_VISIT)
    finally:
        browser.close()
    print("first visit: %r" % first)
    check(first == ["Hillcar:", "Hillcar", True, False, 16, "Open a drive…", "Save this drive",
                    ".hillcar"], "the page does not explain itself")
    # The scripted run of the tests is not served with the page.
    check(not os.path.exists(os.path.join(args.page, "trace.html")), "trace.html beside the page")
    print("canvas %s drawn, shown at %s in a window of %s" % (page["buffer"], page["shown"],
                                                           page["window"]))
    check_buffer(page)
    shown_w, shown_h = page["shown"]
    check(abs(shown_w / shown_h - 4 / 3) < 0.01, "the canvas is not shown at 4:3")
    check(shown_w > 0.9 * page["window"][0] or shown_h > 0.8 * page["window"][1],
          "the canvas does not fill the window's width or height")
    check(page["button"] == "Full screen", "no \"Full screen\" button")
    save_shot(args.out, "start.png", shot)
    check_sky_and_terrain(shot, state)


def check_sky_and_terrain(shot, state):
    """The picture shows the world's sky colour and many colours of terrain."""
    w, h, rgb = shot
    sky = [round(c * 255) for c in state["clearcol"]]
    pixels = [tuple(rgb[i:i + 3]) for i in range(0, len(rgb), 3)]
    is_sky = [max(abs(p[k] - sky[k]) for k in range(3)) <= 2 for p in pixels]
    top = is_sky[:w * h // 20]
    print("sky %s: %.1f%% of the picture, %.1f%% of its top twentieth; %d colours" % (
        sky, 100.0 * sum(is_sky) / len(pixels), 100.0 * sum(top) / len(top), len(set(pixels))))
    check(sum(is_sky) > 0.01 * len(pixels), "less than 1% of the picture is the sky colour")
    check(sum(is_sky) < 0.7 * len(pixels), "more than 70% of the picture is the sky colour")
    check(len(set(pixels)) > 200, "the terrain shows fewer than 200 colours")


def check_buffer(page):
    """The canvas draws its shown size in the screen's pixels, at 4:3."""
    (w, h), (shown_w, shown_h) = page["buffer"], page["shown"]
    check(abs(w - shown_w * page["ratio"]) <= 4 and abs(h - shown_h * page["ratio"]) <= 4,
          "the canvas draws %dx%d, shown at %gx%g CSS pixels of ratio %g" % (
              w, h, shown_w, shown_h, page["ratio"]))
    check(3 * w == 4 * h, "the canvas draws %dx%d, not 4:3" % (w, h))


def hold_key(browser, code, key, vk, frames_held):
    browser.key("keyDown", code, key, vk)
    wait_frames(browser, frames_held)


@every_engine
def case_drive(server, args):
    browser = open_page(server, "index.html", args.engine)
    try:
        before = world_state(browser)
        shot_before = canvas_shot(browser)
        hold_key(browser, "ArrowUp", "ArrowUp", 38, 30)
        held = world_state(browser)
        shot_held = canvas_shot(browser)
        browser.key("keyUp", "ArrowUp", "ArrowUp", 38)
        wait_frames(browser, 3)
        after = world_state(browser)
    finally:
        browser.close()
    save_shot(args.out, "drive-before.png", shot_before)
    save_shot(args.out, "drive-held.png", shot_held)
    moved = sum((held["rnos"][k] - before["rnos"][k]) ** 2 for k in range(3)) ** 0.5
    changed = share_changed(shot_before, shot_held)
    print("speed %.2f -> %.2f, autopilot timeout %.2f -> %.2f -> %.2f, nose moved %.2f, "
          "%.0f%% of the picture changed" % (before["rspd"], held["rspd"], before["timeout"],
                                           held["timeout"], after["timeout"], moved, 100 * changed))
    # Only an arrow key puts the autopilot's timeout up to 15 s.
    check(held["timeout"] > 14.0, "the frame did not see Up held")
    check(after["timeout"] < held["timeout"], "Up still held after its key-up")
    check(held["rspd"] > before["rspd"] + 1.0, "holding Up did not speed the truck up")
    check(moved > 1.0, "the truck did not move")
    check(changed > 0.05, "the picture did not move")


@every_engine
def case_view(server, args):
    browser = open_page(server, "index.html", args.engine)
    try:
        before = world_state(browser)
        shot_before = canvas_shot(browser)
        hold_key(browser, "KeyV", "v", 86, 3)
        held = world_state(browser)
        browser.key("keyUp", "KeyV", "v", 86)
        wait_frames(browser, 3)
        after = world_state(browser)
        shot_after = canvas_shot(browser)
    finally:
        browser.close()
    save_shot(args.out, "view-before.png", shot_before)
    save_shot(args.out, "view-after.png", shot_after)
    changed = share_changed(shot_before, shot_after)
    print("view %d, %d with V held, %d after its release; %.0f%% of the picture changed" % (
        before["view"], held["view"], after["view"], 100 * changed))
    check(held["view"] == before["view"], "the view changed while V was still held")
    check(after["view"] == (before["view"] + 1) % 10, "V's release did not step the view")
    check(changed > 0.2, "the picture did not change with the view")


def run_script(browser, script):
    """The run of a replay script in the scripted page the browser has just
    loaded: {status, trace, errors}."""
    browser.wait_for("window.hillcarReady", 60)
    return browser.evaluate("hillcarRunScript(%s)" % json.dumps(script), 300)


def expect_trace(native, page, what):
    """The page's trace begins with hillcar-replay's, byte for byte."""
    lines_native, lines_page = native.splitlines(), page.splitlines()
    print("%s: %d lines (%d bytes) from hillcar-replay, %d lines (%d bytes) from the page" % (
        what, len(lines_native), len(native), len(lines_page), len(page)))
    for n, (a, b) in enumerate(zip(lines_native, lines_page), 1):
        if a != b:
            fields = [k for k in json.loads(a) if json.loads(a).get(k) != json.loads(b).get(k)]
            raise Failure("%s: line %d differs first, in %s" % (what, n, ", ".join(fields[:8])))
    check(page.startswith(native), "%s: the page's trace is not hillcar-replay's" % what)


@every_engine
def case_trace(server, args):
    path = os.path.join(HERE, "trace.replay")
    native = subprocess.run([args.replay, path], stdout=subprocess.PIPE, check=True).stdout.decode()
    browser = open_browser(args.test_server, "trace.html", args.engine)
    try:
        with open(path) as f:
            result = run_script(browser, f.read())
    finally:
        browser.close()
    check(result["status"] == 0, "the page's run ended with status %d: %s" % (
        result["status"], result["errors"]))
    expect_trace(native, result["trace"], "trace.replay")
    check(result["trace"] == native, "the page's trace goes on past hillcar-replay's")


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    parts = data.split(b"\n", 3)
    check(parts[0] == b"P6", "not a binary PPM")
    w, h = map(int, parts[1].split())
    return w, h, parts[3]


def compare_picture(browser, args, name, display):
    script_path = os.path.join(HERE, name + ".replay")
    ppm = os.path.join(args.out, name + "-mesa.ppm")
    env = dict(os.environ, DISPLAY=display, LIBGL_ALWAYS_SOFTWARE="1")
    # In a sanitizer build, D-Bus and the unloaded GL driver leave blocks
    # behind at exit that are theirs, not the snapshot's.
    env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
    subprocess.run([args.snapshot, script_path, ppm], env=env, check=True)
    desk = read_ppm(ppm)
    with open(script_path) as f:
        result = run_script(browser, f.read())
    check(result["status"] == 0, "the page's run failed: " + result["errors"])
    pixels = browser.evaluate("(() => { hillcarDrawLastFrame(); return hillcarPixels(); })()")
    page = (pixels["width"], pixels["height"], chromium.base64.b64decode(pixels["rgb"]))
    check(page[:2] == desk[:2], "pictures of different sizes")
    save_shot(args.out, name + "-mesa.png", desk)
    save_shot(args.out, name + "-page.png", page)
    a, b = desk[2], page[2]
    worst = [max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2]))
             for i in range(0, len(a), 3)]
    n = len(worst)
    outliers = sum(1 for d in worst if d > TOLERANCE)
    mean = sum(abs(x - y) for x, y in zip(a, b)) / len(a)
    exact = sum(1 for d in worst if d == 0)
    # Where they differ: a picture of the differences, 32 times brighter.
    diff = bytes(min(255, 32 * abs(x - y)) for x, y in zip(a, b))
    save_shot(args.out, name + "-diff.png", (desk[0], desk[1], diff))
    print("%s: %.2f%% of pixels equal, %.3f%% beyond %d levels, largest %d, mean %.3f levels" % (
        name, 100.0 * exact / n, 100.0 * outliers / n, TOLERANCE, max(worst), mean))
    check(outliers <= MAX_OUTLIERS * n, "%s: %.3f%% of pixels differ by more than %d levels" % (
        name, 100.0 * outliers / n, TOLERANCE))
    check(mean <= MAX_MEAN, "%s: the mean difference is %.3f levels" % (name, mean))


@every_engine
def case_picture(server, args):
    if not args.snapshot:
        print("SKIP: no hillcar-gl-snapshot (it needs SDL2)")
        return SKIP
    if xvfb.missing_tools(["Xvfb"]):
        return SKIP
    server_proc, display = xvfb.start_xvfb("1024x768")
    browser = None
    try:
        browser = open_browser(args.test_server, "trace.html", args.engine)
        for n, name in enumerate(("picture-behind", "picture-debug")):
            if n:
                # Each script runs in a page of its own.
                browser.load(args.test_server.url("trace.html"))
            compare_picture(browser, args, name, display)
    finally:
        if browser is not None:
            browser.close()
        xvfb.stop_xvfb(server_proc)


# --- drives: opened, saved, linked ---------------------------------------------

PAGE_SEED = 5  # the page's own seed, which an opened drive's replaces


def write_drive(folder, name, rand="glibc", seed=99, insert=None):
    """drive.hillcar as folder/name with its rand and seed, and an extra
    line (number, text) when asked."""
    with open(os.path.join(HERE, "drive.hillcar")) as f:
        lines = f.read().replace("rand glibc\nseed 99", "rand %s\nseed %d" % (rand, seed)).split("\n")
    if insert:
        lines.insert(insert[0] - 1, insert[1])
    with open(os.path.join(folder, name), "w") as f:
        f.write("\n".join(lines))
    return os.path.join(folder, name)


def replay(args, path, frames_only=True):
    """hillcar-replay's trace of a drive (its frame lines only: the page skips
    the dumps) and its messages."""
    r = subprocess.run([args.replay, path], capture_output=True)
    lines = r.stdout.decode().splitlines(keepends=True)
    return "".join(x for x in lines if x.startswith('{"frame"') or not frames_only), r.stderr.decode()


def give_file(browser, path, drop=False):
    """The file chosen in the picker, or dragged onto the canvas and dropped."""
    if drop:
        data = {"items": [], "files": [path], "dragOperationsMask": 1}
        for kind in ("dragEnter", "dragOver", "drop"):
            browser.call("Input.dispatchDragEvent", type=kind, x=400, y=300, data=data)
        return
    root = browser.call("DOM.getDocument")["root"]["nodeId"]
    node = browser.call("DOM.querySelector", nodeId=root, selector="#open-file")["nodeId"]
    browser.call("DOM.setFileInputFiles", files=[path], nodeId=node)


def wait_said(browser, said, frames=2):
    """Until the page's message starts with said and a few frames have run
    since; then the trace."""
    browser.wait_for("hillcarMessage().startsWith(%s)" % json.dumps(said), 180)
    wait_frames(browser, frames)
    return browser.evaluate("hillcarTrace()")


def check_played(native, page, what):
    """The drive's frames, then live ones whose clock goes on from its last tick."""
    expect_trace(native, page, what)
    last = json.loads(native.splitlines()[-1])["tick"]
    step = (json.loads(page[len(native):].split("\n")[0])["tick"] - last) % 2 ** 32
    print("%s: the first live frame comes %d ms after the drive's last" % (what, step))
    # A frame time, long on a loaded machine; never the page's own clock.
    check(step < 10000, "%s: the clock did not go on from the drive's" % what)


def case_open(server, args):
    """Drives refused with hillcar-replay's message while the run goes on,
    then one picked (rand glibc) and one dropped (rand msvcrt) played."""
    # A key no script names; a seed after the first frame.
    bad = [("bad-key.hillcar", (12, "frame 8340 UP NOSUCHKEY")), ("bad-seed.hillcar", (8, "seed 3"))]
    for rand, seed, drop, refused in (("glibc", 99, False, bad), ("msvcrt", 7, True, [])):
        path = write_drive(args.out, "open-%s.hillcar" % rand, rand, seed)
        browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED)
        try:
            for name, insert in refused:
                said = replay(args, write_drive(args.out, name, insert=insert))[1].strip()
                check(said.startswith("hillcar-replay: line %d: " % insert[0]), "not refused: " + said)
                before = browser.evaluate("hillcarTrace()")
                give_file(browser, os.path.join(args.out, name))
                after = wait_said(browser, name, 5)
                message = browser.evaluate("hillcarMessage()")
                print("%s: %r" % (name, message))
                check(message == name + ": " + said, "%s: the page says %r" % (name, message))
                # The run goes on where it was, not restarted.
                check(after.startswith(before) and after.count("\n") >= before.count("\n") + 5,
                      "%s: the page's run did not go on" % name)
            give_file(browser, path, drop)
            page = wait_said(browser, "Played " + os.path.basename(path))
            hold_key(browser, "ArrowUp", "ArrowUp", 38, 5)
            held = world_state(browser)
        finally:
            browser.close()
        check_played(replay(args, path)[0], page, "%s, %s" % (path, "dropped" if drop else "opened"))
        check(held["timeout"] > 14.0, "Up held after the drive did not reach the frame")


def case_save(server, args):
    """The run saved live, then after a drive made on Windows has played."""
    downloads = os.path.join(args.out, "downloads")
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)  # made by the browser only once a download begins
    windows = write_drive(args.out, "save-msvcrt.hillcar", "msvcrt", 7)
    saves = []
    browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED)
    try:
        browser.call("Browser.setDownloadBehavior", behavior="allow", downloadPath=downloads)
        for header in (["rand glibc", "seed %d" % PAGE_SEED], ["rand msvcrt", "seed 7"]):
            if saves:
                give_file(browser, windows)
                wait_said(browser, "Played save-msvcrt.hillcar")
            for code, key, vk in (("ArrowUp", "ArrowUp", 38), ("KeyV", "v", 86)):
                hold_key(browser, code, key, vk, 3)
                browser.key("keyUp", code, key, vk)
            # The trace read in the task that saves: no frame runs between.
            trace = browser.evaluate("(() => { document.getElementById('save').click();"
                                     " return hillcarTrace(); })()")
            deadline = time.time() + 60
            while sum(not f.endswith(".crdownload") for f in os.listdir(downloads)) <= len(saves):
                check(time.time() < deadline, "nothing was downloaded")
                time.sleep(0.1)
            saves.append((header, trace))
    finally:
        browser.close()
    names = sorted(os.listdir(downloads), key=lambda f: os.path.getmtime(os.path.join(downloads, f)))
    for name, (header, trace) in zip(names, saves):
        path = os.path.join(downloads, name)
        lines = open(path).read().splitlines()
        check(re.fullmatch(r"drive-\d{8}-\d{6}( \(\d+\))?\.hillcar", name), "saved as " + name)
        check(lines[1:3] == header, "%s starts %r" % (name, lines[:3]))
        native = replay(args, path, frames_only=False)[0]
        expect_trace(native, trace, name)
        check(native == trace, "%s: the page ran frames the recording does not have" % name)
    check("set rspd 6" in lines, "the played drive's set line is not in the recording")


def case_play_link(server, args):
    # A site with the page and a drive on it.
    site = tempfile.mkdtemp(prefix="hillcar-site-")
    for name in os.listdir(args.page):
        os.symlink(os.path.join(os.path.abspath(args.page), name), os.path.join(site, name))
    os.mkdir(os.path.join(site, "drives"))
    path = write_drive(os.path.join(site, "drives"), "linked.hillcar", "glibc", 31)
    own = chromium.PageServer(site)
    other = "http://localhost:%d/drives/linked.hillcar" % own.port
    # The drive is played; another site's, or one that is not there, is not,
    # with a message, and the page runs on.
    links = [("drives/linked.hillcar", "Played linked.hillcar"),
             (other, "Not played: " + other + " is not on this site"),
             ("drives/none.hillcar", "Could not fetch drives/none.hillcar: 404")]
    try:
        for link, said in links:
            browser = open_page(own, "index.html?trace=1&play=" + urllib.parse.quote(link, safe=""))
            try:
                page = wait_said(browser, said)
            finally:
                browser.close()
            print("?play=%s: %s" % (link, said))
            if link == links[0][0]:
                check_played(replay(args, path)[0], page, "?play=" + link)
    finally:
        own.close()
        shutil.rmtree(site, ignore_errors=True)


# --- beyond the keyboard: pads and touches; a sharp, lasting, installable page --

def hold_pad(browser, buttons, mapping="standard"):
    """navigator.getGamepads answers one pad of 17 buttons holding buttons
    ({index: value}); the standard mapping's right trigger is button 7."""
    pad = {"connected": True, "mapping": mapping, "index": 0, "id": "test", "timestamp": 0,
           "axes": [0.0] * 4, "buttons": [{"pressed": buttons.get(k, 0.0) > 0.0,
                                           "value": buttons.get(k, 0.0)} for k in range(17)]}
    browser.evaluate("Object.defineProperty(navigator, 'getGamepads', {configurable: true,"
                     " value: () => [%s]})" % json.dumps(pad))


def saved_run(browser, args, name):
    """The run as Save gives it, written to args.out/name, replays in
    hillcar-replay to the page's trace; the keys its frames name."""
    recording, trace = browser.evaluate(
        "[new TextDecoder().decode(Module.FS.readFile(Module.UTF8ToString("
        "Module._webFlushFiles()))), hillcarTrace()]")
    with open(os.path.join(args.out, name), "w") as f:
        f.write(recording)
    native = replay(args, os.path.join(args.out, name), frames_only=False)[0]
    expect_trace(native, trace, name)
    check(native == trace, "%s: the page ran frames the recording does not have" % name)
    return {k for line in recording.splitlines() if line.startswith("frame ") for k in line.split()[2:]}


def distance(a, b):
    return sum((x - y) ** 2 for x, y in zip(a, b)) ** 0.5


@every_engine
def case_pad(server, args):
    browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED, args.engine)
    try:
        hold_pad(browser, {k: 1.0 for k in range(17)}, mapping="")  # not read
        wait_frames(browser, 10)
        other = world_state(browser)
        hold_pad(browser, {7: 1.0})
        wait_frames(browser, 30)
        held = world_state(browser)
        hold_pad(browser, {})
        wait_frames(browser, 3)
        let_go = world_state(browser)
        keys = saved_run(browser, args, "pad.hillcar")
    finally:
        browser.close()
    print("autopilot timeout %.2f with another mapping's pad, %.2f with the right trigger, then "
          "%.2f; speed %.2f -> %.2f; keys %s" % (other["timeout"], held["timeout"],
                                                let_go["timeout"], other["rspd"], held["rspd"], keys))
    check(other["timeout"] < 14.0 < held["timeout"] and let_go["timeout"] < held["timeout"],
          "the arrow key held is not the standard pad's trigger")
    check(held["rspd"] > other["rspd"] + 1.0 and distance(held["rnos"], other["rnos"]) > 1.0,
          "the right trigger did not drive the truck")
    check(keys == {"UP"}, "the recording names %s, not UP alone" % keys)


def control(browser, name):
    """The centre of on-screen control #touch-NAME, None while hidden."""
    return browser.evaluate("(r => r.width ? [r.x + r.width / 2, r.y + r.height / 2] : null)"
                            "(document.getElementById('touch-%s').getBoundingClientRect())" % name)


@every_engine
def case_touch(server, args):
    browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED, args.engine)
    try:
        if browser.name == "chromium":
            browser.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
        hidden = [control(browser, "throttle")]
        browser.click(500, 200)
        wait_frames(browser, 2)
        hidden.append(control(browser, "throttle"))
        browser.touches([("down", 0, 500, 200)])
        browser.touches([("up", 0, 500, 200)])
        browser.wait_for("document.getElementById('touch-throttle').offsetWidth")
        throttle, left, right, view = (control(browser, c) for c in ("throttle", "left", "right", "view"))
        start = world_state(browser)
        browser.touches([("down", 0) + tuple(throttle)])
        browser.touches([("down", 1) + tuple(left)])  # a second finger
        wait_frames(browser, 30)
        both = world_state(browser)
        browser.touches([("move", 1) + tuple(right)])  # slid across
        wait_frames(browser, 30)
        slid = world_state(browser)
        browser.touches([("up", 0) + tuple(throttle), ("up", 1) + tuple(right)])
        browser.touches([("down", 0) + tuple(view)])  # a tap
        browser.touches([("up", 0) + tuple(view)])
        wait_frames(browser, 3)
        tapped = world_state(browser)
        keys = saved_run(browser, args, "touch.hillcar")
    finally:
        browser.close()
    print("hidden before a touch: %s; speed %.2f -> %.2f, steering %.2f, then %.2f slid right; "
          "a tap on the view: %d -> %d; keys %s" % (hidden, start["rspd"], both["rspd"], both["rtrn"],
                                                    slid["rtrn"], start["view"], tapped["view"],
                                                    sorted(keys)))
    check(hidden == [None, None], "the controls show before a touch")
    check(both["rspd"] > start["rspd"] + 1.0 and distance(both["rnos"], start["rnos"]) > 1.0,
          "the throttle did not drive the truck")
    check(both["rtrn"] > 0.2 and slid["rtrn"] < 0.0, "the controls did not steer left, then right")
    check(tapped["view"] == (start["view"] + 1) % 10, "a tap on the view did not step it")
    check(keys == {"UP", "LEFT", "RIGHT", "V"}, "the recording names %s" % sorted(keys))


def case_sharp(server, args):
    # Chromium leaves a change of ratio unannounced after an override that set
    # the ratio it had: the desktop's screen is the browser's own.
    screens = [("desktop", 0, 0, 1), ("ratio 2", 0, 0, 2), ("upright phone", 390, 844, 3),
               ("phone on its side", 844, 390, 3)]
    browser = open_page(server, "index.html?seed=%d" % START_SEED)
    try:
        for name, width, height, ratio in screens:
            if ratio > 1:
                browser.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                             deviceScaleFactor=ratio, mobile=width > 0)
            wait_frames(browser, 5)
            page = browser.evaluate(
                "(c => ({buffer: [c.width, c.height], shown: [c.offsetWidth, c.offsetHeight],"
                " ratio: devicePixelRatio, window: innerWidth, viewport: Array.from("
                "Module.hillcarDraw.gl.getParameter(Module.hillcarDraw.gl.VIEWPORT))}))"
                "(document.getElementById('screen'))")
            n, t = frames(browser), time.time()
            time.sleep(5 if width == 0 else 0)  # the frame rate, printed only
            print("%s: shown at %s, drawing %s, viewport %s%s" % (
                name, page["shown"], page["buffer"], page["viewport"],
                ", %.1f frames/s" % ((frames(browser) - n) / (time.time() - t)) if not width else ""))
            check(page["ratio"] == ratio, "the page sees a ratio of %g" % page["ratio"])
            check_buffer(page)
            check(page["viewport"] == [0, 0] + page["buffer"], "the drawing does not fill the buffer")
            # Letterboxed: upright across the whole width, on its side not.
            check(width == 0 or (page["shown"][0] == width) == (width < height),
                  "%s: the picture is %d wide" % (name, page["shown"][0]))
    finally:
        browser.close()


@every_engine
def case_context_lost(server, args):
    browser = open_page(server, "index.html?trace=1&seed=%d" % START_SEED, args.engine)
    try:
        browser.evaluate("(window.loser = Module.hillcarDraw.gl.getExtension("
                         "'WEBGL_lose_context')).loseContext()")
        browser.wait_for("Module.hillcarDraw.lost")
        before, drawn = browser.evaluate("hillcarTrace()"), frames(browser)
        browser.wait_for("hillcarTrace().split('\\n').length > %d" % (before.count("\n") + 10))
        drawn = frames(browser) - drawn
        browser.evaluate("loser.restoreContext()")
        browser.wait_for("Module.hillcarDraw.restored === 1")
        wait_frames(browser, 10)
        shot, state, after = canvas_shot(browser), world_state(browser), browser.evaluate("hillcarTrace()")
    finally:
        browser.close()
    save_shot(args.out, "context-restored.png", shot)
    print("lost after %d frames, %d drawn while lost; %d frames traced since" % (
        before.count("\n"), drawn, after.count("\n") - before.count("\n")))
    check(drawn == 0, "frames were drawn into the lost context")
    check(after.startswith(before), "the run started again when the context was lost")
    check_sky_and_terrain(shot, state)


def case_offline(server, args):
    # The page's own site, whose files can go and come back as a new build.
    site = tempfile.mkdtemp(prefix="hillcar-site-")
    page, gone = os.path.join(site, "page"), os.path.join(site, "gone")
    shutil.copytree(args.page, page)
    own = chromium.PageServer(page)
    url = own.url("index.html?seed=%d" % START_SEED)
    cache = "caches.keys().then(async names => [names, (await (await caches.open(names[0])).keys())" \
            ".map(r => new URL(r.url).pathname).sort()])"
    browser = open_page(own, "index.html?seed=%d" % START_SEED)
    try:
        manifest = browser.call("Page.getAppManifest")
        browser.wait_for("navigator.serviceWorker.controller")
        installable = browser.call("Page.getInstallabilityErrors")["installabilityErrors"]
        kept = browser.evaluate(cache)
        # Gone: the site's files, the network and the browser's HTTP cache.
        os.rename(page, gone)
        for method, params in (("Network.enable", {}), ("Network.clearBrowserCache", {}),
                               ("Network.emulateNetworkConditions", {"offline": True, "latency": 0,
                                "downloadThroughput": -1, "uploadThroughput": -1})):
            browser.call(method, **params)
        navigate(browser, url)
        wait_frames(browser, 40)  # as web.start looks, after 50 frames
        shot, state = canvas_shot(browser), world_state(browser)
        # Back, as a new build: another cache name, another page.
        browser.call("Network.emulateNetworkConditions", offline=False, latency=0,
                     downloadThroughput=-1, uploadThroughput=-1)
        os.rename(gone, page)
        for name, old, new in (("sw.js", kept[0][0], kept[0][0] + "-next"),
                               ("index.html", "</body>", "<!-- next build --></body>")):
            with open(os.path.join(page, name), "r+") as f:
                text = f.read().replace(old, new)
                f.seek(0)
                f.write(text)
                f.truncate()
        navigate(browser, url)
        deadline = time.time() + 60
        while browser.evaluate(cache)[0] != [kept[0][0] + "-next"] and time.time() < deadline:
            time.sleep(0.1)
        navigate(browser, url)
        renewed = browser.evaluate(cache) + [browser.evaluate("document.body.innerHTML")]
    finally:
        browser.close()
        own.close()
        shutil.rmtree(site, ignore_errors=True)
    print("manifest errors %s, installability errors %s; the worker's cache %s: %s" % (
        manifest["errors"], installable, kept[0], kept[1]))
    # Chromium's installability checks fetch the largest icon and the worker.
    check(manifest["errors"] == [] and installable == [], "the manifest is not an installable app's")
    files = sorted("/" + os.path.relpath(os.path.join(d, f), args.page)
                   for d, _, names in os.walk(args.page) for f in names if f != "sw.js")
    check(len(kept[0]) == 1 and kept[1] == files, "the worker does not keep the page's files")
    check_sky_and_terrain(shot, state)
    print("after the next build: cache %s" % renewed[0])
    check(renewed[:2] == [[kept[0][0] + "-next"], files] and "next build" in renewed[2],
          "the next build did not replace the cache and the page")


def navigate(browser, url):
    """Loads url and waits until it has drawn 10 frames."""
    browser.call("Page.navigate", url=url)
    for _ in range(600):
        try:
            if browser.evaluate("window.Module && Module.hillcarDraw.frames >= 10"):
                return
        except RuntimeError:  # between the pages
            pass
        time.sleep(0.1)
    raise Failure("%s drew no frames" % url)


CASES = {name_of_case(name): case for name, case in globals().items() if name.startswith("case_")}


def engine_cases(engine):
    return [name for name in CASES if engine == "chromium" or name in EVERY_ENGINE]


def _end_on_term(signum, frame):
    raise SystemExit("ended by signal %d" % signum)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", default="chromium", choices=browsers.ENGINES)
    parser.add_argument("--case", choices=sorted(CASES))
    parser.add_argument("--list", action="store_true", help="print each engine and case to test")
    parser.add_argument("--page", help="folder of the built page")
    parser.add_argument("--test-page", help="folder of the built scripted run (trace.html)")
    parser.add_argument("--replay", help="the native hillcar-replay")
    parser.add_argument("--snapshot", help="the native hillcar-gl-snapshot")
    parser.add_argument("--out", default="web-results", help="where pictures are left")
    args = parser.parse_args()
    if args.list:
        for engine in browsers.ENGINES:
            for name in engine_cases(engine):
                print(engine, name)
        return 0
    if args.case is None or args.page is None or args.test_page is None:
        parser.error("--case, --page and --test-page are needed")
    if args.case not in engine_cases(args.engine):
        parser.error("case %s runs in Chromium alone" % args.case)
    needed = [os.path.join(args.page, f) for f in ("index.html", "hillcar.js", "hillcar.wasm")]
    needed += [os.path.join(args.test_page, f) for f in ("trace.html", "hillcar-trace.js")]
    if not all(os.path.exists(f) for f in needed):
        print("SKIP: the page is not built in %s (./dev.sh web)" % os.path.dirname(args.page))
        return SKIP
    reason = browsers.missing(args.engine)
    if reason:
        print("SKIP: %s: %s" % (args.engine, reason))
        return SKIP
    os.makedirs(args.out, exist_ok=True)
    # Whatever the browsers leave behind comes back here to be ended, also
    # when the case fails or CTest ends it.
    browsers.become_subreaper()
    signal.signal(signal.SIGTERM, _end_on_term)
    server = chromium.PageServer(args.page)
    args.test_server = chromium.PageServer(args.test_page)
    try:
        status = CASES[args.case](server, args)
    except (Failure, subprocess.CalledProcessError) as e:
        print("FAIL: %s" % e)
        return 1
    except browsers.Unsupported as e:
        print("SKIP: %s: %s" % (args.engine, e))
        return SKIP
    finally:
        server.close()
        args.test_server.close()
        left = browsers.end_leftovers()
        if left:
            print("ended what the browser left running: " + ", ".join(left))
    print("PASS" if status is None else "SKIP")
    return 0 if status is None else status


if __name__ == "__main__":
    sys.exit(main())
