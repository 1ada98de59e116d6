#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every instruction of each program, its loader and the shared libraries it
# needs (found in the target's root, recursively) is disassembled and
# checked against the board's instruction set (tests/support/board_isa.sh):
# release 1 only, and no floating-point instruction.
# Usage: board_instructions.sh LOADS READELF OBJDUMP ROOT PROGRAM...
#        (LOADS: board/loads.sh; TOOLS_LIBC: the root's C library)
# shellcheck source-path=SCRIPTDIR
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
# shellcheck source=../support/board_isa.sh
source "$TOOLS_SUPPORT/board_isa.sh"
loads=$1
readelf=$2
objdump=$3
root=$4
shift 4

# The files to check: each program and what it loads from the root
# (board/loads.sh), each file once however many names it has there.
declare -A seen
for program in "$@"; do seen[$(realpath "$program")]=1; done
if ! loaded=$(bash "$loads" "$readelf" "$root" "$@" 2>"$CLI_TMP/missing"); then
  cli_fail "what the programs load" "$(cat "$CLI_TMP/missing")"
fi
for path in $loaded; do seen[$(realpath "$root/$path")]=1; done

for file in "${!seen[@]}"; do
  board_isa_check "$objdump" "$file" "${file#"$root"/}"
done

cli_finish
