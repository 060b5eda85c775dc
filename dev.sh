#!/usr/bin/env bash
# Developer entry point on Debian:
#   ./dev.sh demo   install what is missing, build, start hillcar
#   ./dev.sh test   install what is missing, build, run every test (Linux and,
#                   under Wine, Windows)
#   ./dev.sh windows  install what is missing, cross-build hillcar.exe,
#                   hillcar-replay.exe, hillcar-<version>-win64.zip and the
#                   installer hillcar-<version>-win64-setup.exe
#   ./dev.sh web    install what is missing, build the page into build-web/page
#   ./dev.sh serve  serve that page on http://127.0.0.1:8000/ (or the port given)
set -euo pipefail
cd "$(dirname "$0")"

DEMO_PACKAGES=(g++ cmake make pkg-config libsdl2-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri)
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64 python3 nsis)
WEB_PACKAGES=(cmake make emscripten python3)
TEST_PACKAGES=("${DEMO_PACKAGES[@]}" libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
               xvfb xauth xdotool x11-apps x11-utils python3 valgrind desktop-file-utils dpkg-dev
               lintian appstream shared-mime-info man-db libegl-dev zlib1g-dev ffmpeg
               "${WINDOWS_PACKAGES[@]}" googletest wine wine64 "${WEB_PACKAGES[@]}" chromium
               firefox-esr webkit2gtk-driver)
WINDOWS_TOOLCHAIN=cmake/mingw-w64-x86_64.cmake

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
    # The README runs hillcar-replay on a recording right after.
    cmake --build build-demo -j"$jobs" --target hillcar hillcar-replay
    exec ./build-demo/hillcar
    ;;
  test)
    install_missing "${TEST_PACKAGES[@]}"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j"$jobs"
    # Every run goes ahead when one before it failed; the status says if any did.
    failed=()
    # The page, for the web tests of the suite (label web).
    build_web || failed+=("web build")
    ctest --test-dir build --output-on-failure -j"$jobs" || failed+=("test suite")
    # The Windows build, its suite under Wine and its traces against this build's.
    if cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" \
         -DCMAKE_BUILD_TYPE=Release -DHILLCAR_HOST_BUILD="$PWD/build" &&
       cmake --build build-win -j"$jobs"; then
      ctest --test-dir build-win --output-on-failure -j"$jobs" || failed+=("windows")
    else
      failed+=("windows build")
    fi
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
  windows)
    install_missing "${WINDOWS_PACKAGES[@]}"
    cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" \
      -DCMAKE_BUILD_TYPE=Release -DHILLCAR_BUILD_TESTS=OFF
    cmake --build build-windows -j"$jobs"
    (cd build-windows && cpack -G "ZIP;NSIS")
    ls -l build-windows/hillcar.exe build-windows/hillcar-replay.exe build-windows/hillcar-*-win64.zip \
      build-windows/hillcar-*-win64-setup.exe
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
    echo "usage: $0 demo|test|windows|web|serve [PORT]" >&2
    exit 2
    ;;
esac
