#!/bin/sh
# Draws the README's pictures again: each NAME.hillcar beside this file is a
# hillcar-replay script with a fixed seed that reaches the moment shown, and
# hillcar-render draws its last frame as NAME.png (web.png is the page's own).
#
#   docs/screenshots/make.sh [BUILD_DIR]      (default: build)
#
# Mesa's software rasteriser draws them on every machine, so the same Mesa
# gives the same bytes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
render=$build/hillcar-render
if [ ! -x "$render" ]; then
  echo "no hillcar-render in $build: build it first (cmake --build $build --target hillcar-render)" >&2
  exit 1
fi
export LIBGL_ALWAYS_SOFTWARE=1
for script in "$here"/*.hillcar; do
  name=$(basename "$script" .hillcar)
  "$render" "$script" -o "$here/$name.png" --quiet
  echo "$here/$name.png"
done
