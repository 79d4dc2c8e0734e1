#!/usr/bin/env bash
# Builds the libraries the Windows (mingw-w64) builds need and Debian has no
# mingw package for: bzip2, from Debian's own source package.
#
# Output, outside git (third_party/ is ignored):
#   third_party/bzip2/<arch>/include/bzlib.h
#   third_party/bzip2/<arch>/lib/libbz2.a        static library
#   third_party/bzip2/<arch>/lib/libbz2.dll.a    import library of the DLL
#   third_party/bzip2/<arch>/bin/libbz2.dll      the DLL the program loads by name
# for <arch> in x86_64 and i686. The mingw presets find it through the cache
# variable TESSALY_BZIP2_ROOT (default: third_party/bzip2/<arch>).
#
# Needs `deb-src` entries (scripts/setup-deps.sh adds them) and the -posix
# mingw-w64 compilers. Takes a few seconds; a second run with the outputs
# present does nothing. Set TESSALY_DEPS_DIR to put the cache elsewhere.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps=${TESSALY_DEPS_DIR:-$repo/third_party}
root=$deps/bzip2
srcroot=$root/src
objs=(blocksort huffman crctable randtable compress decompress bzlib)

source_dir() {
  find "$srcroot" -mindepth 1 -maxdepth 1 -type d -name 'bzip2-*' 2>/dev/null | sort | tail -n 1
}

if [ -z "$(source_dir)" ]; then
  mkdir -p "$srcroot"
  echo "build-mingw-deps: fetching Debian's bzip2 source"
  if ! (cd "$srcroot" && apt-get source bzip2 >apt-source.log 2>&1); then
    cat "$srcroot/apt-source.log" >&2
    echo "build-mingw-deps: 'apt-get source bzip2' failed; run scripts/setup-deps.sh first (it enables deb-src)" >&2
    exit 1
  fi
fi
src=$(source_dir)
[ -f "$src/bzlib.c" ] || { echo "build-mingw-deps: no bzip2 sources in $srcroot" >&2; exit 1; }

build_arch() {
  local arch=$1 triple=$2
  local out=$root/$arch cc=$2-gcc-posix ar=$2-ar ranlib=$2-ranlib
  if [ -f "$out/lib/libbz2.a" ] && [ -f "$out/bin/libbz2.dll" ] && [ -f "$out/include/bzlib.h" ]; then
    echo "build-mingw-deps: bzip2 for $arch is ready ($out)"
    return
  fi
  command -v "$cc" >/dev/null || { echo "build-mingw-deps: $cc not found (scripts/setup-deps.sh installs it)" >&2; exit 1; }
  local work=$root/obj-$arch
  rm -rf "$work" "$out"
  mkdir -p "$work" "$out/include" "$out/lib" "$out/bin"
  local o
  for o in "${objs[@]}"; do
    "$cc" -O2 -Wall -D_FILE_OFFSET_BITS=64 -c "$src/$o.c" -o "$work/$o.o"
  done
  local objfiles=("${objs[@]/%/.o}")
  objfiles=("${objfiles[@]/#/$work/}")
  "$ar" rc "$out/lib/libbz2.a" "${objfiles[@]}"
  "$ranlib" "$out/lib/libbz2.a"
  # The DLL keeps the name the program asks for. On x86_64 the library's own .def
  # names the exports; on i686 bzlib.h declares the functions WINAPI (stdcall,
  # decorated names), so export everything and add undecorated aliases instead.
  if [ "$arch" = x86_64 ]; then
    "$cc" -shared -static-libgcc -o "$out/bin/libbz2.dll" "${objfiles[@]}" "$src/libbz2.def" \
      -Wl,--out-implib,"$out/lib/libbz2.dll.a"
  else
    "$cc" -shared -static-libgcc -o "$out/bin/libbz2.dll" "${objfiles[@]}" \
      -Wl,--add-stdcall-alias -Wl,--out-implib,"$out/lib/libbz2.dll.a"
  fi
  cp "$src/bzlib.h" "$out/include/"
  cp "$src/LICENSE" "$out/LICENSE.bzip2"
  rm -rf "$work"
  echo "build-mingw-deps: built bzip2 for $arch in $out"
}

build_arch x86_64 x86_64-w64-mingw32
build_arch i686 i686-w64-mingw32
