#!/usr/bin/env python3
"""The same scripts through the Linux and the Windows hillcar-replay, both
drawing from the model of the GNU C library's rand: the traces must be the
same bytes. The Windows one runs under Wine, every script in one start.

    determinism.py --host PATH --target PATH.exe --wine PATH SCRIPT...

A script that exists as a file is used as it stands; "long-drive" is made
here. Each gets "rand glibc" in front (a rand line of its own comes later and
wins). Exit status 0 = the same, 1 = a difference (the first one is shown).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

# Four minutes of the autopilot on one terrain, then terrain keys, the arrows
# and slow frames: long enough for small differences in the maths to grow.
LONG_DRIVE = """seed 2718281
repeat 6000 1000 16
repeat 200 97000 16 RETURN
repeat 1500 100200 16 UP
repeat 300 124200 16 9 LEFT
repeat 2000 129000 33
dump heights
dump colors
"""


def first_difference(a, b):
    la, lb = a.split(b"\n"), b.split(b"\n")
    for n, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            k = next(i for i in range(min(len(x), len(y)) + 1)
                     if i == min(len(x), len(y)) or x[i] != y[i])
            return "line %d, byte %d:\n  linux:   %s\n  windows: %s" % (
                n + 1, k + 1, x[max(0, k - 60):k + 60].decode(errors="replace"),
                y[max(0, k - 60):k + 60].decode(errors="replace"))
    return "one output is %d lines, the other %d" % (len(la), len(lb))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", required=True)
    ap.add_argument("--target", required=True)
    ap.add_argument("--wine", required=True)
    ap.add_argument("scripts", nargs="+")
    args = ap.parse_args()

    target = os.path.abspath(args.target)
    # Next to the Windows program, so that the batch file names it by a
    # relative path and no Unix path has to be turned into a Windows one.
    work = tempfile.mkdtemp(prefix="determinism-", dir=os.path.dirname(target))
    try:
        names, texts = [], []
        for s in args.scripts:
            if s == "long-drive":
                text = LONG_DRIVE.encode()
            else:
                with open(s, "rb") as f:
                    text = f.read()
            names.append(os.path.basename(s))
            texts.append(b"rand glibc\n" + text)
        exe = os.path.relpath(target, work).replace("/", "\\")
        bat = ["@echo off"]
        for i, text in enumerate(texts):
            with open(os.path.join(work, "s%d.txt" % i), "wb") as f:
                f.write(text)
            bat.append('"%s" s%d.txt > w%d.out 2> w%d.err' % (exe, i, i, i))
            bat.append("echo %%ERRORLEVEL%% > w%d.status" % i)
        bat.append("exit /b 0")
        with open(os.path.join(work, "run.bat"), "w") as f:
            f.write("\r\n".join(bat) + "\r\n")
        subprocess.run([args.wine, "cmd", "/c", "run.bat"], cwd=work, check=True,
                       stdin=subprocess.DEVNULL, timeout=600)

        failed = False
        frames = size = 0
        for i, name in enumerate(names):
            script = os.path.join(work, "s%d.txt" % i)
            linux = subprocess.run([args.host, script], stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, timeout=600)
            with open(os.path.join(work, "w%d.out" % i), "rb") as f:
                windows = f.read()
            with open(os.path.join(work, "w%d.status" % i)) as f:
                status = int(f.read().strip())
            same = True
            if status != linux.returncode:
                print("%s: exit status %d on Linux, %d on Windows" % (name, linux.returncode, status))
                same = False
            if windows != linux.stdout:
                print("%s: traces differ at %s" % (name, first_difference(linux.stdout, windows)))
                same = False
            failed = failed or not same
            frames += linux.stdout.count(b'{"frame"')
            size += len(linux.stdout)
            print("%s: %d bytes, %s" % (name, len(linux.stdout), "the same" if same else "different"))
        if failed:
            return 1
        print("identical: %d scripts, %d frames, %d bytes" % (len(names), frames, size))
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
