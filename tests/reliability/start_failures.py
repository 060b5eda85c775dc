#!/usr/bin/env python3
"""Start-up failures of the real program that need an X server to stage:
a display without GL. (No display at all and a refused full-screen mode are
cases of tests/window/hillcar_window.py.) Exit status 0 = pass, 1 = fail,
77 = the tools are missing (skip).

    start_failures.py --hillcar PATH --case no-glx
"""
import argparse
import os
import sys

# No compiled modules next to the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))
import hillcar_window as hw  # noqa: E402  (the shared Xvfb and xdotool driver)
import xvfb  # noqa: E402

check = hw.check


class Run(hw.Run):
    def start_xvfb_without(self, size, extension):
        """An Xvfb screen that lacks the named X extension."""
        self.xvfb, self.display = xvfb.start_xvfb(size, ("-extension", extension))
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

    if xvfb.missing_tools(["Xvfb", "xdotool", "xwininfo", "xprop", "xdpyinfo"]):
        return xvfb.SKIP

    run = Run()
    status = xvfb.attempt(args.case, lambda: CASES[args.case](run, args), run.close)
    if status == 0:
        print("PASS " + args.case)
    return status


if __name__ == "__main__":
    sys.exit(main())
