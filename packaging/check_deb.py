#!/usr/bin/env python3
"""Checks hillcar's Debian package: its name, its control fields (section,
maintainer, description, the runtime libraries by their Debian names), its
files, lintian's verdict (no error, no warning), the desktop entry, the
AppStream metadata and the recordings' MIME type as their validators see them,
and then the program run from the unpacked package.

    check_deb.py --deb FILE [--installed-test PATH]
    check_deb.py --build BUILD_DIR [--cpack CPACK] [--installed-test PATH]

With --build the package is made first, with cpack, into a temporary folder
(the build tree itself is left alone). Exit status 0 = pass, 1 = fail,
77 = dpkg-deb or a validator is missing (skip; the checks that could run did).
"""
import fnmatch
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
from xml.etree import ElementTree

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_INSTALLED_TEST = os.path.join(HERE, "..", "tests", "window", "installed_test.py")

# The libraries the program opens, by the names of the Debian packages that
# hold them; an alternative ("libglu1-mesa | libglu1") counts.
RUNTIME_PACKAGES = ("libsdl2-2.0-0", "libgl1", "libglu1-mesa")
ICON_SIZES = (48, 64, 128, 256)
APP_ID = "io.github.hillcar.hillcar"
MIME_TYPE = "application/x-hillcar-recording"
FILES = (["./usr/games/hillcar", "./usr/bin/hillcar-replay",
          "./usr/share/applications/%s.desktop" % APP_ID,
          "./usr/share/metainfo/%s.metainfo.xml" % APP_ID,
          "./usr/share/mime/packages/hillcar.xml",
          "./usr/share/man/man6/hillcar.6.gz", "./usr/share/man/man1/hillcar-replay.1.gz",
          "./usr/share/doc/hillcar/copyright", "./usr/share/doc/hillcar/changelog.gz"]
         + ["./usr/share/icons/hicolor/%dx%d/apps/hillcar.png" % (s, s) for s in ICON_SIZES])
# The tools; hillcar-render is there when it was built.
TOOLS = ("hillcar-replay", "hillcar-render")
# Each tool's validator: its name, and the Debian package that has it.
VALIDATORS = {"lintian": "lintian", "desktop-file-validate": "desktop-file-utils",
              "appstreamcli": "appstream", "update-mime-database": "shared-mime-info"}


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
    def programs(folder):
        return sorted(os.path.basename(p) for p in paths
                      if p.startswith(folder + "/") and p != folder)
    check(programs("./usr/games") == ["hillcar"],
          "games shipped: %s; only hillcar belongs" % ", ".join(programs("./usr/games")))
    tools = programs("./usr/bin")
    check("hillcar-replay" in tools and set(tools) <= set(TOOLS),
          "tools shipped: %s; hillcar-replay and hillcar-render belong" % ", ".join(tools))
    for tool in tools:
        check("./usr/share/man/man1/%s.1.gz" % tool in paths, "%s has no manual page" % tool)


def check_lintian(deb):
    """Lintian at its default level: not one error or warning."""
    res = subprocess.run(["lintian", "--fail-on", "error,warning", deb],
                         capture_output=True, text=True, timeout=600)
    tags = [line for line in res.stdout.splitlines() if line[:3] in ("E: ", "W: ")]
    check(res.returncode == 0 and not tags, "lintian (status %d):\n%s%s"
          % (res.returncode, res.stdout, res.stderr))


def check_validators(root, mime):
    """The desktop entry, the AppStream metadata with the entry it launches, and
    the MIME type as the validators and a MIME database built from it see them."""
    entry = os.path.join(root, "usr/share/applications/%s.desktop" % APP_ID)
    # desktop-file-validate warns on stdout and still exits 0.
    out = run(["desktop-file-validate", entry])
    check(not out.strip(), "desktop-file-validate: %s" % out)
    # No network: the home page and the screenshots are not fetched.
    run(["appstreamcli", "validate-tree", "--no-net", "--strict", root])
    os.makedirs(os.path.join(mime, "packages"))
    # With the system's own types beside it, so that none of them wins the name.
    for xml in (os.path.join(root, "usr/share/mime/packages/hillcar.xml"),
                "/usr/share/mime/packages/freedesktop.org.xml"):
        if os.path.isfile(xml):
            shutil.copy(xml, os.path.join(mime, "packages"))
    # Its own folder on the search path, or it says that the database is not.
    here = os.path.dirname(mime)
    res = subprocess.run(["update-mime-database", mime], capture_output=True, text=True,
                         timeout=120, env=dict(os.environ, XDG_DATA_DIRS=here,
                                               XDG_DATA_HOME=here))
    check(res.returncode == 0 and not res.stderr.strip(), "update-mime-database (status %d): %s"
          % (res.returncode, res.stderr))
    check(resolve_glob(os.path.join(mime, "globs2"), "drive.hillcar") == MIME_TYPE,
          "drive.hillcar is not a %s" % MIME_TYPE)
    with open(os.path.join(mime, "subclasses")) as f:
        check("%s text/plain" % MIME_TYPE in f.read().splitlines(),
              "%s is not a kind of text/plain" % MIME_TYPE)
    # What a file manager calls it.
    ns = "{http://www.freedesktop.org/standards/shared-mime-info}"
    comment = ElementTree.parse(os.path.join(mime, MIME_TYPE + ".xml")).find(ns + "comment")
    check(comment is not None and comment.text, "%s has no comment" % MIME_TYPE)


def resolve_glob(globs2, name):
    """The type a file name gets from a globs2 file: the heaviest pattern that
    matches, the longest on a tie."""
    best = None
    with open(globs2) as f:
        for line in f:
            if line.startswith("#"):
                continue
            weight, kind, pattern = line.rstrip("\n").split(":")[:3]
            if fnmatch.fnmatchcase(name, pattern):
                key = (int(weight), len(pattern))
                if best is None or key > best[0]:
                    best = (key, kind)
    return best and best[1]


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
        root = os.path.join(tmp, "root")
        run(["dpkg-deb", "-x", deb, root])
        missing = sorted(t for t in VALIDATORS if shutil.which(t) is None)
        if "lintian" not in missing:
            check_lintian(deb)
        if not missing:
            check_validators(root, os.path.join(tmp, "mime"))
        # The program as the package lays it out, without installing it.
        res = subprocess.run([sys.executable, args.installed_test,
                              "--prefix", os.path.join(root, "usr")], timeout=300)
        if res.returncode == SKIP:
            print("SKIP: the unpacked program was not run (window tools missing)")
            return SKIP
        check(res.returncode == 0, "the unpacked program failed its window test")
        if missing:
            print("SKIP: not checked, missing %s"
                  % ", ".join("%s (%s)" % (t, VALIDATORS[t]) for t in missing))
            return SKIP
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
