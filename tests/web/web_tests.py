#!/usr/bin/env python3
"""The page in a browser: web_tests.py [--engine E] --case NAME --page FOLDER ...

In every engine (chromium, firefox, webkit; see browsers.py):
  start    the page shows sky and terrain after start (a screenshot's pixels)
  drive    holding Up (key events) reaches the frame and moves the picture
  view     V changes the camera view on release, and the picture with it
  trace    a scripted run in the page traces byte for byte as hillcar-replay
  picture  a recorded frame drawn by the page's translator in WebGL and by the
           desktop's GL (Mesa on Xvfb) agree to within a few levels per pixel
  pad      a standard gamepad (navigator.getGamepads stubbed) drives
  touch    the on-screen controls show at the first touch and drive, two
           fingers at once
  context-lost  the picture comes back after the WebGL context is lost
In Chromium alone: open, save, play-link (drives opened, saved and linked),
sharp (the drawing buffer at a pixel ratio of 2), offline (the installable
page). A run that drives is saved, and replays to the page's trace.

--list prints each engine and case to test, one pair a line.
Exit status 0 pass, 1 fail, 77 skip (the page is not built or the engine is
missing)."""

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

EVERY_ENGINE = {"start", "drive", "view", "trace", "picture", "pad", "touch", "context-lost"}


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
        out += b"".join(line[i:i + 3] for i in range(0, len(line), 6))
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


# A world whose start shows a good piece of sky behind its hills.
START_SEED = 2


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
    finally:
        browser.close()
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


def run_script_in_page(args, script):
    browser = open_browser(args.test_server, "trace.html", args.engine)
    try:
        browser.wait_for("window.hillcarReady", 60)
        return browser, browser.evaluate("hillcarRunScript(%s)" % json.dumps(script), 300)
    except BaseException:
        browser.close()
        raise


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


def case_trace(server, args):
    path = os.path.join(HERE, "trace.replay")
    with open(path) as f:
        browser, result = run_script_in_page(args, f.read())
    browser.close()
    check(result["status"] == 0, "the page's run ended with status %d: %s" % (
        result["status"], result["errors"]))
    expect_replayed(args, path, result["trace"], "trace.replay")


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    parts = data.split(b"\n", 3)
    check(parts[0] == b"P6", "not a binary PPM")
    w, h = map(int, parts[1].split())
    return w, h, parts[3]


def compare_picture(server, args, name, display):
    script_path = os.path.join(HERE, name + ".replay")
    ppm = os.path.join(args.out, name + "-mesa.ppm")
    env = dict(os.environ, DISPLAY=display, LIBGL_ALWAYS_SOFTWARE="1")
    # In a sanitizer build, D-Bus and the unloaded GL driver leave blocks
    # behind at exit that are theirs, not the snapshot's.
    env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
    subprocess.run([args.snapshot, script_path, ppm], env=env, check=True)
    desk = read_ppm(ppm)
    with open(script_path) as f:
        browser, result = run_script_in_page(args, f.read())
    try:
        check(result["status"] == 0, "the page's run failed: " + result["errors"])
        pixels = browser.evaluate("(() => { hillcarDrawLastFrame(); return hillcarPixels(); })()")
    finally:
        browser.close()
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


def case_picture(server, args):
    if not args.snapshot:
        print("SKIP: no hillcar-gl-snapshot (it needs SDL2)")
        return SKIP
    if xvfb.missing_tools(["Xvfb"]):
        return SKIP
    server_proc, display = xvfb.start_xvfb("1024x768")
    try:
        for name in ("picture-behind", "picture-debug"):
            compare_picture(server, args, name, display)
    finally:
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


def expect_replayed(args, path, page, what):
    """hillcar-replay replays the recording at path to the page's trace."""
    native = replay(args, path, frames_only=False)[0]
    expect_trace(native, page, what)
    check(page == native, "%s: the page ran frames the recording does not have" % what)


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
    # A frame time, long on a loaded machine; never the page's own clock.
    check(step < 10000, "%s: the first live frame comes %d ms after the drive's last" % (what, step))


