#!/usr/bin/env python3
"""The Windows installer under Wine, used as a user would: made with cpack
from the build tree, installed silently (/S) into a Wine prefix of the
test's own; the files, the Start-menu shortcuts (their targets and
arguments) and the registry entries (Apps & Features, the .hillcar file
type) are there; "Play in a window" starts the installed hillcar.exe, which
draws; the silent uninstaller then takes all of it away again. Exit status
0 = pass, 1 = fail, 77 = the tools are missing (skip).

    installer.py --build DIR --cpack PATH --wine PATH --version X.Y.Z [--out DIR]
"""
import argparse
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))
from hillcar_wine_window import expect_frames, wait_for_wine, wine_run  # noqa: E402
from hillcar_window import Run, expect_exit  # noqa: E402
from xvfb import SKIP, Failure, check, missing_tools, titled_windows  # noqa: E402

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\hillcar"
EXTENSION_KEY = r"HKCU\Software\Classes\.hillcar"
PROGID_KEY = r"HKCU\Software\Classes\hillcar.recording"
PROGRAMS = ("hillcar.exe", "hillcar-replay.exe", "README.txt", "Uninstall.exe")
# Shortcut name: (target, arguments).
SHORTCUTS = {"Play in a window.lnk": ("hillcar.exe", "--windowed"),
             "Play full screen.lnk": ("hillcar.exe", "--fullscreen"),
             "Uninstall.lnk": ("Uninstall.exe", "")}


def read_shortcut(path):
    """(target path, arguments) of a Windows shortcut (.lnk): the header's
    flags say which parts follow; the target is the link information's
    local path, the arguments one of the counted strings after it."""
    with open(path, "rb") as f:
        data = f.read()
    check(len(data) > 0x4C and struct.unpack_from("<I", data)[0] == 0x4C,
          "%s is not a shortcut" % path)
    (flags,) = struct.unpack_from("<I", data, 0x14)
    pos = 0x4C
    if flags & 0x01:  # an item id list: skipped
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    target = ""
    if flags & 0x02:  # link information
        size, _, info_flags, _, base = struct.unpack_from("<5I", data, pos)
        if info_flags & 0x01:
            end = data.index(b"\0", pos + base)
            target = data[pos + base:end].decode("latin-1")
        pos += size
    width, codec = (2, "utf-16-le") if flags & 0x80 else (1, "latin-1")
    strings = {}
    # name, relative path, working folder, arguments, icon: in this order.
    for bit in (0x04, 0x08, 0x10, 0x20, 0x40):
        if flags & bit:
            (count,) = struct.unpack_from("<H", data, pos)
            # Wine counts a closing NUL in; Windows does not write one.
            strings[bit] = data[pos + 2:pos + 2 + count * width].decode(codec).rstrip("\0")
            pos += 2 + count * width
    return target or strings.get(0x08, ""), strings.get(0x20, "")


def reg_values(run, args, key):
    """The values of a registry key as `reg query` prints them, or None when
    the key is not there."""
    status, out, _ = wine_run(run, args, ["reg", "query", key], timeout=60)
    if status != 0:
        return None
    values = {}
    for line in out.decode(errors="replace").splitlines():
        m = re.match(r"^\s+(.+?)\s{4}(REG_\w+)\s{4}(.*)$", line)
        if m:
            values[m.group(1)] = m.group(3).strip()
    return values


def one_folder(pattern):
    found = glob.glob(pattern)
    check(len(found) == 1, "%d folders match %s" % (len(found), pattern))
    return found[0]


def make_installer(args, out):
    res = subprocess.run([args.cpack, "-G", "NSIS", "--config",
                          os.path.join(args.build, "CPackConfig.cmake"), "-B", out],
                         capture_output=True, text=True, timeout=300)
    check(res.returncode == 0, "cpack -G NSIS: %s%s" % (res.stdout, res.stderr))
    setup = os.path.join(out, "hillcar-%s-win64-setup.exe" % args.version)
    check(os.path.isfile(setup), "cpack made %s, not %s"
          % (os.listdir(out), os.path.basename(setup)))
    return setup


