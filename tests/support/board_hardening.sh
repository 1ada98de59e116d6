#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's hardening, checked one ELF file at a time: what the board
# ships is built as board/board.env says, and a file built without one of
# those flags (a package's own link line, a part of the root built another
# way) shows here, whatever its build claimed. Shared by
# tests/platform/board_hardening.sh (the programs and what they load from
# the root) and tests/kernel/mips_image.sh (the MIPS guest's image).
#
# Sourced by bash scripts after cli.sh, whose cli_pass and cli_fail record
# the cases.

# board_hardening_check READELF FILE NAME KIND: records the cases of FILE,
# a program or a library (KIND), as "NAME: ...":
#   PIE             (programs) a position-independent executable: ELF type
#                   DYN that names an interpreter, so the kernel can load it
#                   anywhere
#   full RELRO      a GNU_RELRO segment, and every symbol bound at start-up
#                   (BIND_NOW in DT_FLAGS, or NOW in DT_FLAGS_1), so the
#                   whole GOT is read-only afterwards
#   no executable stack  a GNU_STACK header without E (MIPS gives a file
#                   with none an executable stack)
#   stack protector  it imports __stack_chk_guard: some function of it
#                   loads the guard to check its canary. A library may
#                   instead define the guard, which is then where the C
#                   library keeps it (uClibc-ng's loader, musl's library).
#                   A program may have no function that needs a canary
#                   (obscure keeps its work arrays in one heap block): it is
#                   then the same file with the protector or without, and
#                   passes when WITNESS, another program of the same build
#                   (built with the same flags), imports the guard.
# board_hardening_guard READELF FILE: "imported", "defined" or nothing.
board_hardening_guard() {
  "$1" --dyn-syms -W "$2" 2>/dev/null |
    awk '$8 ~ /^__stack_chk_guard(@|$)/ { print ($7 == "UND") ? "imported" : "defined" }'
}
board_hardening_check() {
  local readelf=$1 file=$2 name=$3 kind=$4 witness=${5:-} headers dynamic guard flags
  if ! headers=$("$readelf" -h -l -W "$file" 2>&1) ||
    ! dynamic=$("$readelf" -d -W "$file" 2>&1) ||
    ! guard=$("$readelf" --dyn-syms -W "$file" 2>&1 |
      awk '$8 ~ /^__stack_chk_guard(@|$)/ { print ($7 == "UND") ? "imported" : "defined" }'); then
    cli_fail "$name: hardening" "$readelf could not read it"
    return
  fi

  if [ "$kind" = program ]; then
    if grep -qE '^ *Type: +DYN ' <<<"$headers" &&
      grep -q 'Requesting program interpreter' <<<"$headers"; then
      cli_pass "$name: PIE"
    else
      cli_fail "$name: PIE" "$(sed -n 's/^ *Type: *//p' <<<"$headers"), \
$(grep -c 'Requesting program interpreter' <<<"$headers") interpreter"
    fi
  fi

  if ! grep -qE '^ *GNU_RELRO ' <<<"$headers"; then
    cli_fail "$name: full RELRO" "no GNU_RELRO segment"
  elif ! grep -qE '\(FLAGS\) .*\bBIND_NOW\b|\(FLAGS_1\) .*\bNOW\b' <<<"$dynamic"; then
    cli_fail "$name: full RELRO" "symbols bound lazily (no BIND_NOW, no NOW)"
  else
    cli_pass "$name: full RELRO"
  fi

  # The flags are the fields between the sizes and the alignment: "RW" or
  # "RWE", or split ("R E") where one is missing.
  flags=$(awk '$1 == "GNU_STACK" { f = ""; for (i = 7; i < NF; i++) f = f $i; print f }' \
    <<<"$headers")
  case $flags in
  '') cli_fail "$name: no executable stack" "no GNU_STACK header: the stack is executable" ;;
  *E*) cli_fail "$name: no executable stack" "GNU_STACK flags $flags" ;;
  *) cli_pass "$name: no executable stack" ;;
  esac

  case $kind:$guard in
  *:imported | library:defined) cli_pass "$name: stack protector" ;;
  program:)
    if [ -n "$witness" ] && [ "$(board_hardening_guard "$readelf" "$witness")" = imported ]; then
      cli_pass "$name: stack protector (no function needs a canary; ${witness##*/} has them)"
    else
      cli_fail "$name: stack protector" \
        "no reference to __stack_chk_guard, in it or in a program built alike"
    fi
    ;;
  *) cli_fail "$name: stack protector" \
    "${guard:-no reference to} __stack_chk_guard: compiled without the stack protector" ;;
  esac
}
