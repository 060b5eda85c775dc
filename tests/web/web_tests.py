#!/usr/bin/env python3
"""The page in headless Chromium: web_tests.py --case NAME --page FOLDER ...

  start    the page shows sky and terrain after start (a screenshot's pixels)
  drive    holding Up (key events) reaches the frame and moves the picture
  view     V changes the camera view on release, and the picture with it
  trace    a scripted run in the page traces byte for byte as hillcar-replay
  picture  a recorded frame drawn by the page's translator in WebGL and by the
           desktop's GL (Mesa on Xvfb) agree to within a few levels per pixel

Exit status 0 pass, 1 fail, 77 skip (the page is not built or Chromium is
missing)."""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "window"))

import chromium  # noqa: E402
import xvfb  # noqa: E402
from xvfb import SKIP, Failure, check  # noqa: E402

# Picture comparison: a pixel agrees when every channel is within TOLERANCE
# levels; the edges of polygons fall on other pixels in two rasterisers, so a
# small share may differ by more.
TOLERANCE = 3
MAX_OUTLIERS = 0.002
MAX_MEAN = 0.5


def world_state(browser):
    return json.loads(browser.evaluate("Module.UTF8ToString(Module._webWorldState())"))


def frames(browser):
    return browser.evaluate("Module.hillcarDraw.frames")


def wait_frames(browser, n, timeout=60):
    target = frames(browser) + n
    browser.wait_for("Module.hillcarDraw.frames >= %d" % target, timeout)


def canvas_shot(browser):
    """The canvas as shown, at half its CSS size: (width, height, rgb)."""
    r = browser.evaluate("(() => { const r = document.getElementById('screen')"
                         ".getBoundingClientRect(); return [r.x, r.y, r.width, r.height]; })()")
    clip = {"x": r[0], "y": r[1], "width": r[2], "height": r[3], "scale": 0.5}
    data = browser.call("Page.captureScreenshot", format="png", clip=clip)["data"]
    return chromium.decode_png(chromium.base64.b64decode(data))


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


def open_page(server, name):
    browser = chromium.Browser(server.url(name))
    try:
        browser.wait_for("Module.hillcarDraw && Module.hillcarDraw.frames >= 10", 60)
    except BaseException:
        browser.close()
        raise
    return browser


# A world whose start shows a good piece of sky behind its hills.
START_SEED = 2


# What a first visit shows besides the canvas: the page's name and what it
# is, the key table folded away, and the controls.
FIRST_VISIT = """(() => {
  const keys = document.querySelector("details");
  const text = id => (document.getElementById(id) || {}).textContent;
  return {title: document.title, heading: document.querySelector("h1").textContent,
          sentence: document.querySelector("header p").textContent,
          keysOpen: keys.open, keysSummary: keys.querySelector("summary").textContent,
          keyRows: Array.from(keys.querySelectorAll("tr")).map(r => r.cells[0].textContent),
          open: text("open"), save: text("save"), accept: document.getElementById("open-file").accept};
})()"""


def check_first_visit(server, first):
    print("title %r; keys %r, %d rows, open: %s; controls %r, %r" % (
        first["title"], first["keysSummary"], len(first["keyRows"]), first["keysOpen"],
        first["open"], first["save"]))
    check(first["title"].startswith("Hillcar") and len(first["title"].split()) >= 4,
          "the tab's title does not name the program and say what it is")
    check(first["heading"] == "Hillcar" and len(first["sentence"].split()) >= 10,
          "no heading and sentence saying what the page is")
    # The README's table: its heading row and one row per key.
    check(len(first["keyRows"]) == 16 and "Shift + R" in first["keyRows"]
          and "D (held)" in first["keyRows"], "the key table is not the whole table")
    check(not first["keysOpen"], "the key table is not folded away")
    check(first["open"] == "Open a drive…" and first["save"] == "Save this drive"
          and first["accept"] == ".hillcar", "no Open and Save controls for .hillcar drives")
    # The scripted run of the tests is not served with the page.
    for name in ("trace.html", "hillcar-trace.js"):
        try:
            urllib.request.urlopen(server.url(name)).close()
            raise Failure("the page's folder serves %s" % name)
        except urllib.error.HTTPError as e:
            check(e.code == 404, "%s: HTTP %d" % (name, e.code))


