#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Judges the programs a firmware's package build made for the board
# (board/firmware-build.sh): compiled at the firmware's level, hardened as
# its compiler wrapper hardens by default, needing only the C library (with
# the loader, where the stack protector's guard lives there) and cJSON
# though linked keeping every library given, importing what the large-file
# interface names, only the programs installed, and the installed programs
# passing the command-line tables under qemu as a 4Kc.
#
# Usage: tests/platform/firmware_board.sh BOARD-BUILD BUILD-DIR LEVEL
#        (BOARD-BUILD: the board build whose root and stand-in driver are
#        used, build-mips or build-mips-musl; BUILD-DIR: board/firmware-build.sh's
#        folder; LEVEL: the optimisation it was given, -O2 or -Os)
# Without the build it fails under CI (CI=true), and is skipped elsewhere.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
board=$(cd "$1" && pwd)
build=$2
level=$3
if [ ! -d "$build/target" ]; then
  echo "firmware_board: no firmware build in $build"
  [ "${CI:-}" = true ] && exit 1
  echo "firmware_board: skipped"
  exit 0
fi
target=$(cd "$build/target" && pwd)
programs=("$target/usr/bin/obscure" "$target/usr/sbin/dorvane")
libc=$(sed -n 's/^set(BOARD_LIBC "\(.*\)" CACHE .*/\1/p' "$board/board.cmake")
export TOOLS_SUPPORT=$PWD/tests/support TOOLS_BYTE_ORDER=BIG_ENDIAN
export TOOLS_LIBC=$libc TOOLS_EMULATOR="qemu-mips -cpu 4Kc -L $board/root"
failed=0

# check NAME COMMAND...: one script of checks, its tally shown.
check() {
  local name=$1
  shift
  echo "firmware_board: $name"
  "$@" || failed=$((failed + 1))
}

check "flags and install" env TOOLS_EMULATOR= \
  bash tests/platform/firmware_build.sh check "$build/build" "$target" "$level"
check "hardening" bash tests/platform/firmware_hardening.sh "$board/root" \
  "$build/build/compile_commands.json" "$PWD" "${programs[@]}"
# The large-file interface is the firmware's (_FILE_OFFSET_BITS=64).
check "libraries and imports" env TOOLS_EMULATOR= TOOLS_FILE_OFFSET_BITS=64 \
  bash tests/platform/imported_symbols.sh mips-linux-gnu-nm mips-linux-gnu-objdump \
  "${programs[@]}"
check "obscure's table" bash tests/scrambler/obscure_cli.sh "${programs[0]}"
check "dorvane's table" env TOOLS_PRELOAD="$board/tests/libflagdrv_standin.so" \
  bash tests/flagtool/dorvane_cli.sh "${programs[1]}"

[ "$failed" = 0 ] && echo "firmware_board: passed" && exit 0
echo "firmware_board: $failed of 5 failed"
exit 1
