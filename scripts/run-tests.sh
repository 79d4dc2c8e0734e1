#!/usr/bin/env bash
# Builds all four presets and runs every test:
#   linux       gcc Release: build (with benchmarks), ctest
#   linux-asan  gcc ASan+UBSan: build, ctest
#   mingw64     Windows x86_64: build, ctest under wine (scripts/wine-ctest.sh)
#   mingw32     Windows i686: build and link only (32-bit programs cannot run here)
#   fuzz        clang libFuzzer targets, a bounded run each (scripts/run-fuzz.sh)
# Every stage runs even when an earlier one failed; the exit status is non-zero if
# any failed. Needs the packages of scripts/setup-deps.sh; the mingw bzip2 is built
# on demand (scripts/build-mingw-deps.sh).
#
# Environment: TESSALY_BUILD_ROOT (default build/), TESSALY_FUZZ_SECONDS (default 60,
# 0 skips fuzzing), TESSALY_STAGES (default "linux linux-asan mingw64 mingw32 fuzz").
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
root=${TESSALY_BUILD_ROOT:-$repo/build}
jobs=$(nproc)
fuzz_seconds=${TESSALY_FUZZ_SECONDS:-60}
wanted=" ${TESSALY_STAGES:-linux linux-asan mingw64 mingw32 fuzz} "
mkdir -p "$root"

summary=()
failed_stages=0
tests_run=0
tests_failed=0
t_all=$(date +%s)

# stage NAME COMMAND...: runs one stage, times it, records the verdict.
stage() {
  local name=$1; shift
  local t0; t0=$(date +%s)
  echo
  echo "=== $name ($(date -u +%H:%M:%S))"
  local verdict=ok
  "$@" || verdict=FAILED
  local dt=$(( $(date +%s) - t0 ))
  [ $verdict = ok ] || failed_stages=$((failed_stages + 1))
  summary+=("$(printf '%-22s %6ss  %s' "$name" "$dt" "$verdict")")
  echo "=== $name: $verdict in ${dt}s"
  [ $verdict = ok ]
}

build_preset() {
  local preset=$1
  cmake --preset "$preset" -B "$root/$preset" >"$root/$preset.configure.log" 2>&1 \
    || { cat "$root/$preset.configure.log"; return 1; }
  grep -A4 'CMake Warning' "$root/$preset.configure.log" || true
  # -k 0: on a failure build everything else anyway, so one run shows every error.
  cmake --build "$root/$preset" -j"$jobs" -- -k 0
}

# count_ctest LOG: adds ctest's "N% tests passed, F tests failed out of T" to the totals.
count_ctest() {
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  [ -n "$line" ] || return 0
  local f t
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  tests_run=$((tests_run + t))
  tests_failed=$((tests_failed + f))
}

native_tests() {
  local preset=$1 log=$root/$1.ctest.log rc
  ctest --test-dir "$root/$preset" --output-on-failure --timeout 300 -j"$jobs" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  count_ctest "$log"
  return "$rc"
}

asan_tests() {
  ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=1:check_initialization_order=1:strict_string_checks=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    native_tests linux-asan
}

wine_tests() {
  local log=$root/mingw64.ctest.log rc
  bash "$repo/scripts/wine-ctest.sh" "$root/mingw64" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  count_ctest "$log"
  return "$rc"
}

want() { [[ "$wanted" == *" $1 "* ]]; }

# A failed build still runs the tests that did build (those that did not are reported
# by ctest as not run); only a failed configure skips them.
configured() { [ -f "$root/$1/CTestTestfile.cmake" ]; }
if want linux; then
  stage "linux build" build_preset linux
  configured linux && stage "linux tests" native_tests linux
fi
if want linux-asan; then
  stage "linux-asan build" build_preset linux-asan
  configured linux-asan && stage "linux-asan tests" asan_tests
fi
if want mingw64; then
  stage "mingw64 build" build_preset mingw64
  configured mingw64 && stage "mingw64 tests (wine)" wine_tests
fi
if want mingw32; then
  stage "mingw32 build" build_preset mingw32
fi
if want fuzz && [ "$fuzz_seconds" -gt 0 ]; then
  stage "fuzz (${fuzz_seconds}s budget)" env TESSALY_BUILD_ROOT="$root" bash "$repo/scripts/run-fuzz.sh" "$fuzz_seconds"
fi

echo
echo "=== stage timings"
printf '%s\n' "${summary[@]}"
echo "total                  $(( $(date +%s) - t_all ))s"
if [ $failed_stages -gt 0 ]; then
  echo "run-tests: $failed_stages stage(s) FAILED"
else
  echo "run-tests: all stages passed"
fi
echo "ctest: $((tests_run - tests_failed)) passed, $tests_failed failed"
[ $failed_stages -eq 0 ]
