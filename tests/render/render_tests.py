#!/usr/bin/env python3
"""hillcar-render from the outside: render_tests.py --case NAME --render PATH ...

  snapshot  a picture of a frame equals, pixel for pixel, the desktop snapshot
            of that frame (hillcar-gl-snapshot, Mesa on Xvfb), also for a
            frame in the middle of a longer script after a sky change
  video     5 s videos (mp4, webm) have the frame count, size, rate and
            codec asked for (ffprobe), and show the frames drawn
  pictures  the files a range writes, their names, the same bytes twice and
            from standard input, the progress line on a terminal only
  errors    a bad script gives hillcar-replay's message and status 2, an
            output that can't be written status 1, no ffmpeg status 1

Exit status 0 pass, 1 fail, 77 skip (no off-screen GL, or a tool missing)."""

import argparse
import os
import pty
import select
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "window"))
sys.dont_write_bytecode = True

import xvfb  # noqa: E402
from xvfb import SKIP, Failure, check  # noqa: E402

PICTURES = os.path.join(HERE, "..", "web")
# Software GL on every machine: the pictures are Mesa's llvmpipe's. In a
# sanitizer build, the GL driver leaves blocks behind at exit that are its
# own, not the program's.
ENV = dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1")
ENV["ASAN_OPTIONS"] = (ENV.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def decode_png(data):
    """(width, height, rgb) of an 8-bit RGB PNG, any filters."""
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG")
    at, idat, size = 8, b"", None
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            size = struct.unpack(">II", body[:8])
            check(body[8:10] == b"\x08\x02", "not 8-bit RGB")
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    w, h = size
    raw, stride, out = zlib.decompress(idat), 3 * w, bytearray()
    prev = bytearray(stride)
    for y in range(h):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = row[x - 3] if x >= 3 else 0
            b = prev[x]
            c = prev[x - 3] if x >= 3 else 0
            if kind == 1:
                row[x] = (row[x] + a) & 255
            elif kind == 2:
                row[x] = (row[x] + b) & 255
            elif kind == 3:
                row[x] = (row[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[x] = (row[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += row
        prev = row
    return w, h, bytes(out)


def read_ppm(path):
    parts = read(path).split(b"\n", 3)
    check(parts[0] == b"P6", "not a binary PPM")
    w, h = map(int, parts[1].split())
    return w, h, parts[3]


def render(args, argv, **kw):
    return subprocess.run([args.render] + argv, env=kw.pop("env", ENV), capture_output=True,
                          text=True, timeout=kw.pop("timeout", 300), **kw)


def rendered(args, script_path, out, *extra):
    res = render(args, [script_path, "-o", out, "--quiet"] + list(extra))
    check(res.returncode == 0, "hillcar-render %s failed (%d): %s"
          % (" ".join(extra), res.returncode, res.stderr.strip()))
    return res


def no_gl(args, tmp):
    """Whether hillcar-render can't make its off-screen context here."""
    path = os.path.join(tmp, "probe.txt")
    with open(path, "w") as f:
        f.write("frame 0\n")
    res = render(args, [path, "-o", os.path.join(tmp, "probe.png")])
    if res.returncode == 1 and "no off-screen GL" in res.stderr:
        print("SKIP: " + res.stderr.strip())
        return True
    check(res.returncode == 0, "the probe failed (%d): %s" % (res.returncode, res.stderr))
    return False


def differing(a, b):
    return sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])


# --- cases -------------------------------------------------------------------


def case_snapshot(args, tmp):
    if not args.snapshot or xvfb.missing_tools(["Xvfb"]):
        return SKIP
    behind = read(os.path.join(PICTURES, "picture-behind.replay")).decode()
    debug = read(os.path.join(PICTURES, "picture-debug.replay")).decode()
    # (name, the script the snapshot draws the last frame of, what follows it
    # in the script hillcar-render runs). Shift + R turns the sky black in the
    # frame before the last: its clear colour carries over from a frame that
    # is run but not drawn.
    cases = [("behind", behind, ""),
             ("debug", debug, ""),
             ("black-sky", behind + "frame 8856 SHIFT R\nframe 8872\n",
              "repeat 20 8888 16 UP\n")]
    server, display = xvfb.start_xvfb("1024x768")
    try:
        for name, script, more in cases:
            short = os.path.join(tmp, name + "-short.replay")
            longer = os.path.join(tmp, name + ".replay")
            with open(short, "w") as f:
                f.write(script)
            with open(longer, "w") as f:
                f.write(script + more)
            frames = len(subprocess.run([args.replay, short], capture_output=True,
                                        check=True).stdout.splitlines())
            ppm = os.path.join(tmp, name + ".ppm")
            env = dict(ENV, DISPLAY=display)
            subprocess.run([args.snapshot, short, ppm], env=env, check=True, timeout=120)
            png = os.path.join(args.out, "snapshot-%s-frame%d.png" % (name, frames))
            rendered(args, longer, png, "--frames", str(frames))
            mine, desk = decode_png(read(png)), read_ppm(ppm)
            check(mine[:2] == (800, 600) and desk[:2] == (800, 600),
                  "sizes %s and %s" % (mine[:2], desk[:2]))
            n = differing(mine[2], desk[2])
            print("%s, frame %d of %s: %d pixels differ" % (name, frames, longer, n))
            check(n == 0, "%s: %d pixels differ from the desktop snapshot" % (name, n))
            top = mine[2][:3]
            sky = b"\x00\x00\x00" if name == "black-sky" else bytes([128, 204, 255])
            check(top == sky, "%s: the top left pixel is %s, not the sky %s"
                  % (name, list(top), list(sky)))
    finally:
        xvfb.stop_xvfb(server)
    return 0


def probe(path):
    res = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                          "-show_entries",
                          "stream=codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames",
                          "-of", "default=nw=1", path], capture_output=True, text=True)
    check(res.returncode == 0, "ffprobe failed: " + res.stderr)
    return dict(line.split("=", 1) for line in res.stdout.split())


def video_frame(path, index):
    res = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-vf",
                          "select=eq(n\\,%d)" % index, "-frames:v", "1", "-f", "rawvideo",
                          "-pix_fmt", "rgb24", "-"], capture_output=True)
    check(res.returncode == 0, "ffmpeg could not decode: %s" % res.stderr.decode())
    return res.stdout


