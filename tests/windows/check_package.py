#!/usr/bin/env python3
"""The Windows ZIP: made with CPack from the build tree, it must hold the two
executables and README.txt in one folder, and the executables must import
only DLLs that every Windows has (no MinGW runtime DLL beside them).

    check_package.py --build DIR --cpack PATH --objdump PATH --version X.Y.Z
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import zipfile

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "opengl32.dll", "glu32.dll",
               "msvcrt.dll"}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--cpack", required=True)
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--version", required=True)
    args = ap.parse_args()

    res = subprocess.run([args.cpack, "-G", "ZIP"], cwd=args.build, capture_output=True,
                         text=True, timeout=120)
    if res.returncode != 0:
        print("FAIL: cpack: %s%s" % (res.stdout, res.stderr))
        return 1
    top = "hillcar-%s-win64" % args.version
    path = os.path.join(args.build, top + ".zip")
    failed = []
    with zipfile.ZipFile(path) as z:
        names = sorted(n for n in z.namelist() if not n.endswith("/"))
        want = sorted(top + "/" + n for n in ("README.txt", "hillcar.exe", "hillcar-replay.exe"))
        if names != want:
            failed.append("%s holds %s, expected %s" % (path, names, want))
        with tempfile.TemporaryDirectory() as tmp:
            for exe in ("hillcar.exe", "hillcar-replay.exe"):
                member = top + "/" + exe
                if member not in names:
                    continue
                z.extract(member, tmp)
                out = subprocess.run([args.objdump, "-p", os.path.join(tmp, member)],
                                     capture_output=True, text=True, timeout=60).stdout
                dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", out)}
                if not dlls:
                    failed.append("%s: no imports found" % exe)
                if dlls - SYSTEM_DLLS:
                    failed.append("%s imports %s" % (exe, ", ".join(sorted(dlls - SYSTEM_DLLS))))
                print("%s imports %s" % (exe, ", ".join(sorted(dlls))))
    for f in failed:
        print("FAIL: " + f)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
