#!/usr/bin/env python3
"""The real program under valgrind's memcheck on a private Xvfb screen:
answers the full-screen question, lets it run a number of frames, ends it
with Escape and reads valgrind's log. Exit status 0 = pass, 1 = fail,
77 = the tools are missing (skip).

    valgrind_program.py --hillcar PATH --swap-counter LIB [--frames N]
                        [--timeout SECONDS] [--keep-log PATH]

It fails on:
- any memcheck error other than a leak (invalid read, write or free,
  mismatched free, a jump or system call on uninitialised values), wherever
  it happens: the GL driver, SDL and the X libraries run in the program's
  process and would corrupt it as surely as its own code;
- a definitely lost block that the program's own code allocated: the first
  frame of its allocation stack below the allocator and the C and C++
  runtime is one of the program's functions. Blocks that D-Bus (under
  SDL_Init) and the GL driver lose are theirs, and are only listed.

The frames are counted by LIB, a small preload that counts buffer swaps
(swap_counter.c), so the test knows how many ran without asking the program.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

# No compiled modules next to the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))
import hillcar_window as hw  # noqa: E402  (the shared Xvfb and xdotool driver)
import xvfb  # noqa: E402

check = hw.check

SOURCE_ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def own_functions(hillcar):
    """Names of the functions defined in the program binary itself."""
    res = subprocess.run(["nm", "-C", "--defined-only", hillcar],
                         capture_output=True, text=True)
    names = set()
    for line in res.stdout.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[1] in "tTwW":
            names.add(parts[2].split("(")[0])
    return names


def own_sources():
    names = set()
    for top in ("src", "tools"):
        for dirpath, _, files in os.walk(os.path.join(SOURCE_ROOT, top)):
            names.update(f for f in files if f.endswith((".cpp", ".h")))
    return names


def frames_run(path):
    try:
        with open(path) as f:
            text = f.read().strip()
        return int(text) if text else 0
    except (OSError, ValueError):
        return 0


def parse_log(text):
    """(pid of the main process, [(kind, [frame lines])]) for the records of
    the main process; the message box's child process has records of its own
    and is left out."""
    pids = re.findall(r"^==(\d+)== Command:", text, re.M)
    check(pids, "no valgrind log")
    main_pid = pids[0]
    lines = [l[len(main_pid) + 5:] for l in text.splitlines()
             if l.startswith("==%s== " % main_pid) or l == "==%s==" % main_pid]
    records = []
    current = None
    for line in lines:
        if not line.strip():
            current = None
            continue
        if current is None and not line.startswith(" "):
            current = (line.strip(), [])
            records.append(current)
        elif current is not None and re.match(r"\s+(at|by) 0x", line):
            current[1].append(line.strip())
    return main_pid, records


ERROR_KINDS = re.compile(
    r"^(Invalid (read|write|free)|Mismatched free|Conditional jump or move depends on "
    r"uninitialised|Use of uninitialised|Syscall param .* uninitialised|Source and destination "
    r"overlap|Argument '.*' of function .* has a fishy|Process terminating)")


def leak_is_own(frames, functions, sources):
    """True when the first frame below the allocator and the runtimes is the
    program's own."""
    for f in frames:
        if "vgpreload_memcheck" in f or re.search(r"in /.*/lib(c|stdc\+\+)[.-]", f):
            continue
        m = re.match(r"(?:at|by) 0x[0-9A-F]+: (.*?)(?: \((?:in )?(.*)\))?$", f)
        name = m.group(1) if m else ""
        where = (m.group(2) or "") if m else ""
        if name in ("malloc", "calloc", "realloc", "operator new(unsigned long)",
                    "operator new[](unsigned long)", "strdup", "memalign",
                    "posix_memalign", "aligned_alloc"):
            continue
        source = where.split(":")[0]
        return name.split("(")[0] in functions or source in sources
    return False