def case_video(args, tmp):
    if xvfb.missing_tools(["ffmpeg", "ffprobe"]):
        return SKIP
    # 250 frames 20 ms apart: from 0 to 4.98 s after the first.
    script = os.path.join(tmp, "five.replay")
    with open(script, "w") as f:
        f.write("rand glibc\nseed 7\nrepeat 250 1000 20 UP\n")
    # (output, options, codec, frames: one at 0 s and one every 1/fps s up to 4.98 s)
    for name, extra, codec, count in (("five.mp4", [], "h264", 150),
                                      ("five.webm", ["--fps", "24"], "vp8", 120)):
        out = os.path.join(args.out, name)
        rendered(args, script, out, *extra)
        p = probe(out)
        print("%s: %s" % (name, p))
        check(p["codec_name"] == codec, "%s: codec %s" % (name, p["codec_name"]))
        check((p["width"], p["height"]) == ("800", "600"), "%s: size %sx%s"
              % (name, p["width"], p["height"]))
        check(p["pix_fmt"] == "yuv420p", "%s: pixels %s" % (name, p["pix_fmt"]))
        fps = extra[1] if extra else "30"
        check(p["r_frame_rate"] == fps + "/1", "%s: rate %s" % (name, p["r_frame_rate"]))
        check(p["nb_read_frames"] == str(count), "%s: %s frames, expected %d"
              % (name, p["nb_read_frames"], count))
    # The last video frame comes at 149/30 s = 4.967 s: frame 249 (4.96 s).
    png = os.path.join(tmp, "last.png")
    rendered(args, script, png, "--frames", "249")
    want = decode_png(read(png))[2]
    got = video_frame(os.path.join(args.out, "five.mp4"), 149)
    check(len(got) == len(want), "the video frame has %d bytes" % len(got))
    mean = sum(abs(a - b) for a, b in zip(got[::7], want[::7])) / len(want[::7])
    print("last video frame against frame 249's picture: mean difference %.2f levels" % mean)
    check(mean < 4, "the last video frame is not frame 249 (mean difference %.1f)" % mean)
    return 0


def progress_on_a_terminal(args, argv):
    """What hillcar-render writes to standard error when that is a terminal."""
    master, slave = pty.openpty()
    proc = subprocess.Popen([args.render] + argv, env=ENV, stdout=subprocess.DEVNULL,
                            stderr=slave)
    os.close(slave)
    text = b""
    while True:
        ready, _, _ = select.select([master], [], [], 120)
        check(ready, "hillcar-render hung")
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal's other end has closed
            break
        if not chunk:
            break
        text += chunk
    os.close(master)
    check(proc.wait(timeout=60) == 0, "hillcar-render failed on a terminal")
    return text.decode()


