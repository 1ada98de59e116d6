#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Judges the programs a firmware's package build made for the board
# (board/firmware-build.sh): compiled at the firmware's -Os, needing only
# the C library and cJSON though linked keeping every library given, only
# the programs installed, and the installed programs passing the
# command-line tables under qemu as a 4Kc.
#
# Usage: tests/platform/firmware_board.sh BOARD-BUILD BUILD-DIR
#        (BOARD-BUILD: the board build whose root and stand-in driver are
#        used, build-mips; BUILD-DIR: board/firmware-build.sh's folder)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
board=$(cd "$1" && pwd)
build=$2
if [ ! -d "$build/target" ]; then
  echo "firmware_board: no firmware build in $build; skipped"
  exit 0
fi
target=$(cd "$build/target" && pwd)
export TOOLS_SUPPORT=$PWD/tests/support TOOLS_BYTE_ORDER=BIG_ENDIAN
export TOOLS_LIBC=uclibc TOOLS_EMULATOR="qemu-mips -cpu 4Kc -L $board/root"
failed=0

# check NAME COMMAND...: one script of checks, its tally shown.
check() {
  local name=$1
  shift
  echo "firmware_board: $name"
  "$@" || failed=$((failed + 1))
}

check "flags and install" env TOOLS_EMULATOR= \
  bash tests/platform/firmware_build.sh check "$build/build" "$target"
check "libraries and imports" env TOOLS_EMULATOR= \
  bash tests/platform/imported_symbols.sh mips-linux-gnu-nm mips-linux-gnu-objdump \
  "$target/usr/bin/obscure" "$target/usr/sbin/dorvane"
check "obscure's table" bash tests/scrambler/obscure_cli.sh "$target/usr/bin/obscure"
check "dorvane's table" env TOOLS_PRELOAD="$board/tests/libflagdrv_standin.so" \
  bash tests/flagtool/dorvane_cli.sh "$target/usr/sbin/dorvane"

[ "$failed" = 0 ] && echo "firmware_board: passed" && exit 0
echo "firmware_board: $failed of 4 failed"
exit 1