def case_start(server, args):
    browser = open_page(server, "index.html?seed=%d" % START_SEED)
    try:
        wait_frames(browser, 50)
        shot = canvas_shot(browser)
        state = world_state(browser)
        page = browser.evaluate(
            "(() => { const c = document.getElementById('screen'), r = c.getBoundingClientRect();"
            " return {buffer: [c.width, c.height], shown: [r.width, r.height],"
            " window: [innerWidth, innerHeight],"
            " button: document.getElementById('fullscreen').textContent}; })()")
        first = browser.evaluate(FIRST_VISIT)
    finally:
        browser.close()
    check_first_visit(server, first)
    print("canvas %s drawn, shown at %s in a window of %s" % (page["buffer"], page["shown"],
                                                           page["window"]))
    check(page["buffer"] == [800, 600], "the canvas does not draw 800x600")
    shown_w, shown_h = page["shown"]
    check(abs(shown_w / shown_h - 4 / 3) < 0.01, "the canvas is not shown at 4:3")
    check(shown_w > 0.9 * page["window"][0] or shown_h > 0.8 * page["window"][1],
          "the canvas does not fill the window's width or height")
    check(page["button"] == "Full screen", "no \"Full screen\" button")
    save_shot(args.out, "start.png", shot)
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


def hold_key(browser, code, key, vk, frames_held):
    browser.key("keyDown", code, key, vk)
    wait_frames(browser, frames_held)


def case_drive(server, args):
    browser = open_page(server, "index.html")
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
    browser = open_page(server, "index.html")
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


def run_script_in_page(server, script):
    browser = chromium.Browser(server.url("trace.html"))
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
    native = subprocess.run([args.replay, path], stdout=subprocess.PIPE, check=True).stdout.decode()
    with open(path) as f:
        browser, result = run_script_in_page(args.test_server, f.read())
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
        browser, result = run_script_in_page(args.test_server, f.read())
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
    if not args.snapshot or xvfb.missing_tools(["Xvfb"]):
        return SKIP
    server_proc, display = xvfb.start_xvfb("1024x768")
    try:
        for name in ("picture-behind", "picture-debug"):
            compare_picture(server, args, name, display)
    finally:
        xvfb.stop_xvfb(server_proc)


# --- drives: opened, saved, linked ---------------------------------------------

# A drive: stretches of frames with the keys held in them, as a person drives,
# a `set` line, a dump and a `repeat`, which the page applies, skips and runs
# as hillcar-replay reads them.
DRIVE = [(40, ""), (30, " UP LEFT"), "set rspd 6", "dump heights", ("repeat", 12, " UP"),
         (1, " V"), (25, " UP"), (6, " SHIFT 3"), (30, " DOWN RIGHT"), (20, " NUMPAD0"), (10, "")]
# The page's own seed, which an opened drive's replaces.
PAGE_SEED = 5


def drive_text(rand, seed):
    """DRIVE as the program records it, with frame times of 16 and 17 ms as a
    real clock gives them."""
    lines = ["# recorded by a test", "rand " + rand, "seed %d" % seed]
    tick = 7000
    for part in DRIVE:
        if isinstance(part, str):
            lines.append(part)
        elif part[0] == "repeat":
            lines.append("repeat %d %d 16%s" % (part[1], tick, part[2]))
            tick += 16 * part[1]
        else:
            for _ in range(part[0]):
                lines.append("frame %d%s" % (tick, part[1]))
                tick += 16 + (tick % 3 == 0)
    return "\n".join(lines) + "\n"


def write_drive(folder, name, text):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def replay_frames(args, path):
    """hillcar-replay's trace of a drive: its frame lines (the page skips the
    dumps)."""
    out = subprocess.run([args.replay, path], stdout=subprocess.PIPE, check=True).stdout.decode()
    return "".join(line for line in out.splitlines(keepends=True) if line.startswith('{"frame"'))


def choose_file(browser, path):
    """The file picker's choice, as a person makes it."""
    root = browser.call("DOM.getDocument")["root"]["nodeId"]
    node = browser.call("DOM.querySelector", nodeId=root, selector="#open-file")["nodeId"]
    browser.call("DOM.setFileInputFiles", files=[path], nodeId=node)


def drop_file(browser, path):
    """The file dragged onto the canvas and dropped."""
    data = {"items": [], "files": [path], "dragOperationsMask": 1}
    for kind in ("dragEnter", "dragOver", "drop"):
        browser.call("Input.dispatchDragEvent", type=kind, x=400, y=300, data=data)


