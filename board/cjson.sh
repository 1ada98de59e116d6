#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds cJSON for the board from Debian's source package, which is the only
# place the archive offers it for a board it has no packages for, and
# installs it as a shared library as a firmware build does.
#
# Usage: board/cjson.sh SRC-DIR DESTDIR CMAKE-ARGS...
#
# The sources are those board/build.sh brought up to date in SRC-DIR
# (board/debian-source.sh), whose version its record names; the library is
# built in SRC-DIR/cjson-build with the given CMake arguments
# (the board's toolchain file and its settings) and installed with prefix
# /usr into DESTDIR, so that its package files name /usr as they would on
# the board.
set -euo pipefail

src=$1
destdir=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

tree=$(bash "$here/debian-source.sh" cjson "$src" --present)
version=$(dpkg-parsechangelog -l "$tree/debian/changelog" -S Version)
echo "cJSON for the board: Debian source package cjson $version" >&2

# The library's own flag set is off: its warnings and its stack protector
# are the build's choice, and the board's hardening comes with the
# settings (board.cmake's flags: the protector, full RELRO).
rm -rf "$src/cjson-build"
cmake -S "$tree" -B "$src/cjson-build" "$@" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=ON \
  -DENABLE_CJSON_TEST=OFF -DENABLE_CJSON_UTILS=OFF \
  -DENABLE_CUSTOM_COMPILER_FLAGS=OFF -Wno-dev -Wno-deprecated >/dev/null
cmake --build "$src/cjson-build" -j "$jobs" >/dev/null
DESTDIR=$destdir cmake --install "$src/cjson-build" >/dev/null
