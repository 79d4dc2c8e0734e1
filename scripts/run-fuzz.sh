#!/usr/bin/env bash
# Builds every fuzz/*_fuzz.cpp with clang-14 (libFuzzer, ASan, UBSan) and runs each
# for a bounded time, seeded with the shared fixtures.
#
#   scripts/run-fuzz.sh [TOTAL_SECONDS]      default 60, split evenly, at least 5 s each
#
# Build folder: build/fuzz (TESSALY_BUILD_ROOT moves build/). Crashes land in
# build/fuzz/artifacts/; new inputs in build/fuzz/corpus/<target>/. Seeds: see below.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
total=${1:-60}
out=${TESSALY_BUILD_ROOT:-$repo/build}/fuzz
fixtures=${TESSALY_SHARED_DIR:-$repo/../shared}/fixtures

shopt -s nullglob
targets=()
for src in "$repo"/fuzz/*_fuzz.cpp; do
  name=$(basename "$src" .cpp)
  targets+=("$name")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "run-fuzz: no fuzz targets (fuzz/*_fuzz.cpp), nothing to do"
  exit 0
fi

mkdir -p "$out"
CC=clang-14 CXX=clang++-14 cmake -S "$repo" -B "$out" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_FUZZ=ON >"$out/configure.log" 2>&1 \
  || { cat "$out/configure.log" >&2; exit 1; }
t0=$(date +%s)
ninja -C "$out" -j"$(nproc)" "${targets[@]}"
echo "run-fuzz: built ${#targets[@]} targets in $(( $(date +%s) - t0 ))s"

per=$(( total / ${#targets[@]} ))
[ $per -ge 5 ] || per=5
mkdir -p "$out/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
failed=0
for name in "${targets[@]}"; do
  corpus=$out/corpus/$name
  mkdir -p "$corpus"
  # Seeds: fuzz/seeds/<target>/ when the target brings its own (raw coder streams,
  # say), else the fixtures of the format it is named after (un_lha_fuzz -> lha/), else
  # all fixtures. The first folder is writable and collects new inputs.
  seeds=$repo/fuzz/seeds/$name
  if [ ! -d "$seeds" ]; then
    format=${name%_fuzz}
    format=${format#un_}
    format=${format%%_*}
    seeds=$(find "$fixtures" -mindepth 1 -maxdepth 1 -type d -name "$format*" 2>/dev/null | sort | head -n 1)
  fi
  [ -n "$seeds" ] || seeds=$fixtures
  [ -d "$seeds" ] || seeds=
  log=$out/$name.log
  echo "run-fuzz: $name for ${per}s (seeds: ${seeds:-none})"
  if "$out/fuzz/$name" -max_total_time="$per" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$out/artifacts/$name-" \
       "$corpus" ${seeds:+"$seeds"} >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/  /" || true
  else
    echo "run-fuzz: $name FAILED (log $log):" >&2
    tail -n 40 "$log" >&2
    failed=1
  fi
done
exit $failed
