#!/usr/bin/env python3
"""hillcar-render from the outside: render_tests.py --case NAME --render PATH ...

  snapshot  a picture of a frame equals, pixel for pixel, the desktop snapshot
            of that frame (hillcar-gl-snapshot, Mesa on Xvfb), also for a
            frame in the middle of a longer script after a sky change
  video     5 s videos (mp4, webm) have the frame count, size, rate and
            codec asked for (ffprobe), and show the frames drawn
  pictures  the files a range writes, the last frame from standard input,
            the progress line on a terminal only
  errors    a bad script gives hillcar-replay's message and status 2, an
            output that can't be written status 1, no ffmpeg status 1

Exit status 0 pass, 1 fail, 77 skip (no off-screen GL, or a tool missing)."""

import argparse
import os
import pty
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "window"))
sys.path.insert(0, os.path.join(HERE, "..", "web"))
sys.dont_write_bytecode = True

import xvfb  # noqa: E402
from chromium import decode_png  # noqa: E402
from web_tests import read_ppm  # noqa: E402
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
    # in the script hillcar-render runs, the top left pixel). Shift + R turns
    # the sky black in the frame before the last: its clear colour carries
    # over from a frame that is run but not drawn.
    cases = [("behind", behind, "", [128, 204, 255]), ("debug", debug, "", [128, 204, 255]),
             ("black-sky", behind + "frame 8856 SHIFT R\nframe 8872\n", "repeat 20 8888 16 UP\n",
              [0, 0, 0])]
    server, display = xvfb.start_xvfb("1024x768")
    try:
        for name, script, more, sky in cases:
            short, longer = os.path.join(tmp, name + "-short.replay"), os.path.join(tmp, name + ".replay")
            for path, text in ((short, script), (longer, script + more)):
                with open(path, "w") as f:
                    f.write(text)
            frames = len(subprocess.run([args.replay, short], capture_output=True,
                                        check=True).stdout.splitlines())
            ppm = os.path.join(tmp, name + ".ppm")
            subprocess.run([args.snapshot, short, ppm], env=dict(ENV, DISPLAY=display), check=True,
                           timeout=120)
            png = os.path.join(args.out, "snapshot-%s-frame%d.png" % (name, frames))
            rendered(args, longer, png, "--frames", str(frames))
            mine, desk = decode_png(read(png)), read_ppm(ppm)
            check(mine[:2] == desk[:2] == (800, 600), "sizes %s and %s" % (mine[:2], desk[:2]))
            n = differing(mine[2], desk[2])
            print("%s, frame %d of %s: %d pixels differ" % (name, frames, longer, n))
            check(n == 0, "%s: %d pixels differ from the desktop snapshot" % (name, n))
            check(list(mine[2][:3]) == sky, "%s: the top left pixel is %s, not the sky %s"
                  % (name, list(mine[2][:3]), sky))
    finally:
        xvfb.stop_xvfb(server)
    return 0


def case_video(args, tmp):
    if xvfb.missing_tools(["ffmpeg", "ffprobe"]):
        return SKIP
    # 250 frames 20 ms apart: from 0 to 4.98 s after the first.
    script = os.path.join(tmp, "five.replay")
    with open(script, "w") as f:
        f.write("rand glibc\nseed 7\nrepeat 250 1000 20 UP\n")
    # One video frame at 0 s and one every 1/fps s (30 unless told) up to 4.98 s.
    for name, extra, want in (("five.mp4", [], "h264 800 600 yuv420p 30/1 150"),
                              ("five.webm", ["--fps", "24"], "vp8 800 600 yuv420p 24/1 120")):
        out = os.path.join(args.out, name)
        rendered(args, script, out, *extra)
        res = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                              "-show_entries", "stream=codec_name,width,height,pix_fmt,"
                              "r_frame_rate,nb_read_frames", "-of", "default=nw=1:nk=1", out],
                             capture_output=True, text=True)
        got = " ".join(res.stdout.split())
        print("%s: %s" % (name, got))
        check(got == want, "%s is %r, not %r: %s" % (name, got, want, res.stderr))
    # The last video frame comes at 149/30 s = 4.967 s: frame 249 (4.96 s).
    png = os.path.join(tmp, "last.png")
    rendered(args, script, png, "--frames", "249")
    want = decode_png(read(png))[2]
    res = subprocess.run(["ffmpeg", "-v", "error", "-i", os.path.join(args.out, "five.mp4"), "-vf",
                          "select=eq(n\\,149)", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                          "rgb24", "-"], capture_output=True)
    got = res.stdout
    check(len(got) == len(want), "the video frame has %d bytes" % len(got))
    mean = sum(abs(a - b) for a, b in zip(got[::7], want[::7])) / len(want[::7])
    print("last video frame against frame 249's picture: mean difference %.2f levels" % mean)
    check(mean < 4, "the last video frame is not frame 249 (mean difference %.1f)" % mean)
    return 0


