#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Another board's path, taken as a firmware engineer takes it: a compiler
# that honours --sysroot (here Debian's clang, --target=mips-linux-gnu, with
# its own linker), pointed through board/toolchain.cmake at a staging
# folder (CMAKE_SYSROOT) with no specs file. The staging folder is the board
# build's root, which holds the compiler's run-time files where such a
# compiler looks for them (usr/lib/gcc/mips-linux-gnu/VERSION). Builds both
# programs and the command-line tests; the unit tests are left out, as the
# root's C++ library is built for gcc's own search paths.
#
# Usage: board/other-board.sh BOARD-BUILD BUILD-DIR   (BOARD-BUILD: the
#        board build whose root is used, build-mips; run it through
#        board/with-root.sh, which brings the root up to date and holds its
#        lock; run alone, it takes the lock itself)
#
# The folder is configured afresh when the root or the toolchain file
# changed.
set -euo pipefail
cd "$(dirname "$0")/.."
. board/lock.sh
board_lock "$1" "board/other-board.sh $*"

root=$(cd "$1/root" && pwd)
build=$2
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$build"

# The root has no shared libgcc (libgcc_s), so libgcc is linked statically;
# the programs name uClibc-ng's loader (BOARD_LIBC), which clang does not
# know. Linked keeping every library given, as in board/build.sh.
settings=(-DCMAKE_TOOLCHAIN_FILE="$PWD/board/toolchain.cmake"
  -DBOARD_ROOT="$root" -DBOARD_CC=clang-14 -DBOARD_CXX=clang++-14
  -DBOARD_TARGET=mips-linux-gnu -DBOARD_LIBC=uclibc
  -DBOARD_LINK_FLAGS="-fuse-ld=lld -static-libgcc" -DTOOLS_UNIT_TESTS=OFF
  -DCMAKE_BUILD_TYPE=Release -DTOOLS_WERROR=ON
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-as-needed")
configured="$(printf '%s\n' "${settings[@]}")
$(cat "$1/root.inputs")
$(sha256sum board/toolchain.cmake board/board.env)"
if [ "$(cat "$build/configured.inputs" 2>/dev/null)" != "$configured" ]; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles" "$build/configured.inputs"
  cmake -S . -B "$build" "${settings[@]}" >/dev/null
  printf '%s\n' "$configured" >"$build/configured.inputs"
fi
cmake --build "$build" -j "$jobs"
