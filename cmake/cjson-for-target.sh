#!/usr/bin/env bash
# Builds cJSON for another machine from Debian's source package, which is the
# only place the archive offers it for a board it has no packages for.
#
# Usage: cmake/cjson-for-target.sh DEPS-DIR TOOLCHAIN-FILE static|shared
#
# The sources are fetched into DEPS-DIR once (the version is whatever Debian
# serves now: old revisions leave the archive, so none is pinned); the
# library is built in DEPS-DIR/cjson-build and installed under DEPS-DIR/root,
# a root path for CMAKE_FIND_ROOT_PATH (its package files hold absolute
# paths, so it is installed where it stays). Needs dpkg-dev for apt-get source.
set -euo pipefail

deps=$1
toolchain=$(realpath "$2")
case $3 in
  static) shared=OFF ;;
  shared) shared=ON ;;
  *) echo "usage: $0 DEPS-DIR TOOLCHAIN-FILE static|shared" >&2; exit 2 ;;
esac
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$deps"
deps=$(cd "$deps" && pwd)
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi

# has_source_index: true when apt knows at least one deb-src entry.
has_source_index() {
  apt-get indextargets --format '$(IDENTIFIER)' 2>/dev/null | grep -qx Sources
}

# add_source_entries: mirrors the system's deb entries as deb-src entries in
# a file of their own, in the format the system uses.
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

if ! ls "$deps"/cjson-[0-9]*/cJSON.h >/dev/null 2>&1; then
  if ! has_source_index; then
    add_source_entries
    $sudo apt-get update -qq
  elif ! apt-cache showsrc cjson >/dev/null 2>&1; then
    $sudo apt-get update -qq
  fi
  (cd "$deps" && apt-get source -qq cjson >/dev/null)
fi
src=$(ls -d "$deps"/cjson-[0-9]*/ | head -n 1)
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
echo "cJSON for the target ($3): Debian source package cjson $version" >&2

# The library's own flag set is off: it adds a stack protector, whose
# support the board's C library may not have.
cmake -S "$src" -B "$deps/cjson-build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$deps/root" -DBUILD_SHARED_LIBS=$shared \
  -DENABLE_CJSON_TEST=OFF -DENABLE_CJSON_UTILS=OFF \
  -DENABLE_CUSTOM_COMPILER_FLAGS=OFF -Wno-dev -Wno-deprecated >/dev/null
cmake --build "$deps/cjson-build" -j "$jobs" >/dev/null
cmake --install "$deps/cjson-build" >/dev/null
