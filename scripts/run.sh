#!/usr/bin/env bash
# Installs what Tessaly needs (Debian 12, as root), builds the Linux console front end
# and lists an archive with it; with --gui, builds Tessaly.exe and shows the archive in
# the real window under wine (on the current X display; without one, on Xvfb, saving a
# screenshot to build/tessaly-gui.png).
#
#   scripts/run.sh [--gui] [ARCHIVE]      default: tests/fixtures/sample/sample.zip
#
# Set TESSALY_SKIP_SETUP=1 to skip the package installation on a machine that has it.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
gui=0
if [ "${1:-}" = --gui ]; then gui=1; shift; fi
archive=${1:-$repo/tests/fixtures/sample/sample.zip}
[ -e "$archive" ] || { echo "run: no such archive: $archive" >&2; exit 2; }
archive=$(cd "$(dirname "$archive")" && pwd)/$(basename "$archive")

if [ "${TESSALY_SKIP_SETUP:-0}" != 1 ]; then
  bash "$repo/scripts/setup-deps.sh"
fi
cd "$repo"
if [ $gui = 1 ]; then
  bash "$repo/scripts/build-mingw-deps.sh"
  cmake --preset mingw64 >/dev/null
  cmake --build --preset mingw64 --target Tessaly -j"$(nproc)"
  exe=$repo/build/mingw64/ui/win32/Tessaly.exe
  if [ -n "${DISPLAY:-}" ]; then
    export WINEPREFIX=${TESSALY_WINEPREFIX:-$repo/build/wineprefix-gui} WINEDEBUG=-all
    exec wine "$exe" "$(winepath -w "$archive")"
  fi
  echo "run: no X display: showing the window on Xvfb and saving a screenshot"
  TESSALY_EXE=$exe "$repo/tools/screenshot" "$archive" "$repo/build/tessaly-gui.png"
  echo "run: screenshot in $repo/build/tessaly-gui.png"
  exit 0
fi
cmake --preset linux >/dev/null
cmake --build --preset linux --target tessaly -j"$(nproc)"

exe=$repo/build/linux/ui/console/tessaly
echo
echo "\$ tessaly -l $archive"
if ! "$exe" -l "$archive"; then
  # Listing may not be in this build yet: say at least what kind of archive it is.
  echo "run: listing failed; archive type instead:" >&2
  echo "\$ tessaly -type $archive"
  "$exe" -type "$archive"
fi