def case_pictures(args, tmp):
    script = os.path.join(tmp, "short.replay")
    with open(script, "w") as f:
        f.write("rand glibc\nseed 11\nrepeat 12 500 16 UP RIGHT\n")
    folder = os.path.join(tmp, "frames")
    rendered(args, script, folder, "--frames", "2-9", "--every", "3")
    names = sorted(os.listdir(folder))
    check(names == ["frame-000002.png", "frame-000005.png", "frame-000008.png"],
          "the folder holds %s" % names)
    for name in names:
        check(decode_png(read(os.path.join(folder, name)))[:2] == (800, 600), name)
    rendered(args, script, os.path.join(tmp, "two.png"), "--frames", "4-5")
    check(sorted(n for n in os.listdir(tmp) if n.startswith("two")) ==
          ["two-000004.png", "two-000005.png"], "NAME.png for two frames")
    # The last frame when none is chosen; the same bytes again, and from
    # standard input.
    rendered(args, script, os.path.join(tmp, "last.png"))
    with open(script, "rb") as f:
        res = render(args, ["-", "-o", os.path.join(tmp, "stdin.png"), "--frames", "12"],
                     stdin=f)
    check(res.returncode == 0, "from standard input: " + res.stderr)
    rendered(args, script, os.path.join(tmp, "again.png"), "--frames", "12")
    last = read(os.path.join(tmp, "last.png"))
    check(read(os.path.join(tmp, "again.png")) == last, "two renders of frame 12 differ")
    check(read(os.path.join(tmp, "stdin.png")) == last, "frame 12 from standard input differs")
    check(decode_png(last)[2] != decode_png(read(os.path.join(folder, names[-1])))[2],
          "frames 8 and 12 look the same")
    # One updating line on a terminal; nothing with --quiet or on a pipe.
    shown = progress_on_a_terminal(args, [script, "-o", os.path.join(tmp, "t.png")])
    check("\r" in shown and "frame 12 of 12, 1 of 1 drawn" in shown and shown.endswith("\n"),
          "the progress line on a terminal: %r" % shown[-200:])
    quiet = progress_on_a_terminal(args, [script, "-o", os.path.join(tmp, "t.png"), "--quiet"])
    check(quiet == "", "--quiet still wrote %r" % quiet)
    piped = render(args, [script, "-o", os.path.join(tmp, "t.png")])
    check(piped.returncode == 0 and piped.stderr == "", "on a pipe: %r" % piped.stderr)
    return 0


def case_errors(args, tmp):
    good = os.path.join(tmp, "good.replay")
    with open(good, "w") as f:
        f.write("seed 2\nrepeat 3 0 16\n")
    bad = os.path.join(tmp, "bad.replay")
    with open(bad, "w") as f:
        f.write("seed 2\nrepeat 3 0 16\nset view\n")
    out = os.path.join(tmp, "out.png")
    for script in (bad, os.path.join(tmp, "missing.replay")):
        ref = subprocess.run([args.replay, script], capture_output=True, text=True)
        res = render(args, [script, "-o", out])
        print("%s: %s" % (os.path.basename(script), res.stderr.strip()))
        check(ref.returncode == 2 and res.returncode == 2, "status %d, expected 2"
              % res.returncode)
        check(res.stderr == ref.stderr and res.stderr.startswith("hillcar-replay: "),
              "%r is not hillcar-replay's %r" % (res.stderr, ref.stderr))
        check(not os.path.exists(out), "an output was written for a bad script")
    refusals = [([good, "-o", out, "--frames", "4"], 2, "hillcar-render: the script runs 3 frames"),
                ([good, "-o", out, "--bogus"], 2, "hillcar-render: unknown option '--bogus'"),
                ([good, "-o", os.path.join(tmp, "no", "such", "x.png")], 1,
                 "hillcar-render: cannot write %s: " % os.path.join(tmp, "no", "such", "x.png")),
                ([good, "-o", os.path.join(good, "x.mp4")], 1,
                 "hillcar-render: cannot write %s: " % os.path.join(good, "x.mp4"))]
    for argv, status, message in refusals:
        res = render(args, argv)
        print("%s: %s" % (" ".join(argv[2:]), res.stderr.strip()))
        check(res.returncode == status, "%s: status %d, expected %d"
              % (argv, res.returncode, status))
        check(res.stderr.startswith(message), "%s: %r" % (argv, res.stderr))
        if status == 2 and "script runs" not in message:
            check("usage: hillcar-render" in res.stderr, "no usage line after a bad option")
    # No ffmpeg on the PATH.
    video = os.path.join(tmp, "clip.mp4")
    res = render(args, [good, "-o", video], env=dict(ENV, PATH=tmp))
    print("no ffmpeg: " + res.stderr.strip())
    check(res.returncode == 1 and "ffmpeg" in res.stderr, "without ffmpeg: status %d, %r"
          % (res.returncode, res.stderr))
    check(not os.path.exists(video), "an empty video was left behind")
    return 0


CASES = {"snapshot": case_snapshot, "video": case_video, "pictures": case_pictures,
         "errors": case_errors}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--render", required=True)
    parser.add_argument("--replay", required=True)
    parser.add_argument("--snapshot", help="hillcar-gl-snapshot, for the snapshot case")
    parser.add_argument("--out", required=True, help="where pictures and videos are left")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        if args.case != "errors" and no_gl(args, tmp):
            return SKIP
        try:
            status = CASES[args.case](args, tmp)
        except (Failure, subprocess.SubprocessError, OSError) as e:
            print("FAIL %s: %s" % (args.case, e))
            return 1
    if status == 0:
        print("PASS " + args.case)
    return status


if __name__ == "__main__":
    sys.exit(main())