def wait_played(browser, name, timeout=180):
    """Until the drive has played and a few live frames have run after it."""
    browser.wait_for("hillcarMessage().startsWith(%s)" % json.dumps("Played " + name), timeout)
    wait_frames(browser, 2)


def trace_ticks(trace):
    return [json.loads(line)["tick"] for line in trace.splitlines()]


def check_played(native, page, what):
    """The drive's frames, then live ones whose clock goes on from its last tick."""
    expect_trace(native, page, what)
    played, after = trace_ticks(native), trace_ticks(page[len(native):])
    check(after, "%s: no live frame after the drive" % what)
    # A frame time, slow on a loaded machine, not the page's own clock.
    step = (after[0] - played[-1]) % 2 ** 32
    print("%s: the first live frame comes %d ms after the drive's last" % (what, step))
    check(step < 10000, "%s: the clock did not go on from the drive's" % what)


def case_open(server, args):
    for rand, seed, how in (("glibc", 99, choose_file), ("msvcrt", 7, drop_file)):
        name = "open-%s.hillcar" % rand
        path = write_drive(args.out, name, drive_text(rand, seed))
        native = replay_frames(args, path)
        browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED)
        try:
            how(browser, path)
            wait_played(browser, name)
            page = browser.evaluate("hillcarTrace()")
            # The keys drive again.
            hold_key(browser, "ArrowUp", "ArrowUp", 38, 5)
            held = world_state(browser)
        finally:
            browser.close()
        check_played(native, page, "%s (%s)" % (name, how.__name__))
        check(held["timeout"] > 14.0, "Up held after the drive did not reach the frame")


SAVE = "(() => { document.getElementById('save').click(); return hillcarTrace(); })()"


