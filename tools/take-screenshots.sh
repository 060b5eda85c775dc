#!/bin/sh
# Takes the pictures of the README again: runs the program on a private Xvfb
# screen, drives it with xdotool and writes PNGs.
#
#   tools/take-screenshots.sh [HILLCAR [OUTDIR]]
#
# HILLCAR defaults to build/hillcar, OUTDIR to docs/screenshots. Needs Xvfb,
# xdotool, xwd, xwininfo, xprop (x11-apps, x11-utils) and Python 3. The world
# is random, so every run gives other pictures.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
hillcar=${1:-$root/build/hillcar}
out=${2:-$root/docs/screenshots}
if [ ! -x "$hillcar" ]; then
  echo "no program at $hillcar: build it first (cmake -S . -B build && cmake --build build)" >&2
  exit 1
fi
exec python3 "$root/tests/window/screenshots.py" --hillcar "$hillcar" --all \
  --out "$out" --pick start,view6,view7,view0,debug,black-sky
