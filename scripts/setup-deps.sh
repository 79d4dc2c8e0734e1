#!/usr/bin/env bash
# Installs everything Tessaly needs to build and test on Debian 12 (run as root).
# Safe to run again: apt skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
APT="apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends"

# Source entries are needed for `apt-get source bzip2` (the mingw builds use it).
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ 2>/dev/null && \
   ! grep -qs '^deb-src' /etc/apt/sources.list 2>/dev/null; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      > /etc/apt/sources.list.d/tessaly-src.sources
  fi
fi

apt-get -o DPkg::Lock::Timeout=300 update
$APT build-essential cmake ninja-build googletest pkg-config dpkg-dev \
  libbz2-dev zlib1g-dev libdeflate-dev libmspack-dev libarchive-dev \
  clang-14 libclang-rt-14-dev \
  wine wine64 fonts-wine g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
  libz-mingw-w64-dev xvfb imagemagick \
  lhasa arj nomarch unar cabextract gcab 7zip zip unzip gzip bzip2 ncompress \
  sharutils tar libarchive-tools jlha-utils hyperfine
