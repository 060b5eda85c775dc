#!/usr/bin/env python3
"""Start-up failures of the real program that need an X server to stage:
a display without GL. (No display at all and a refused full-screen mode are
cases of tests/window/hillcar_window.py.) Exit status 0 = pass, 1 = fail,
77 = the tools are missing (skip).

    start_failures.py --hillcar PATH --case no-glx
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))
import hillcar_window as hw  # noqa: E402  (the shared Xvfb and xdotool driver)

check = hw.check
Failure = hw.Failure


class Run(hw.Run):
    def start_xvfb_without(self, size, extension):
        """An Xvfb screen that lacks the named X extension."""
        rfd, wfd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", size + "x24",
             "-nolisten", "tcp", "-noreset", "-extension", extension],
            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(wfd)
        number = b""
        deadline = time.time() + 10
        while time.time() < deadline and not number.endswith(b"\n"):
            chunk = os.read(rfd, 16)
            if not chunk:
                break
            number += chunk
        os.close(rfd)
        check(number.strip().isdigit(), "Xvfb did not start")
        self.display = ":" + number.decode().strip()
        extensions = self.x(["xdpyinfo", "-queryExtensions"])
        check(extension not in extensions.split(),
              "Xvfb still offers %s" % extension)


def case_no_glx(run, args, answer):
    # The question needs no GL and comes up; the window, which must have a GL
    # visual, can't be made. The reason goes to stderr and into an "Error"
    # box, and the run ends with status 1 once the box is acknowledged.
    run.start_xvfb_without("1024x768", "GLX")
    run.start_program(args.hillcar, run.env())
    hw.answer_question(run, answer)
    box = run.find_window("Error")
    check(run.prog.poll() is None, "hillcar ended before the error was acknowledged")
    err = run.stderr_text()
    check("GLX" in err or "GL" in err.upper(),
          "stderr does not name GL as the cause while the box is up: %r" % err)
    check(not run.x(["xwininfo", "-root", "-children"]).count('"Program"'),
          "a \"Program\" window is up although there is no GL")
    run.press(box, "Return", hold=0.1)
    hw.expect_exit(run, 1)
    check(err.startswith("hillcar: "), "stderr line is not the program's: %r" % err)


CASES = {
    "no-glx-windowed": lambda run, args: case_no_glx(run, args, "Escape"),
    "no-glx-fullscreen": lambda run, args: case_no_glx(run, args, "Return"),
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hillcar", required=True)
    ap.add_argument("--case", required=True, choices=sorted(CASES))
    args = ap.parse_args()

    missing = [t for t in ["Xvfb", "xdotool", "xwininfo", "xprop", "xdpyinfo"]
               if shutil.which(t) is None]
    if missing:
        print("SKIP: missing " + ", ".join(missing))
        return hw.SKIP

    run = Run()
    try:
        CASES[args.case](run, args)
    except Failure as e:
        print("FAIL %s: %s" % (args.case, e))
        return 1
    except subprocess.TimeoutExpired as e:
        print("FAIL %s: %s timed out" % (args.case, e.cmd))
        return 1
    except OSError as e:
        print("FAIL %s: %s" % (args.case, e))
        return 1
    finally:
        run.close()
    print("PASS " + args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
