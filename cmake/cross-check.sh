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
# from Debian's source package under BUILD-DIR/deps/root, a root path the
# toolchain file searches (cmake/cjson-for-target.sh).
# GoogleTest is compiled from /usr/src/googletest by the project itself.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-mips}
toolchain=$(realpath "${2:-cmake/toolchains/mips-linux-gnu.cmake}")
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$build/deps"
deps=$(cd "$build/deps" && pwd)

bash cmake/cjson-for-target.sh "$deps" "$toolchain" static

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_FIND_ROOT_PATH="$deps/root" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs"
cd "$build" && ctest --output-on-failure -j "$jobs"
