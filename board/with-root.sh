#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command that reads the board's root (the tests under qemu, a guest
# image, the benchmarks) while holding the root's lock, after bringing the
# root and the programs up to date (board/build.sh), so that no build
# changes the root under it.
#
# Usage: board/with-root.sh [--libc=LIBC] BUILD-DIR COMMAND...
#        (BUILD-DIR: build-mips, or another board build's folder; LIBC: its
#        C library, uclibc (the default) or musl, as board/build.sh takes
#        it; the command runs in the checkout)
set -euo pipefail
cd "$(dirname "$0")/.."

libc=uclibc
case $1 in
--libc=*)
  libc=${1#--libc=}
  shift
  ;;
esac
build=$1
shift
mkdir -p "$build"
exec 9>"$(cd "$build" && pwd).lock"
flock 9
export BOARD_LOCKED=1
bash board/build.sh "$build" "$libc"
"$@"