def run_case(run, args):
    run.start_xvfb("1024x768")
    counter = tempfile.NamedTemporaryFile(prefix="hillcar-swaps-", delete=False)
    counter.close()
    log = args.keep_log or tempfile.NamedTemporaryFile(prefix="hillcar-valgrind-",
                                                       suffix=".log", delete=False).name
    env = run.env()
    env.pop("ASAN_OPTIONS", None)
    env["LD_PRELOAD"] = args.swap_counter
    env["HILLCAR_SWAP_COUNT_FILE"] = counter.name
    # llvmpipe draws in the program's own thread: valgrind runs one thread at a
    # time, and handing the frame to worker threads and back only costs.
    env["LP_NUM_THREADS"] = "0"
    argv = ["valgrind", "--tool=memcheck", "--log-file=" + log, "--num-callers=40",
            "--leak-check=full", "--show-leak-kinds=definite",
            "--errors-for-leak-kinds=definite", "--track-fds=no", args.hillcar]
    started = time.time()
    run.start_argv(argv, env)
    deadline = started + args.timeout

    box = run.find_window("Fullscreen", seconds=min(120, args.timeout))
    run.press(box, "Escape", hold=0.5)
    win = run.find_window("Program", seconds=max(1, deadline - time.time()))
    while frames_run(counter.name) < args.frames:
        check(run.prog.poll() is None, "hillcar ended (status %s) after %d frames: %s"
              % (run.prog.returncode, frames_run(counter.name), run.stderr_text().strip()))
        check(time.time() < deadline, "only %d of %d frames in %d s"
              % (frames_run(counter.name), args.frames, args.timeout))
        time.sleep(1)
    frames = frames_run(counter.name)
    took = time.time() - started

    # Keys are polled once a frame, and a frame takes a while here: hold
    # Escape until the program has seen it.
    run.focus(win)
    run.x(["xdotool", "keydown", "Escape"])
    try:
        held_until = time.time() + 60
        while run.prog.poll() is None and frames_run(counter.name) < frames + 2 \
                and time.time() < held_until:
            time.sleep(0.2)
    finally:
        run.x(["xdotool", "keyup", "Escape"])
    rc = run.wait_exit(max(60, deadline - time.time()))
    check(rc == 0, "exit status %d after Escape; stderr: %s" % (rc, run.stderr_text().strip()))

    with open(log, errors="replace") as f:
        text = f.read()
    os.unlink(counter.name)
    _, records = parse_log(text)
    functions = own_functions(args.hillcar)
    sources = own_sources()
    errors, own_leaks, other_leaks = [], [], []
    for head, frames_ in records:
        if ERROR_KINDS.match(head):
            errors.append((head, frames_))
        elif "definitely lost" in head:
            (own_leaks if leak_is_own(frames_, functions, sources) else other_leaks).append(
                (head, frames_))
    check(re.search(r"ERROR SUMMARY: \d+ errors", text), "valgrind did not finish its report")

    print("%d frames under valgrind in %.0f s" % (frames, took))
    for head, frames_ in other_leaks:
        where = next((f for f in frames_ if "vgpreload" not in f), "?")
        print("not ours: %s (%s)" % (head, where))
    for head, frames_ in errors + own_leaks:
        print("%s\n    %s" % (head, "\n    ".join(frames_[:12])))
    check(not errors, "%d memory errors (log %s)" % (len(errors), log))
    check(not own_leaks, "%d blocks lost by the program's own code (log %s)"
          % (len(own_leaks), log))
    if not args.keep_log:
        os.unlink(log)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hillcar", required=True)
    ap.add_argument("--swap-counter", required=True)
    ap.add_argument("--frames", type=int, default=300)
    ap.add_argument("--timeout", type=int, default=1200)
    ap.add_argument("--keep-log")
    args = ap.parse_args()

    if xvfb.missing_tools(["valgrind", "nm", "Xvfb", "xdotool", "xwininfo", "xprop"]):
        return xvfb.SKIP

    run = hw.Run()
    status = xvfb.attempt("valgrind", lambda: run_case(run, args), run.close)
    if status == 0:
        print("PASS valgrind")
    return status


if __name__ == "__main__":
    sys.exit(main())
