#!/usr/bin/env bash
# The board's cores are MIPS32, many of them release 1 (4Kc) and many without
# a floating-point unit, under kernels that may leave the FPU emulator out:
# one floating-point or release 2 instruction anywhere in a program or in a
# library it loads is a SIGILL waiting for the path that reaches it. Every
# instruction of each program, its loader and the shared libraries it needs
# (found in the target's root, recursively) is disassembled and checked.
# Usage: board_instructions.sh LOADS READELF OBJDUMP ROOT PROGRAM...
#        (LOADS: board/loads.sh; TOOLS_LIBC: the root's C library)
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
loads=$1
readelf=$2
objdump=$3
root=$4
shift 4

# Decoded as release 2 so that its additions get their names.
isa=mips:isa32r2
# Release 2 additions that a release 1 core does not have. (ehb and pause
# are no-ops there.)
r2='rotrv?|seb|seh|wsbh|ext|ins|di|ei|rdhwr|synci|rdpgpr|wrpgpr|jalr\.hb|jr\.hb'
# The floating-point unit: its loads, stores and moves, its branches, the
# moves on its condition codes, and every arithmetic or conversion format.
fpu='[ls][wdu]x?c1|[ms][ft]h?c1|[cm][ft]c1|bc1[a-z]*|movf|movt'
fpu+='|[a-z0-9.]+\.(s|d|w|l|ps)|c\.[a-z]+\.(s|d|ps)'
# The one release 2 instruction a musl root may hold: musl reads the thread
# pointer with rdhwr $3, $29 (the user-local register into $3). A release 1
# core traps it as reserved and the kernel emulates it, with a fast path for
# exactly this form. Only that form is allowed, so that any other rdhwr and
# every other release 2 instruction still fail the check.
emulated=
# shellcheck disable=SC2016 # the registers as objdump prints them, not expansions
[ "${TOOLS_LIBC:-}" = musl ] && emulated='rdhwr $3,$29'

# The files to check: each program and what it loads from the root
# (board/loads.sh), each file once however many names it has there.
declare -A seen
for program in "$@"; do seen[$(realpath "$program")]=1; done
if ! loaded=$(bash "$loads" "$readelf" "$root" "$@" 2>"$CLI_TMP/missing"); then
  cli_fail "what the programs load" "$(cat "$CLI_TMP/missing")"
fi
for path in $loaded; do seen[$(realpath "$root/$path")]=1; done

for file in "${!seen[@]}"; do
  name=${file#"$root"/}
  # One instruction a line, "MNEMONIC OPERANDS" with the registers as
  # numbers; a file that cannot be disassembled fails.
  if ! listing=$("$objdump" -d -m "$isa" -M gpr-names=numeric \
    --no-show-raw-insn "$file" |
    awk -F'\t' '/^ *[0-9a-f]+:\t/ { split($2, word, " "); print word[1], $3 }'); then
    cli_fail "$name" "$objdump could not disassemble it"
    continue
  fi
  if [ -z "$listing" ]; then
    cli_fail "$name" "no instructions found"
    continue
  fi
  found=$(grep -Ex "($r2)( .*)?" <<<"$listing" | grep -vxF "${emulated:-none}" |
    cut -d ' ' -f 1 | sort | uniq -c | tr -s ' \n' ' ')
  if [ -z "$found" ]; then cli_pass "$name: release 1 only"; else
    cli_fail "$name: release 1 only" "release 2 instructions:$found${emulated:+(besides $emulated)}"; fi
  found=$(grep -Ex "($fpu)( .*)?" <<<"$listing" | cut -d ' ' -f 1 | sort | uniq -c |
    tr -s ' \n' ' ')
  if [ -z "$found" ]; then cli_pass "$name: no FPU"; else
    cli_fail "$name: no FPU" "floating-point instructions:$found"; fi
done

cli_finish
