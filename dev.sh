#!/usr/bin/env bash
# Developer entry point on Debian:
#   ./dev.sh demo   install what is missing, build, start hillcar
#   ./dev.sh test   install what is missing, build, run every test (Linux and,
#                   under Wine, Windows)
#   ./dev.sh windows  install what is missing, cross-build hillcar.exe,
#                   hillcar-replay.exe and hillcar-<version>-win64.zip
set -euo pipefail
cd "$(dirname "$0")"

DEMO_PACKAGES=(g++ cmake make pkg-config libsdl2-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri)
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64 python3)
TEST_PACKAGES=("${DEMO_PACKAGES[@]}" libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
               xvfb xauth xdotool x11-apps x11-utils python3 valgrind desktop-file-utils dpkg-dev
               "${WINDOWS_PACKAGES[@]}" googletest wine wine64)
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
    # Every run goes ahead when one before it failed; the status says if any did.
    failed=()
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
    (cd build-windows && cpack -G ZIP)
    ls -l build-windows/hillcar.exe build-windows/hillcar-replay.exe build-windows/hillcar-*-win64.zip
    ;;
  *)
    echo "usage: $0 demo|test|windows" >&2
    exit 2
    ;;
esac
