#!/usr/bin/env bash
# Times `tessaly -l` against `unzip -l` and `7zz l` on one ZIP with many members and prints
# the ratios (ours / theirs; below 0.5 is the goal). Output goes to /dev/null for all three.
#
#   bench/list_ratio.sh [TESSALY] [ZIP] [RUNS]
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tessaly=${1:-$repo/build/linux/ui/console/tessaly}
zip=${2:-/tmp/many_members.zip}
runs=${3:-10}
[ -f "$zip" ] || python3 "$repo/bench/make_many_members_zip.py" "$zip" 50000 >/dev/null

# Best of `runs` wall times in milliseconds.
best_ms() {
  local best=999999999 t0 t1 ms
  for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    t1=$(date +%s%N)
    ms=$(( (t1 - t0) / 1000000 ))
    [ "$ms" -lt "$best" ] && best=$ms
  done
  echo "$best"
}

ours=$(best_ms "$tessaly" -l "$zip")
echo "tessaly -l: ${ours} ms"
for peer in "unzip -l" "7zz l"; do
  tool=${peer%% *}
  if ! command -v "$tool" >/dev/null; then
    echo "$peer: not installed"
    continue
  fi
  theirs=$(best_ms $peer "$zip")
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  echo "$peer: ${theirs} ms   ratio ${ratio}"
done