def on_a_terminal(args, argv):
    """What hillcar-render writes to standard error when that is a terminal."""
    master, slave = pty.openpty()
    proc = subprocess.Popen([args.render] + argv, env=ENV, stdout=subprocess.DEVNULL,
                            stderr=slave)
    os.close(slave)
    text = b""
    try:
        while True:
            chunk = os.read(master, 4096)
            if not chunk:
                break
            text += chunk
    except OSError:  # the terminal's other end has closed
        pass
    os.close(master)
    check(proc.wait(timeout=60) == 0, "hillcar-render failed on a terminal")
    return text.decode()


def case_pictures(args, tmp):
    script = os.path.join(tmp, "short.replay")
    with open(script, "w") as f:
        f.write("rand glibc\nseed 11\nrepeat 12 500 16 UP RIGHT\n")
    folder = os.path.join(tmp, "frames")
    rendered(args, script, folder, "--frames", "2-9", "--every", "3")
    rendered(args, script, os.path.join(tmp, "two.png"), "--frames", "4-5")
    names = sorted(os.listdir(folder)) + sorted(n for n in os.listdir(tmp) if n.startswith("two"))
    check(names == ["frame-000002.png", "frame-000005.png", "frame-000008.png",
                    "two-000004.png", "two-000005.png"], "written: %s" % names)
    # The last frame when none is chosen, the same from standard input.
    rendered(args, script, os.path.join(tmp, "last.png"))
    with open(script, "rb") as f:
        res = render(args, ["-", "-o", os.path.join(tmp, "stdin.png"), "--frames", "12"], stdin=f)
    check(res.returncode == 0, "from standard input: " + res.stderr)
    last = read(os.path.join(tmp, "last.png"))
    check(read(os.path.join(tmp, "stdin.png")) == last, "frame 12 from standard input differs")
    check(decode_png(last)[2] != decode_png(read(os.path.join(folder, names[2])))[2],
          "frames 8 and 12 look the same")
    # One updating line on a terminal; nothing on a pipe.
    shown = on_a_terminal(args, [script, "-o", os.path.join(tmp, "t.png")])
    check("\r" in shown and "frame 12 of 12, 1 of 1 drawn" in shown and shown.endswith("\n"),
          "the progress line on a terminal: %r" % shown[-200:])
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
        check(ref.returncode == 2 and res.returncode == 2, "status %d, expected 2" % res.returncode)
        check(res.stderr == ref.stderr and res.stderr.startswith("hillcar-replay: "),
              "%r is not hillcar-replay's %r" % (res.stderr, ref.stderr))
        check(not os.path.exists(out), "an output was written for a bad script")
    unwritable = [os.path.join(tmp, "no", "such", "x.png"), os.path.join(good, "x.mp4")]
    refusals = [([good, "-o", out, "--frames", "4"], 2, "hillcar-render: the script runs 3 frames"),
                ([good, "-o", out, "--bogus"], 2, "hillcar-render: unknown option '--bogus'\nusage:")]
    refusals += [([good, "-o", path], 1, "hillcar-render: cannot write %s: " % path) for path in unwritable]
    for argv, status, message in refusals:
        res = render(args, argv)
        print("%s: %s" % (" ".join(argv[2:]), res.stderr.strip()))
        check(res.returncode == status and res.stderr.startswith(message), "%s: status %d, %r"
              % (argv, res.returncode, res.stderr))
    # No ffmpeg on the PATH.
    video = os.path.join(tmp, "clip.mp4")
    res = render(args, [good, "-o", video], env=dict(ENV, PATH=tmp))
    check(res.returncode == 1 and "ffmpeg" in res.stderr and not os.path.exists(video),
          "without ffmpeg: status %d, %r" % (res.returncode, res.stderr))
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
