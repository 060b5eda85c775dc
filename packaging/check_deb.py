#!/usr/bin/env python3
"""Checks hillcar's Debian package: its name, its control fields (section,
maintainer, description, the runtime libraries by their Debian names), its
files, and then the program run from the unpacked package.

    check_deb.py --deb FILE [--installed-test PATH]
    check_deb.py --build BUILD_DIR [--cpack CPACK] [--installed-test PATH]

With --build the package is made first, with cpack, into a temporary folder
(the build tree itself is left alone). Exit status 0 = pass, 1 = fail,
77 = dpkg-deb is missing (skip).
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_INSTALLED_TEST = os.path.join(HERE, "..", "tests", "window", "installed_test.py")

# The libraries the program opens, by the names of the Debian packages that
# hold them; an alternative ("libglu1-mesa | libglu1") counts.
RUNTIME_PACKAGES = ("libsdl2-2.0-0", "libgl1", "libglu1-mesa")
ICON_SIZES = (48, 64, 128, 256)
FILES = (["./usr/bin/hillcar", "./usr/bin/hillcar-replay",
          "./usr/share/applications/hillcar.desktop"]
         + ["./usr/share/icons/hicolor/%dx%d/apps/hillcar.png" % (s, s) for s in ICON_SIZES])


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def run(argv, **kw):
    res = subprocess.run(argv, capture_output=True, text=True, timeout=300, **kw)
    check(res.returncode == 0, "%s failed (%d): %s%s"
          % (" ".join(argv), res.returncode, res.stdout, res.stderr))
    return res.stdout


def depends_names(depends):
    """Every package name in a Depends field, alternatives included."""
    names = set()
    for clause in depends.split(","):
        for alt in clause.split("|"):
            alt = alt.strip()
            if alt:
                names.add(re.split(r"[\s(:]", alt, 1)[0])
    return names


def make_package(build, cpack, out):
    config = os.path.join(build, "CPackConfig.cmake")
    check(os.path.isfile(config), "%s is missing: configure the build first" % config)
    run([cpack, "-G", "DEB", "--config", config, "-B", out])
    debs = glob.glob(os.path.join(out, "*.deb"))
    check(len(debs) == 1, "cpack made %d packages: %s" % (len(debs), debs))
    return debs[0]


def check_control(deb):
    fields = {}
    for name in ("Package", "Version", "Architecture", "Maintainer", "Section",
                 "Priority", "Description", "Depends"):
        fields[name] = run(["dpkg-deb", "-f", deb, name]).strip()
    check(fields["Package"] == "hillcar", "Package: %r" % fields["Package"])
    check(fields["Section"] == "games", "Section: %r, expected games" % fields["Section"])
    check(re.fullmatch(r"[^<>]+ <[^<>@\s]+@[^<>@\s]+>", fields["Maintainer"]),
          "Maintainer is not \"name <address>\": %r" % fields["Maintainer"])
    summary, _, long_text = fields["Description"].partition("\n")
    check(summary.strip() and long_text.strip(),
          "Description wants a summary line and a longer text: %r" % fields["Description"])
    arch = run(["dpkg", "--print-architecture"]).strip()
    check(fields["Architecture"] == arch,
          "Architecture %r, this machine is %r" % (fields["Architecture"], arch))
    names = depends_names(fields["Depends"])
    missing = [p for p in RUNTIME_PACKAGES if p not in names]
    check(not missing, "Depends lacks %s: %r" % (", ".join(missing), fields["Depends"]))
    want = "hillcar_%s_%s.deb" % (fields["Version"], arch)
    check(os.path.basename(deb) == want,
          "package file is %s, expected %s" % (os.path.basename(deb), want))
    return fields


def check_contents(deb):
    listing = run(["dpkg-deb", "-c", deb])
    paths = set()
    for line in listing.splitlines():
        # mode owner size date time path [-> target]
        parts = line.split(None, 5)
        check(len(parts) == 6, "odd line in the file list: %r" % line)
        paths.add(parts[5].split(" -> ")[0].rstrip("/"))
    for path in FILES:
        check(path in paths, "%s is not in the package" % path)
    stray = sorted(p for p in paths if p not in (".", "./usr") and not p.startswith("./usr/"))
    check(not stray, "files outside /usr: %s" % ", ".join(stray))
    programs = sorted(os.path.basename(p) for p in paths
                      if p.startswith("./usr/bin/") and p != "./usr/bin")
    check(programs == ["hillcar", "hillcar-replay"],
          "programs shipped: %s; only hillcar and hillcar-replay belong" % ", ".join(programs))


def main():
    ap = argparse.ArgumentParser()
    what = ap.add_mutually_exclusive_group(required=True)
    what.add_argument("--deb", help="the package to check")
    what.add_argument("--build", help="build tree to make the package from with cpack")
    ap.add_argument("--cpack", default="cpack")
    ap.add_argument("--installed-test", default=DEFAULT_INSTALLED_TEST,
                    help="window test to run on the unpacked package")
    args = ap.parse_args()

    if shutil.which("dpkg-deb") is None or shutil.which("dpkg") is None:
        print("SKIP: no dpkg-deb")
        return SKIP

    tmp = tempfile.mkdtemp(prefix="hillcar-deb-")
    try:
        deb = args.deb or make_package(os.path.abspath(args.build), args.cpack,
                                       os.path.join(tmp, "out"))
        fields = check_control(deb)
        check_contents(deb)
        # The program as the package lays it out, without installing it.
        root = os.path.join(tmp, "root")
        run(["dpkg-deb", "-x", deb, root])
        res = subprocess.run([sys.executable, args.installed_test,
                              "--prefix", os.path.join(root, "usr")], timeout=300)
        if res.returncode == SKIP:
            print("SKIP: the unpacked program was not run (window tools missing)")
            return SKIP
        check(res.returncode == 0, "the unpacked program failed its window test")
    except Failure as e:
        print("FAIL: %s" % e)
        return 1
    except (OSError, subprocess.TimeoutExpired) as e:
        print("FAIL: %s" % e)
        return 1
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("PASS: %s (Depends: %s)" % (os.path.basename(deb), fields["Depends"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