def wait_download(folder, count, timeout=60):
    """The folder's count-th finished download."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        done = sorted((os.path.getmtime(os.path.join(folder, f)), f) for f in os.listdir(folder)
                      if not f.endswith(".crdownload"))
        if len(done) >= count:
            return os.path.join(folder, done[count - 1][1])
        time.sleep(0.1)
    raise Failure("no download %d in %d s" % (count, timeout))


def case_save(server, args):
    downloads = os.path.join(args.out, "downloads")
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)
    windows = write_drive(args.out, "save-msvcrt.hillcar", drive_text("msvcrt", 7))
    saves = []
    browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED)
    try:
        browser.call("Browser.setDownloadBehavior", behavior="allow", downloadPath=downloads)
        # Driven live, then saved.
        hold_key(browser, "ArrowUp", "ArrowUp", 38, 5)
        hold_key(browser, "ArrowLeft", "ArrowLeft", 37, 5)
        browser.key("keyUp", "ArrowUp", "ArrowUp", 38)
        browser.key("keyUp", "ArrowLeft", "ArrowLeft", 37)
        hold_key(browser, "KeyV", "v", 86, 2)
        browser.key("keyUp", "KeyV", "v", 86)
        saves.append(("live", ["rand glibc", "seed %d" % PAGE_SEED], browser.evaluate(SAVE),
                      wait_download(downloads, 1)))
        # A drive made on Windows played, driven on, and saved.
        choose_file(browser, windows)
        wait_played(browser, "save-msvcrt.hillcar")
        hold_key(browser, "ArrowDown", "ArrowDown", 40, 3)
        saves.append(("after a drive", ["rand msvcrt", "seed 7"], browser.evaluate(SAVE),
                      wait_download(downloads, 2)))
    finally:
        browser.close()
    for what, header, trace, path in saves:
        name = os.path.basename(path)
        with open(path) as f:
            lines = f.read().splitlines()
        print("%s: %s, %d lines, starting %r" % (what, name, len(lines), lines[:3]))
        check(re.fullmatch(r"drive-\d{8}-\d{6}( \(\d+\))?\.hillcar", name),
              "%s: saved as %s" % (what, name))
        check(lines[0].startswith("# recorded by hillcar ") and lines[1:3] == header,
              "%s: the recording starts %r" % (what, lines[:3]))
        native = subprocess.run([args.replay, path], stdout=subprocess.PIPE,
                                check=True).stdout.decode()
        expect_trace(native, trace, what)
        check(native == trace, "%s: the page ran frames the recording does not have" % what)
    check("set rspd 6" in open(saves[1][3]).read().splitlines(),
          "the played drive's set line is not in the recording")


def case_play_link(server, args):
    # A site with the page and a drive on it.
    site = tempfile.mkdtemp(prefix="hillcar-site-")
    for name in os.listdir(args.page):
        os.symlink(os.path.join(os.path.abspath(args.page), name), os.path.join(site, name))
    os.makedirs(os.path.join(site, "drives"))
    path = write_drive(os.path.join(site, "drives"), "linked.hillcar", drive_text("glibc", 31))
    native = replay_frames(args, path)
    own = chromium.PageServer(site)
    try:
        browser = open_page(own, "index.html?trace=1&play=drives/linked.hillcar")
        try:
            wait_played(browser, "linked.hillcar")
            page = browser.evaluate("hillcarTrace()")
        finally:
            browser.close()
        check_played(native, page, "?play=drives/linked.hillcar")
        # Another site's drive, and one that is not there: a message each, and
        # the page runs on.
        other = "http://localhost:%d/drives/linked.hillcar" % own.port
        for link, said in ((other, "Not played: " + other + " is not on this site"),
                           ("drives/none.hillcar", "Could not fetch drives/none.hillcar: 404")):
            browser = open_page(own, "index.html?play=" + urllib.parse.quote(link, safe=""))
            try:
                browser.wait_for("hillcarMessage().startsWith(%s)" % json.dumps(said), 60)
                wait_frames(browser, 5)
                print("?play=%s: %r" % (link, browser.evaluate("hillcarMessage()")))
            finally:
                browser.close()
    finally:
        own.close()
        shutil.rmtree(site, ignore_errors=True)


# Drives hillcar-replay refuses: a key no script names, and a seed after the
# first frame.
BAD_DRIVES = [("bad-key.hillcar", 20, "frame 7300 UP NOSUCHKEY"), ("bad-seed.hillcar", 50, "seed 3")]


def case_bad_file(server, args):
    browser = open_page(server, "index.html?trace=1&seed=%d" % PAGE_SEED)
    try:
        for name, at, line in BAD_DRIVES:
            lines = drive_text("glibc", 99).splitlines()
            lines[at:at] = [line]
            path = write_drive(args.out, name, "\n".join(lines) + "\n")
            refused = subprocess.run([args.replay, path], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)
            said = refused.stderr.decode().strip()
            check(refused.returncode == 2 and said.startswith("hillcar-replay: line %d: " % (at + 1)),
                  "hillcar-replay does not refuse %s: %r" % (name, said))
            before = browser.evaluate("hillcarTrace()")
            choose_file(browser, path)
            browser.wait_for("hillcarMessage().startsWith(%s)" % json.dumps(name), 60)
            message = browser.evaluate("hillcarMessage()")
            wait_frames(browser, 5)
            after = browser.evaluate("hillcarTrace()")
            print("%s: %r" % (name, message))
            check(message == name + ": " + said, "%s: the page says %r" % (name, message))
            # The run goes on where it was, not restarted by the refused drive.
            check(after.startswith(before) and len(after.splitlines()) >= len(before.splitlines()) + 5,
                  "%s: the page's run did not go on" % name)
    finally:
        browser.close()


CASES = {"start": case_start, "drive": case_drive, "view": case_view, "trace": case_trace,
         "picture": case_picture, "open": case_open, "save": case_save,
         "play-link": case_play_link, "bad-file": case_bad_file}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--page", required=True, help="folder of the built page")
    parser.add_argument("--test-page", required=True,
                        help="folder of the built scripted run (trace.html)")
    parser.add_argument("--replay", help="the native hillcar-replay")
    parser.add_argument("--snapshot", help="the native hillcar-gl-snapshot")
    parser.add_argument("--out", default="web-results", help="where pictures are left")
    args = parser.parse_args()
    needed = {args.page: ["index.html", "hillcar.js", "hillcar.wasm"],
              args.test_page: ["trace.html", "hillcar-trace.js", "hillcar-trace.wasm"]}
    for folder, files in needed.items():
        if not all(os.path.exists(os.path.join(folder, f)) for f in files):
            print("SKIP: the page is not built in %s (./dev.sh web)" % folder)
            return SKIP
    if not os.path.exists(chromium.CHROMIUM):
        print("SKIP: no %s" % chromium.CHROMIUM)
        return SKIP
    os.makedirs(args.out, exist_ok=True)
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
    print("PASS" if status is None else "SKIP")
    return 0 if status is None else status


if __name__ == "__main__":
    sys.exit(main())
