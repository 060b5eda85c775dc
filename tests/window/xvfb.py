"""What the scripts that run hillcar on a private Xvfb screen have in common:
starting and stopping the server, the environment the program and the X
clients run in, and how a run reports its outcome (exit status 0 = pass,
1 = fail, 77 = the tools are missing, a skip to CTest).

The scripts import it from this directory; those elsewhere put this
directory on sys.path first.
"""
import os
import re
import shutil
import signal
import subprocess
import time

SKIP = 77


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def missing_tools(names):
    """Whether any of the named programs is not on PATH; if so, says SKIP
    and names them."""
    missing = [t for t in names if shutil.which(t) is None]
    if missing:
        print("SKIP: missing " + ", ".join(missing))
    return bool(missing)


def start_xvfb(size, extra_args=()):
    """(process, display) of a new Xvfb server with one screen of size
    ("WIDTHxHEIGHT") at 24 bits; extra_args go on its command line."""
    # -displayfd lets the server pick a free display number, so runs side by
    # side never meet; -noreset keeps atoms and root properties alive when
    # the last client leaves.
    rfd, wfd = os.pipe()
    try:
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", size + "x24",
             "-nolisten", "tcp", "-noreset"] + list(extra_args),
            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
    except BaseException:
        os.close(rfd)
        raise
    finally:
        os.close(wfd)
    try:
        number = b""
        deadline = time.time() + 10
        while time.time() < deadline and not number.endswith(b"\n"):
            chunk = os.read(rfd, 16)
            if not chunk:
                break
            number += chunk
        check(number.strip().isdigit(), "Xvfb did not start")
    except BaseException:
        stop_xvfb(xvfb)
        raise
    finally:
        os.close(rfd)
    return xvfb, ":" + number.decode().strip()


def stop_xvfb(xvfb):
    xvfb.terminate()
    try:
        xvfb.wait(timeout=5)
    except subprocess.TimeoutExpired:
        xvfb.kill()
        xvfb.wait()


def kill_group(pid):
    """Kills the process group that pid leads, if any of it is left."""
    try:
        os.killpg(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def program_env(display, quiet_sanitizer_leaks=True):
    """The environment for the program and the X clients: X11 on display
    only, or with display None no display at all and SDL left to choose its
    driver."""
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"):
        env.pop(name, None)
    if display is not None:
        env["DISPLAY"] = display
        env["SDL_VIDEODRIVER"] = "x11"
    if quiet_sanitizer_leaks:
        # In a sanitizer build, D-Bus and the unloaded GL driver leave blocks
        # behind at exit that are theirs, not the program's.
        env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
    return env


def x_client(argv, env, timeout=10, binary=False):
    """Runs an X client and returns its stdout; one that fails is a Failure
    naming its status and stderr."""
    res = subprocess.run(argv, env=env, capture_output=True, text=not binary,
                         timeout=timeout)
    check(res.returncode == 0, "%s failed (%d): %s"
          % (argv[0], res.returncode, res.stderr if binary else res.stderr.strip()))
    return res.stdout


def titled_windows(listing, name):
    """(id, width, height, x, y) of each window titled name in what
    `xwininfo -root -children` or `-tree` printed."""
    pattern = re.compile(r'^\s*(0x[0-9a-f]+) "%s": .*?\s(\d+)x(\d+)\+(-?\d+)\+(-?\d+)'
                         % re.escape(name), re.M)
    for m in pattern.finditer(listing):
        yield (int(m.group(1), 16),) + tuple(int(v) for v in m.groups()[1:])


def viewable(wid, env, timeout=None):
    """Whether window wid is there and viewable; one seen a moment ago may
    be gone by now."""
    res = subprocess.run(["xwininfo", "-id", str(wid)], env=env,
                         capture_output=True, text=True, timeout=timeout)
    return res.returncode == 0 and "IsViewable" in res.stdout


def attempt(label, body, close, on_failure=None):
    """Runs body() and then, whatever happened, close(). A failed check, a
    program or X client that timed out or could not be run is printed as
    "FAIL label: why" (after on_failure() for a failed check) and gives 1;
    a body that returns gives 0."""
    try:
        body()
        return 0
    except Failure as e:
        print("FAIL %s: %s" % (label, e))
        if on_failure is not None:
            on_failure()
    except subprocess.TimeoutExpired as e:
        print("FAIL %s: %s timed out" % (label, e.cmd))
    except OSError as e:
        print("FAIL %s: %s" % (label, e))
    finally:
        close()
    return 1
