#!/usr/bin/env bash
# Builds both programs and the whole test suite for the board (32-bit
# big-endian MIPS) and runs every test under user-mode emulation.
#
# Usage: cmake/cross-check.sh [BUILD-DIR [TOOLCHAIN-FILE]]
#        (defaults: build-mips, cmake/toolchains/mips-linux-gnu.cmake;
#        relative paths are taken from the top of the checkout)
#
# `make cross-check` installs the Debian packages first. This script adds
# what no package provides for the target: cJSON, built as a static library
# from Debian's source package into BUILD-DIR/deps and installed under
# BUILD-DIR/deps/root (its package files hold absolute paths, so it is
# installed where it stays), a root path the toolchain file searches.
# GoogleTest is compiled from /usr/src/googletest by the project itself.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-mips}
toolchain=$(realpath "${2:-cmake/toolchains/mips-linux-gnu.cmake}")
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$build/deps"
deps=$(cd "$build/deps" && pwd)

if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi

# has_source_index: true when apt knows at least one deb-src entry.
has_source_index() {
  apt-get indextargets --format '$(IDENTIFIER)' 2>/dev/null | grep -qx Sources
}

# add_source_entries: mirrors the system's deb entries as deb-src entries in
# a file of their own, in the format the system uses, and refreshes the
# lists. Leaves everything alone when a deb-src entry exists already.
add_source_entries() {
  local dir=/etc/apt/sources.list.d
  if [ -f $dir/debian.sources ]; then
    # deb822 (Debian 12): same stanzas, source type.
    sed 's/^Types:.*/Types: deb-src/' $dir/debian.sources |
      $sudo tee $dir/tools-deb-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list |
      $sudo tee $dir/tools-deb-src.list >/dev/null
  fi
}

# cJSON's sources, fetched once per build folder. The version is whatever
# Debian serves now: old revisions leave the archive, so none is pinned.
if ! ls "$deps"/cjson-*/cJSON.h >/dev/null 2>&1; then
  if ! has_source_index; then
    add_source_entries
    $sudo apt-get update -qq
  elif ! apt-cache showsrc cjson >/dev/null 2>&1; then
    $sudo apt-get update -qq
  fi
  (cd "$deps" && apt-get source -qq cjson >/dev/null)
fi
cjson_src=$(ls -d "$deps"/cjson-*/ | head -n 1)
cjson_version=$(dpkg-parsechangelog -l "$cjson_src/debian/changelog" -S Version)
echo "cJSON for the target: Debian source package cjson $cjson_version"

# Static, with the library's own flag set off: it adds a stack protector,
# whose support the board's C library may not have.
cmake -S "$cjson_src" -B "$deps/cjson-build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$deps/root" -DBUILD_SHARED_LIBS=OFF \
  -DENABLE_CJSON_TEST=OFF -DENABLE_CJSON_UTILS=OFF \
  -DENABLE_CUSTOM_COMPILER_FLAGS=OFF -Wno-dev -Wno-deprecated >/dev/null
cmake --build "$deps/cjson-build" -j "$jobs" >/dev/null
cmake --install "$deps/cjson-build" >/dev/null

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_FIND_ROOT_PATH="$deps/root" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs"
cd "$build" && ctest --output-on-failure -j "$jobs"
