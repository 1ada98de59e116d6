#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's instruction set, checked one ELF file at a time: its cores are
# MIPS32, many of them release 1 (4Kc) and many without a floating-point
# unit, under kernels that may leave the FPU emulator out, so one
# floating-point or release 2 instruction anywhere is a SIGILL waiting for
# the path that reaches it. Shared by tests/platform/board_instructions.sh
# (the programs and what they load) and tests/kernel/mips_image.sh (every
# ELF file of the MIPS guest's image).
#
# Sourced by bash scripts after cli.sh, whose cli_pass and cli_fail record
# the cases.

# Decoded as release 2 so that its additions get their names.
board_isa=mips:isa32r2
# Release 2 additions that a release 1 core does not have. (ehb and pause
# are no-ops there.)
board_isa_r2='rotrv?|seb|seh|wsbh|ext|ins|di|ei|rdhwr|synci|rdpgpr|wrpgpr|jalr\.hb|jr\.hb'
# The floating-point unit: its loads, stores and moves, its branches, the
# moves on its condition codes, and every arithmetic or conversion format.
board_isa_fpu='[ls][wdu]x?c1|[ms][ft]h?c1|[cm][ft]c1|bc1[a-z]*|movf|movt'
board_isa_fpu+='|[a-z0-9.]+\.(s|d|w|l|ps)|c\.[a-z]+\.(s|d|ps)'

# The one release 2 instruction a musl root may hold: musl reads the thread
# pointer with rdhwr $3, $29 (the user-local register into $3). A release 1
# core traps it as reserved and the kernel emulates it, with a fast path for
# exactly this form. Only that form is allowed, and only where TOOLS_LIBC
# says the root is musl's, so that any other rdhwr and every other release 2
# instruction still fail the check.
board_isa_emulated=
# shellcheck disable=SC2016 # the registers as objdump prints them, not expansions
[ "${TOOLS_LIBC:-}" = musl ] && board_isa_emulated='rdhwr $3,$29'

# board_isa_check OBJDUMP FILE NAME: disassembles every instruction of FILE
# and records two cases, "NAME: release 1 only" and "NAME: no FPU"; a file
# that cannot be disassembled, or holds no instruction, fails as NAME.
board_isa_check() {
  local objdump=$1 file=$2 name=$3 listing found
  # One instruction a line, "MNEMONIC OPERANDS" with the registers as
  # numbers.
  if ! listing=$("$objdump" -d -m "$board_isa" -M gpr-names=numeric \
    --no-show-raw-insn "$file" |
    awk -F'\t' '/^ *[0-9a-f]+:\t/ { split($2, word, " "); print word[1], $3 }'); then
    cli_fail "$name" "$objdump could not disassemble it"
    return
  fi
  if [ -z "$listing" ]; then
    cli_fail "$name" "no instructions found"
    return
  fi
  found=$(grep -Ex "($board_isa_r2)( .*)?" <<<"$listing" |
    grep -vxF "${board_isa_emulated:-none}" | cut -d ' ' -f 1 | sort | uniq -c |
    tr -s ' \n' ' ')
  if [ -z "$found" ]; then cli_pass "$name: release 1 only"; else
    cli_fail "$name: release 1 only" \
      "release 2 instructions:$found${board_isa_emulated:+(besides $board_isa_emulated)}"
  fi
  found=$(grep -Ex "($board_isa_fpu)( .*)?" <<<"$listing" | cut -d ' ' -f 1 |
    sort | uniq -c | tr -s ' \n' ' ')
  if [ -z "$found" ]; then cli_pass "$name: no FPU"; else
    cli_fail "$name: no FPU" "floating-point instructions:$found"; fi
}