def check_installed(run, args, prefix):
    """Files, shortcuts and registry entries after the install; returns the
    install folder and the shortcuts' folder."""
    folder = one_folder(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Local",
                                     "Programs", "hillcar"))
    user = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(folder))))
    for name in PROGRAMS:
        check(os.path.isfile(os.path.join(folder, name)), "%s was not installed" % name)

    menu = os.path.join(user, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                        "Programs", "hillcar")
    check(os.path.isdir(menu) and sorted(os.listdir(menu)) == sorted(SHORTCUTS),
          "Start-menu folder %s holds %s" % (menu, os.listdir(menu) if os.path.isdir(menu) else None))
    for name, (program, arguments) in SHORTCUTS.items():
        target, got = read_shortcut(os.path.join(menu, name))
        check(target.lower().endswith("\\" + program.lower()) and got == arguments,
              "%s starts %r %r, expected %s %r" % (name, target, got, program, arguments))

    entry = reg_values(run, args, UNINSTALL_KEY)
    check(entry is not None, "no Apps & Features entry (%s)" % UNINSTALL_KEY)
    where = entry.get("InstallLocation", "")
    for name, want in (("DisplayName", "hillcar"), ("DisplayVersion", args.version),
                       ("Publisher", "hillcar"), ("DisplayIcon", where + "\\hillcar.exe,0"),
                       ("UninstallString", '"%s\\Uninstall.exe"' % where)):
        check(entry.get(name) == want, "%s is %r, expected %r" % (name, entry.get(name), want))
    check(where.lower().replace("\\", "/").endswith("/appdata/local/programs/hillcar"),
          "InstallLocation %r" % where)
    extension = reg_values(run, args, EXTENSION_KEY)
    check(extension and extension.get("(Default)") == "hillcar.recording",
          ".hillcar is %r" % extension)
    command = reg_values(run, args, PROGID_KEY + r"\shell\open\command")
    want = '"%s\\hillcar.exe" "%%1"' % where
    check(command and command.get("(Default)") == want,
          "a recording opens with %r, expected %r" % (command, want))
    return folder, menu


def check_shortcut_runs(run, args, menu):
    """The Start menu's "Play in a window", run as it says (Wine's start.exe
    does not wait for a shortcut's program): the window with no question,
    frames running and drawn, and status 0 after Escape."""
    target, arguments = read_shortcut(os.path.join(menu, "Play in a window.lnk"))
    env = run.env()
    env.setdefault("WINEDEBUG", "-all")
    run.start_argv([args.wine, target] + arguments.split(), env)
    win = run.find_window("Program", seconds=30)
    check(not list(titled_windows(run.x(["xwininfo", "-root", "-children"]), "Fullscreen")),
          "the full-screen question was asked")
    expect_frames(run, win, args.out, "installed")
    run.press(win, "Escape")
    expect_exit(run, 0, seconds=15)


def check_uninstalled(run, args, folder, menu):
    status, _, err = wine_run(run, args, [os.path.join(folder, "Uninstall.exe"), "/S"])
    check(status == 0, "the uninstaller: status %d %s" % (status, err))
    # It copies itself away and returns at once; the copy ends when it is done.
    wait_for_wine(args.wine)
    deadline = time.time() + 30
    while os.path.exists(folder) or os.path.exists(menu):
        check(time.time() < deadline, "left after uninstalling: %s"
              % [p for p in (folder, menu) if os.path.exists(p)])
        time.sleep(0.5)
    for key in (UNINSTALL_KEY, EXTENSION_KEY, PROGID_KEY):
        check(reg_values(run, args, key) is None, "%s is left after uninstalling" % key)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--cpack", required=True)
    ap.add_argument("--wine", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--out", help="folder for the installed program's screenshot")
    args = ap.parse_args()
    if missing_tools(["makensis", "Xvfb", "xdotool", "xwininfo", "xwd"]):
        return SKIP

    tmp = tempfile.mkdtemp(prefix="hillcar-installer-")
    # A prefix of its own: nothing installed, no key written, before the test.
    os.environ["WINEPREFIX"] = os.path.join(tmp, "prefix")
    os.environ.setdefault("WINEDEBUG", "-all")
    run = Run()
    try:
        setup = make_installer(args, os.path.join(tmp, "out"))
        run.start_xvfb("800x600")
        status, _, err = wine_run(run, args, [setup, "/S"], timeout=180)
        check(status == 0, "the installer: status %d %s" % (status, err))
        folder, menu = check_installed(run, args, os.environ["WINEPREFIX"])
        check_shortcut_runs(run, args, menu)
        check_uninstalled(run, args, folder, menu)
    except (Failure, OSError, subprocess.TimeoutExpired) as e:
        print("FAIL: %s" % e)
        return 1
    finally:
        run.close()
        wait_for_wine(args.wine)
        shutil.rmtree(tmp, ignore_errors=True)
    print("PASS: %s installs, runs and uninstalls" % os.path.basename(setup))
    return 0


if __name__ == "__main__":
    sys.exit(main())
