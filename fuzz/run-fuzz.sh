#!/usr/bin/env bash
# Fuzzes the replay script reader and the frames it drives for a bounded time.
#
#   fuzz/run-fuzz.sh [SECONDS]      (default 90)
#
# Builds hillcar-fuzz-replay with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, replays every saved regression
# input, then fuzzes from the seed corpus. Exit status 0 when nothing was
# found; otherwise the failing input is left in build-fuzz/artifacts/ (add it
# to fuzz/regressions/ once the fault is fixed).
set -euo pipefail
seconds=${1:-90}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${HILLCAR_FUZZ_BUILD:-$root/build-fuzz}
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2

if ! command -v clang++ >/dev/null; then
  echo "run-fuzz.sh: clang++ is needed (apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHILLCAR_SANITIZE=ON -DHILLCAR_FUZZ=ON -DHILLCAR_BUILD_APP=OFF -DHILLCAR_BUILD_TESTS=OFF \
  -DHILLCAR_BUILD_BENCH=OFF >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" -j"$jobs" --target hillcar-fuzz-replay
fuzzer=$build/fuzz/hillcar-fuzz-replay

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Every input that once found a fault, and the seeds, run once each first.
shopt -s nullglob
saved=("$root"/fuzz/regressions/* "$root"/fuzz/corpus/*)
"$fuzzer" "${saved[@]}" >"$build/replay-saved.log" 2>&1 ||
  { tail -n 60 "$build/replay-saved.log" >&2; echo "run-fuzz.sh: a saved input fails" >&2; exit 1; }

# The working corpus grows in the build tree; new finds are not committed
# automatically.
mkdir -p "$build/corpus" "$build/artifacts"
log=$build/fuzz.log
status=0
"$fuzzer" "$build/corpus" "$root/fuzz/corpus" -fork="$jobs" \
  -dict="$root/fuzz/replay.dict" -max_total_time="$seconds" -timeout=30 -max_len=4096 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 >"$log" 2>&1 || status=$?
grep -E '^#[0-9]+' "$log" | tail -n 1 || true
if [ "$status" -ne 0 ]; then
  tail -n 80 "$log" >&2
  echo "run-fuzz.sh: the fuzzer found a fault (status $status); input in $build/artifacts/" >&2
  exit 1
fi
echo "run-fuzz.sh: ${seconds} s of fuzzing, nothing found"
