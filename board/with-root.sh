#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command that reads the board's root (the tests under qemu, a guest
# image, the benchmarks) while holding the root's lock, after bringing the
# root and the programs up to date (board/build.sh), so that no build
# changes the root under it.
#
# Usage: board/with-root.sh [--libc=LIBC] BUILD-DIR COMMAND...
#        (BUILD-DIR: build-mips, or another board build's folder; LIBC: its
#        C library, uclibc or musl, as board/build.sh takes it: without it,
#        the one the folder was first built with, uclibc for a new folder;
#        the command runs in the checkout)
#
# The command inherits BOARD_LOCKED naming BUILD-DIR (board/lock.sh): a
# build of BUILD-DIR it starts does not wait for this one, a build of any
# other folder takes that folder's lock.
set -euo pipefail
cd "$(dirname "$0")/.."
. board/lock.sh

libc=()
case $1 in
--libc=*)
  libc=("${1#--libc=}")
  shift
  ;;
esac
build=$1
shift
mkdir -p "$build"
board_lock "$build" "board/with-root.sh $build $*"
bash board/build.sh "$build" "${libc[@]}"
"$@"
