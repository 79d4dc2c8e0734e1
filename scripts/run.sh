#!/usr/bin/env bash
# Installs what Tessaly needs (Debian 12, as root), builds the Linux console front end
# and lists an archive with it.
#
#   scripts/run.sh [ARCHIVE]      default: tests/fixtures/sample/sample.zip
#
# Set TESSALY_SKIP_SETUP=1 to skip the package installation on a machine that has it.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
archive=${1:-$repo/tests/fixtures/sample/sample.zip}
[ -e "$archive" ] || { echo "run: no such archive: $archive" >&2; exit 2; }
archive=$(cd "$(dirname "$archive")" && pwd)/$(basename "$archive")

if [ "${TESSALY_SKIP_SETUP:-0}" != 1 ]; then
  bash "$repo/scripts/setup-deps.sh"
fi
cd "$repo"
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
