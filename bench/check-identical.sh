#!/usr/bin/env bash
# Runs one script through two builds of hillcar-replay and compares their
# output byte for byte: the speed work must not change a single value a frame
# computes or a single GL call it makes.
#
#   bench/check-identical.sh BEFORE/hillcar-replay AFTER/hillcar-replay [SCRIPT]
#
# The default script, bench/identical.replay, runs 6,027 frames: the start-up
# script, driving, smoothing, every kind of terrain key, scripts, views, the
# debug view, sky keys, grid spacings, frame times from 0 to 1 s, with dumps of
# heights, colours and GL calls along the way.
#
# The "before" side is commit 3005b9e, the last change meant to alter what a
# frame computes (the wheels' ground contact rounds its 0.3 clearance once, in
# double); builds from before it differ from the first frame on.
#
# Build the "before" side without optimisation (-DCMAKE_BUILD_TYPE=Debug):
# GCC 12 at -O2 drops the rounding of the terrain's base colours to float in
# the plain pass, so an optimised build of the old code is not the code as
# written.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 BEFORE AFTER [SCRIPT]" >&2; exit 2; }
script=${3:-$(dirname "$0")/identical.replay}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$1" "$script" >"$tmp/before"
"$2" "$script" >"$tmp/after"
if cmp "$tmp/before" "$tmp/after"; then
  echo "identical: $(grep -c '^{"frame"' "$tmp/after") frames, $(wc -c <"$tmp/after") bytes"
else
  exit 1
fi