def case_open(server, args):
    """A broken drive shows hillcar-replay's message while the run goes on;
    one picked (rand glibc), then one made on Windows (rand msvcrt) dropped,
    play as hillcar-replay plays them; the keys drive again, and the run
    saved then replays to the page's trace."""
    bad = write_drive(args.out, "bad.hillcar", insert=(12, "frame 8340 UP NOSUCHKEY"))
    said = replay(args, bad)[1].strip()
    check(said.startswith("hillcar-replay: line 12: "), "not refused: " + said)
    downloads = os.path.join(args.out, "downloads")
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)  # made by the browser only once a download begins
    browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED)
    try:
        before = browser.evaluate("hillcarTrace()")
        give_file(browser, bad)
        after = wait_said(browser, "bad.hillcar", 5)
        message = browser.evaluate("hillcarMessage()")
        check(message == "bad.hillcar: " + said, "the page says %r" % message)
        check(after.startswith(before) and after.count("\n") >= before.count("\n") + 5,
              "the page's run did not go on where it was")
        for rand, seed, drop in (("glibc", 99, False), ("msvcrt", 7, True)):
            path = write_drive(args.out, "open-%s.hillcar" % rand, rand, seed)
            give_file(browser, path, drop)
            page = wait_said(browser, "Played " + os.path.basename(path))
            check_played(replay(args, path)[0], page, os.path.basename(path))
        hold_key(browser, "ArrowUp", "ArrowUp", 38, 3)
        check(world_state(browser)["timeout"] > 14.0, "Up held after a drive did not reach the frame")
        browser.key("keyUp", "ArrowUp", "ArrowUp", 38)
        hold_key(browser, "KeyV", "v", 86, 3)
        browser.key("keyUp", "KeyV", "v", 86)
        browser.call("Browser.setDownloadBehavior", behavior="allow", downloadPath=downloads)
        # The trace read in the task that saves: no frame runs between.
        trace = browser.evaluate("(() => { document.getElementById('save').click();"
                                 " return hillcarTrace(); })()")
        deadline = time.time() + 60
        while not [f for f in os.listdir(downloads) if not f.endswith(".crdownload")]:
            check(time.time() < deadline, "nothing was downloaded")
            time.sleep(0.1)
    finally:
        browser.close()
    name = os.listdir(downloads)[0]
    lines = open(os.path.join(downloads, name)).read().splitlines()
    check(re.fullmatch(r"drive-\d{8}-\d{6}\.hillcar", name), "saved as " + name)
    check(lines[1:3] == ["rand msvcrt", "seed 7"] and "set rspd 6" in lines,
          "%s does not begin as the played drive: %r" % (name, lines[:3]))
    expect_replayed(args, os.path.join(downloads, name), trace, name)


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
            if link == links[0][0]:
                check_played(replay(args, path)[0], page, "?play=" + link)
    finally:
        own.close()
        shutil.rmtree(site, ignore_errors=True)


# --- beyond the keyboard: pads and touches; a sharp, lasting, installable page --

def hold_pad(browser, buttons, mapping="standard"):
    """navigator.getGamepads answers one pad of 17 buttons holding buttons
    ({index: value})."""
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
    expect_replayed(args, os.path.join(args.out, name), trace, name)
    return {k for line in recording.splitlines() if line.startswith("frame ") for k in line.split()[2:]}


def distance(a, b):
    return sum((x - y) ** 2 for x, y in zip(a, b)) ** 0.5


def case_pad(server, args):
    browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED, args.engine)
    try:
        hold_pad(browser, {k: 1.0 for k in range(17)}, mapping="")  # not read
        wait_frames(browser, 10)
        before = world_state(browser)
        hold_pad(browser, {7: 1.0})  # the standard mapping's right trigger
        wait_frames(browser, 30)
        held = world_state(browser)
        hold_pad(browser, {})
        wait_frames(browser, 3)
        let_go = world_state(browser)
        keys = saved_run(browser, args, "pad.hillcar")
    finally:
        browser.close()
    print("another mapping's pad, then the right trigger held: speed %.2f -> %.2f, autopilot "
          "timeout %.2f -> %.2f, let go %.2f; keys %s" % (before["rspd"], held["rspd"],
                                                      before["timeout"], held["timeout"],
                                                      let_go["timeout"], keys))
    check(before["timeout"] < 14.0 < held["timeout"] and let_go["timeout"] < held["timeout"],
          "the arrow key held is not the standard pad's trigger")
    check(held["rspd"] > before["rspd"] + 1.0 and distance(held["rnos"], before["rnos"]) > 1.0,
          "the right trigger did not drive the truck")
    check(keys == {"UP"}, "the recording names %s, not UP alone" % keys)


