#!/usr/bin/env python3
"""Checks the documents shipped with the programs. The manual pages a build
makes (gzipped, as they are installed): man reads each with no warning, each
has the sections a reader looks for, hillcar.6 names every option `hillcar
--help` prints, and hillcar-replay.1 describes every field of the trace
hillcar-replay prints. The version: the manuals, the newest entry of the
changelog and the newest release of the AppStream metadata all name the
version being built.

    check_docs.py --man-dir BUILD/man --source-dir man --hillcar PATH --replay PATH
        --version X.Y.Z --changelog FILE --metainfo FILE

Exit status 0 = pass, 1 = fail, 77 = man is missing (skip).
"""
import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import sys
from xml.etree import ElementTree

SKIP = 77
SECTIONS = ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "EXAMPLES",
            "SEE ALSO")
MORE_SECTIONS = {"hillcar.6": ("KEYS", "GAMEPADS", "FILES"),
                 "hillcar-replay.1": ("SCRIPT", "KEY NAMES", "SET NAMES", "TRACE")}


def render(path, failures):
    """The page as text, checked the way lintian checks it: no word from man."""
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
    res = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", path],
                         capture_output=True, text=True, env=env, timeout=60)
    if res.returncode != 0 or res.stderr.strip():
        failures.append("%s: man says (status %d): %s" % (path, res.returncode, res.stderr))
    res = subprocess.run(["man", "-l", path], capture_output=True, text=True, env=env,
                         timeout=60)
    return res.stdout


def section(text, name):
    """The text of one section: from its heading to the next heading."""
    m = re.search(r"^%s\n(.*?)(?=^\S|\Z)" % re.escape(name), text, re.M | re.S)
    return m.group(1) if m else ""


def check_versions(args, sources, failures):
    named = {}
    for name in sources:
        # A page that names a version in its title line names this one.
        with open(os.path.join(args.source_dir, name), encoding="utf-8") as f:
            title = re.search(r"^\.TH .*", f.read(), re.M)
        m = title and re.search(r"\b\d+\.\d+\.\d+\b", title.group(0))
        if m:
            named["man/" + name] = m.group(0)
    with open(args.changelog, encoding="utf-8") as f:
        m = re.match(r"hillcar \((\S+)\) ", f.readline())
    named["the changelog"] = m and m.group(1)
    releases = ElementTree.parse(args.metainfo).getroot().findall("releases/release")
    named["the metainfo"] = releases[0].get("version") if releases else None
    for what, version in named.items():
        if version != args.version:
            failures.append("%s names version %s, the build is %s" % (what, version, args.version))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--man-dir", required=True)
    ap.add_argument("--source-dir", required=True)
    ap.add_argument("--hillcar", required=True)
    ap.add_argument("--replay", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--changelog", required=True)
    ap.add_argument("--metainfo", required=True)
    args = ap.parse_args()
    if shutil.which("man") is None:
        print("SKIP: no man (man-db)")
        return SKIP

    failures = []
    sources = sorted(os.path.basename(p) for p in glob.glob(os.path.join(args.source_dir, "*.[16]")))
    for name in ("hillcar.6", "hillcar-replay.1"):
        if name not in sources:
            failures.append("man/%s is missing" % name)
    pages = {}
    for name in sources:
        path = os.path.join(args.man_dir, name + ".gz")
        if not os.path.isfile(path):
            failures.append("%s was not made" % path)
            continue
        pages[name] = render(path, failures)
        for heading in SECTIONS + MORE_SECTIONS.get(name, ()):
            if not section(pages[name], heading).strip():
                failures.append("%s has no %s section" % (name, heading))

    check_versions(args, sources, failures)

    if "hillcar.6" in pages:
        usage = subprocess.run([args.hillcar, "--help"], capture_output=True, text=True,
                               timeout=30).stdout
        options = set(re.findall(r"(?<![\w-])--?[a-zA-Z][\w-]*", usage))
        documented = section(pages["hillcar.6"], "OPTIONS")
        for option in sorted(options):
            if not re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(option), documented):
                failures.append("hillcar.6 does not describe %s" % option)
        print("hillcar.6 describes %s" % " ".join(sorted(options)))

    if "hillcar-replay.1" in pages:
        trace = subprocess.run([args.replay], input="seed 3\nframe 0\n", capture_output=True,
                               text=True, timeout=30).stdout
        fields = list(json.loads(trace.splitlines()[0]))
        documented = section(pages["hillcar-replay.1"], "TRACE")
        for field in fields:
            if not re.search(r"(?<!\w)%s(?!\w)" % re.escape(field), documented):
                failures.append("hillcar-replay.1 does not describe the trace's %s" % field)
        print("hillcar-replay.1 describes %d trace fields" % len(fields))

    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
