#!/usr/bin/env bash
# Everything CI does, on a fresh Debian 12 machine as root: installs the packages,
# builds bzip2 for the mingw targets, then builds the four presets and runs every
# test (scripts/run-tests.sh; its environment variables apply).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
t0=$(date +%s)
bash "$repo/scripts/setup-deps.sh"
t1=$(date +%s)
bash "$repo/scripts/build-mingw-deps.sh"
t2=$(date +%s)
echo "test: setup-deps $((t1 - t0))s, build-mingw-deps $((t2 - t1))s"
exec bash "$repo/scripts/run-tests.sh"
