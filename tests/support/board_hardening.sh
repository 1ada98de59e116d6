#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's hardening, checked one ELF file at a time: what the board
# ships is built as board/board.env says, and a file built without one of
# those flags (a package's own link line, a part of the root built another
# way) shows here, whatever its build claimed. Shared by
# tests/platform/board_hardening.sh (the programs and what they load from
# the root), tests/platform/firmware_hardening.sh (the firmware-style
# builds) and tests/kernel/mips_image.sh (the MIPS guest's image).
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
#   no executable stack  a GNU_STACK header of RW, without E (MIPS gives
#                   a file with none an executable stack)
board_hardening_check() {
  local readelf=$1 file=$2 name=$3 kind=$4 headers dynamic flags
  if ! headers=$("$readelf" -h -l -W "$file" 2>&1) ||
    ! dynamic=$("$readelf" -d -W "$file" 2>&1); then
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
  RW) cli_pass "$name: no executable stack" ;;
  '') cli_fail "$name: no executable stack" "no GNU_STACK header: the stack is executable" ;;
  *) cli_fail "$name: no executable stack" "GNU_STACK flags $flags, not RW" ;;
  esac
}

# board_hardening_guard READELF FILE: "imported" or "defined" where FILE's
# dynamic symbols hold __stack_chk_guard, nothing where they do not.
board_hardening_guard() {
  "$1" --dyn-syms -W "$2" 2>/dev/null |
    awk '$8 ~ /^__stack_chk_guard(@|$)/ { print ($7 == "UND") ? "imported" : "defined" }'
}

# board_hardening_protector READELF FILE NAME KIND [WITNESS]: records
# "NAME: stack protector" for FILE, a program or a library (KIND): it
# imports __stack_chk_guard, so some function of it loads the guard to
# check its canary; a library may instead define the guard, which is then
# where the C library keeps it (uClibc-ng's loader, musl's library). A
# program may have no function that needs a canary (obscure keeps its work
# arrays in one heap block): it is then the same file with the protector or
# without, and passes when WITNESS, another program of the same build
# (built with the same flags), imports the guard.
board_hardening_protector() {
  local readelf=$1 file=$2 name=$3 kind=$4 witness=${5:-} guard
  guard=$(board_hardening_guard "$readelf" "$file")
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

# board_hardening_sources COMMANDS MODE DIR...: records, for each source
# below the checkout folders DIR (the programs' own: flagtool, scrambler)
# in the compile commands COMMANDS (CMake's compile_commands.json), that
# it was compiled with the stack protector and asks for no function to be
# left without it. A file whose functions need no canary (obscure's) shows
# nothing of the protector itself, so this is where switching it off for
# one file or function would show. MODE: "given", the build's own flags
# carry the protector, so the last protector option a command names must
# turn it on; "wrapped", a compiler wrapper adds it ahead of the command,
# so no option in the command may turn it off.
board_hardening_sources() {
  local commands=$1 mode=$2 dir source options last count=0
  shift 2
  if [ ! -f "$commands" ]; then
    cli_fail "compiled with the stack protector" "no $commands"
    return
  fi
  while IFS=$'\t' read -r source options; do
    for dir in "$@"; do
      case $source in "$dir"/*) ;; *) continue ;; esac
      count=$((count + 1))
      last=$(grep -oE -- '-f(no-)?stack-protector(-[a-z]+)?' <<<"$options" | tail -n 1)
      case $mode:$last in
      given:-fstack-protector-strong | given:-fstack-protector-all | wrapped:) ;;
      wrapped:-fstack-protector*) ;;
      *)
        cli_fail "${source##*/}: compiled with the stack protector" "last option: ${last:-none}"
        continue
        ;;
      esac
      if grep -qE 'no_stack_protector|no-stack-protector' "$source"; then
        cli_fail "${source##*/}: compiled with the stack protector" \
          "$(grep -nE 'no_stack_protector|no-stack-protector' "$source" | head -n 1)"
      else
        cli_pass "${source##*/}: compiled with the stack protector"
      fi
    done
  done < <(awk '/^ *"command": "/ { c = $0; sub(/^ *"command": "/, "", c) }
    /^ *"file": "/ { f = $0; sub(/^ *"file": "/, "", f); sub(/",?$/, "", f); print f "\t" c }' \
    "$commands")
  [ "$count" -gt 0 ] || cli_fail "compiled with the stack protector" \
    "no source below $* in $commands"
}
