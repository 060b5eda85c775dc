#!/usr/bin/env bash
# The reliability runs, after the ordinary test suite:
#   1. the whole suite, the 200,000-frame soak included, built with
#      AddressSanitizer and UndefinedBehaviorSanitizer in build-asan;
#   2. a bounded libFuzzer run over the replay reader (fuzz/run-fuzz.sh, build-fuzz);
#   3. the real program under valgrind on Xvfb, from the ordinary build.
# Each runs even when one before it failed; the exit status is non-zero when
# any did. About 15 minutes on two cores.
#
# Settings (environment):
#   HILLCAR_BUILD_DIR        the ordinary build to take the program from (build)
#   HILLCAR_FUZZ_SECONDS     length of the fuzzing run (120)
#   HILLCAR_VALGRIND_FRAMES  frames of the program under valgrind (300)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
plain=${HILLCAR_BUILD_DIR:-build}
fuzz_seconds=${HILLCAR_FUZZ_SECONDS:-120}
vg_frames=${HILLCAR_VALGRIND_FRAMES:-300}

passed=0
failed=0
failures=()
step() {
  local name=$1
  shift
  local start=$SECONDS
  echo "=== $name"
  if "$@"; then
    passed=$((passed + 1))
    echo "=== $name: passed in $((SECONDS - start)) s"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "=== $name: FAILED after $((SECONDS - start)) s"
  fi
}

# Any sanitizer report ends the process that made it (the build has
# -fno-sanitize-recover=all), and so fails its test.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

sanitized() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHILLCAR_SANITIZE=ON >/dev/null &&
    cmake --build build-asan -j"$jobs" >build-asan/build.log 2>&1 ||
    { tail -n 40 build-asan/build.log; return 1; }
  # The page is the same WebAssembly in every engine: Chromium's cases run the
  # sanitized native tools beside it, the other engines' would add nothing.
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -E '^web\.(firefox|webkit)\.'
}

valgrind_program() {
  if [ ! -f "$plain/CMakeCache.txt" ]; then
    cmake -S . -B "$plain" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || return 1
  fi
  cmake --build "$plain" -j"$jobs" --target hillcar hillcar-swap-counter >/dev/null || return 1
  local counter
  counter=$(find "$plain/tests/reliability" -maxdepth 1 -name 'libhillcar-swap-counter*.so' | head -n 1)
  [ -n "$counter" ] || { echo "no swap counter in $plain"; return 1; }
  # ASAN_OPTIONS means nothing to an unsanitized program; valgrind is the check.
  python3 tests/reliability/valgrind_program.py --hillcar "$plain/hillcar" \
    --swap-counter "$counter" --frames "$vg_frames" --timeout 1500
}

step "sanitized suite and soak" sanitized
step "fuzzing ${fuzz_seconds} s" fuzz/run-fuzz.sh "$fuzz_seconds"
step "program under valgrind" valgrind_program

echo "reliability runs took $SECONDS s"
[ "$failed" -eq 0 ] || echo "failed: ${failures[*]}"
echo "reliability: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