def control(browser, name):
    """The centre of on-screen control #touch-NAME, None while hidden."""
    return browser.evaluate("(r => r.width ? [r.x + r.width / 2, r.y + r.height / 2] : null)"
                            "(document.getElementById('touch-%s').getBoundingClientRect())" % name)


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
    print("speed %.2f -> %.2f, steering %.2f, then %.2f slid right; keys %s" % (
        start["rspd"], both["rspd"], both["rtrn"], slid["rtrn"], sorted(keys)))
    check(hidden == [None, None], "the controls show before a touch")
    check(both["rspd"] > start["rspd"] + 1.0 and distance(both["rnos"], start["rnos"]) > 1.0,
          "the throttle did not drive the truck")
    check(both["rtrn"] > 0.2 and slid["rtrn"] < 0.0, "the controls did not steer left, then right")
    check(tapped["view"] == (start["view"] + 1) % 10, "a tap on the view did not step it")
    check(keys == {"UP", "LEFT", "RIGHT", "V"}, "the recording names %s" % sorted(keys))


def case_sharp(server, args):
    browser = open_page(server, "index.html?seed=%d" % START_SEED)
    try:
        browser.call("Emulation.setDeviceMetricsOverride", width=0, height=0, deviceScaleFactor=2,
                     mobile=False)
        wait_frames(browser, 5)
        page = browser.evaluate(
            "(c => ({buffer: [c.width, c.height], shown: [c.offsetWidth, c.offsetHeight],"
            " ratio: devicePixelRatio, viewport: Array.from("
            "Module.hillcarDraw.gl.getParameter(Module.hillcarDraw.gl.VIEWPORT))}))"
            "(document.getElementById('screen'))")
    finally:
        browser.close()
    print("a pixel ratio of %g: shown at %s, drawing %s, viewport %s" % (
        page["ratio"], page["shown"], page["buffer"], page["viewport"]))
    check(page["ratio"] == 2, "the page sees a ratio of %g" % page["ratio"])
    check_buffer(page)
    check(page["viewport"] == [0, 0] + page["buffer"], "the drawing does not fill the buffer")


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
    cache = ("caches.keys().then(async names => [names, (await (await caches.open(names[0]))"
             ".keys()).map(r => new URL(r.url).pathname).sort()])")
    network = {"latency": 0, "downloadThroughput": -1, "uploadThroughput": -1}
    browser = open_page(own, "index.html?seed=%d" % START_SEED)
    try:
        manifest = browser.call("Page.getAppManifest")["errors"]
        browser.wait_for("navigator.serviceWorker.controller")
        installable = browser.call("Page.getInstallabilityErrors")["installabilityErrors"]
        names, kept = browser.evaluate(cache)
        # Gone: the site's files, the network and the browser's HTTP cache.
        os.rename(page, gone)
        browser.call("Network.enable")
        browser.call("Network.clearBrowserCache")
        browser.call("Network.emulateNetworkConditions", offline=True, **network)
        navigate(browser, url)
        wait_frames(browser, 40)  # as web.start looks, after 50 frames
        shot, state = canvas_shot(browser), world_state(browser)
        # Back, as a new build: another cache name, another page.
        browser.call("Network.emulateNetworkConditions", offline=False, **network)
        os.rename(gone, page)
        for name, old, new in (("sw.js", names[0], names[0] + "-next"),
                               ("index.html", "</body>", "<!-- next build --></body>")):
            with open(os.path.join(page, name)) as f:
                text = f.read().replace(old, new)
            with open(os.path.join(page, name), "w") as f:
                f.write(text)
        navigate(browser, url)
        # Only the names while waiting: opening a cache creates it, and the probe
        # would bring back the one the new worker has just dropped.
        deadline = time.time() + 60
        while browser.evaluate("caches.keys()") != [names[0] + "-next"] and time.time() < deadline:
            time.sleep(0.1)
        navigate(browser, url)
        renewed = browser.evaluate(cache) + [browser.evaluate("document.body.innerHTML")]
    finally:
        browser.close()
        own.close()
        shutil.rmtree(site, ignore_errors=True)
    print("manifest errors %s, installability errors %s; the worker's cache %s: %s" % (
        manifest, installable, names, kept))
    # Chromium's installability checks fetch the largest icon and the worker.
    check(manifest == [] and installable == [], "the manifest is not an installable app's")
    files = sorted("/" + os.path.relpath(os.path.join(d, f), args.page)
                   for d, _, found in os.walk(args.page) for f in found if f != "sw.js")
    check(len(names) == 1 and kept == files, "the worker does not keep the page's files")
    check_sky_and_terrain(shot, state)
    check(renewed[:2] == [[names[0] + "-next"], files] and "next build" in renewed[2],
          "the next build did not replace the cache and the page: %s" % renewed[0])


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


CASES = {name[5:].replace("_", "-"): f for name, f in globals().items() if name.startswith("case_")}


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
            print("\n".join(engine + " " + c for c in CASES if engine == "chromium" or c in EVERY_ENGINE))
        return 0
    if args.case is None or args.page is None or args.test_page is None:
        parser.error("--case, --page and --test-page are needed")
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
