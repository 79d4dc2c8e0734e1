#!/usr/bin/env bash
# Runs the tests of a mingw64 build folder under wine, the way that does not hang:
# a private wine prefix inside the build folder, no display (wine's null graphics
# driver), crash dialogs off, a persistent wineserver, and wine's own helper
# processes started with /dev/null streams before ctest (if a test started them
# they would hold ctest's output pipe open and ctest would never end).
#
#   scripts/wine-ctest.sh BUILD_DIR [extra ctest arguments]
#
# The prefix (about 700 MB) is deleted at the end unless TESSALY_KEEP_WINEPREFIX=1.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [ctest args...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export XDG_DATA_HOME=$build/xdg
unset DISPLAY WAYLAND_DISPLAY

stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}
cleanup() {
  stop_wine
  if [ "${TESSALY_KEEP_WINEPREFIX:-0}" != 1 ]; then
    rm -rf "$WINEPREFIX" "$XDG_DATA_HOME"
  fi
}
trap cleanup EXIT

stop_wine
rm -rf "$WINEPREFIX" "$XDG_DATA_HOME"
mkdir -p "$WINEPREFIX" "$XDG_DATA_HOME"
log=$build/wine-setup.log
: >"$log"
wine_quiet() { "$@" </dev/null >>"$log" 2>&1; }

if ! wine_quiet wineboot --init; then
  cat "$log" >&2
  echo "wine-ctest: wineboot --init failed" >&2
  exit 1
fi
wine_quiet wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
wine_quiet wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
stop_wine
wineserver -p
wine cmd /c exit 0 </dev/null >/dev/null 2>&1
wine notepad.exe </dev/null >/dev/null 2>&1 &

ctest --test-dir "$build" --output-on-failure --timeout 120 -j"$(nproc)" "$@"
