#!/usr/bin/env bash
# Developer entry point on Debian:
#   ./dev.sh demo   install what is missing, build, start hillcar
#   ./dev.sh test   install what is missing, build, run every test
#   ./dev.sh web    install what is missing, build the page into build-web/page
#   ./dev.sh serve  serve that page on http://127.0.0.1:8000/ (or the port given)
set -euo pipefail
cd "$(dirname "$0")"

DEMO_PACKAGES=(g++ cmake make pkg-config libsdl2-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri)
WEB_PACKAGES=(cmake make emscripten python3)
TEST_PACKAGES=("${DEMO_PACKAGES[@]}" "${WEB_PACKAGES[@]}" chromium libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
               xvfb xauth xdotool x11-apps x11-utils python3 valgrind desktop-file-utils dpkg-dev)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
}

jobs=$(nproc 2>/dev/null || echo 2)

# Debian's Emscripten: run with Debian's own python3 first on the PATH, with
# its node modules (acorn) where its tools look for them.
build_web() (
  export PATH="/usr/bin:$PATH" NODE_PATH=/usr/share/nodejs
  emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release \
    -DHILLCAR_BUILD_TESTS=OFF -DHILLCAR_BUILD_APP=OFF
  cmake --build build-web -j"$jobs"
)

case "${1:-}" in
  demo)
    install_missing "${DEMO_PACKAGES[@]}"
    cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DHILLCAR_BUILD_TESTS=OFF
    cmake --build build-demo -j"$jobs" --target hillcar
    exec ./build-demo/hillcar
    ;;
  test)
    install_missing "${TEST_PACKAGES[@]}"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j"$jobs"
    # The page, for the web tests of the suite (label web).
    build_web
    # Every run goes ahead when one before it failed; the status says if any did.
    failed=()
    ctest --test-dir build --output-on-failure -j"$jobs" || failed+=("test suite")
    # The Debian package: built, checked, installed (as root) and started.
    packaging/check-package.sh build || failed+=("package")
    # Sanitized suite with the soak, a bounded fuzzing run, valgrind.
    tests/reliability/run-all.sh || failed+=("reliability")
    if [ ${#failed[@]} -gt 0 ]; then
      echo "FAILED: ${failed[*]}" >&2
      exit 1
    fi
    echo "all tests passed"
    ;;
  web)
    install_missing "${WEB_PACKAGES[@]}"
    build_web
    echo "The page is in build-web/page: ./dev.sh serve, then open http://127.0.0.1:8000/"
    ;;
  serve)
    [ -f build-web/page/hillcar.js ] || { echo "no page yet: ./dev.sh web" >&2; exit 1; }
    echo "Serving build-web/page on http://127.0.0.1:${2:-8000}/ (Ctrl+C ends)"
    exec /usr/bin/python3 -m http.server --bind 127.0.0.1 --directory build-web/page "${2:-8000}"
    ;;
  *)
    echo "usage: $0 demo|test|web|serve [PORT]" >&2
    exit 2
    ;;
esac
