#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The MIPS guest's image, checked on the host before it boots: every ELF
# file in it (busybox, the checker, the installed programs, the loader and
# libraries they load, the module) must be 32-bit big-endian MIPS code the
# board's cores run (tests/support/board_isa.sh: release 1 only, no
# floating-point instruction) and carry nothing of glibc: not its start files (their ABI
# note), not its loader as interpreter, not its symbol versions. What the
# board ships, the programs in usr/ and what they load in lib/ and usr/lib/,
# must be hardened as the board build makes it
# (tests/support/board_hardening.sh); the guest's own helpers in bin/
# (busybox, the checker), static programs, and the module are not shipped.
#
# Usage: bash tests/kernel/mips_image.sh TREE
# Prints one "FAIL NAME: WHY" line per failed case, then "P passed, F
# failed", and exits with 1 when a case failed. board/guest/mips.sh puts
# this report into the image, and the guest's /init adds it to its tally.
# shellcheck source-path=SCRIPTDIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../support/cli.sh
source "$here/../support/cli.sh"
# shellcheck source=../support/board_isa.sh
source "$here/../support/board_isa.sh"
# shellcheck source=../support/board_hardening.sh
source "$here/../support/board_hardening.sh"

tree=$1
readelf=mips-linux-gnu-readelf
objdump=mips-linux-gnu-objdump
# uClibc-ng's loader, under either of its names (programs name .so.0, its
# C library .so.1).
loader='/lib/ld-uClibc.so.[01]'

# machine FILE: the class, byte order and machine of FILE's ELF header.
machine() {
  "$readelf" -h "$1" | sed -n 's/^ *\(Class\|Data\|Machine\): *//p' | tr '\n' ' '
}
board_machine="ELF32 2's complement, big endian MIPS R3000 "

# glibc_signs FILE: prints what in FILE comes from glibc, nothing if none.
glibc_signs() {
  local interp versions
  if "$readelf" -S -W "$1" | grep -q ' \.note\.ABI-tag '; then
    echo "glibc's start files (.note.ABI-tag)"
  fi
  interp=$("$readelf" -l "$1" | sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
  # shellcheck disable=SC2053 # $loader is a pattern
  if [ -n "$interp" ] && [[ $interp != $loader ]]; then
    echo "interpreter $interp, not $loader"
  fi
  versions=$("$readelf" -V -W "$1" | grep -o 'GLIBC_[0-9A-Z_.]*' | sort -u | tr '\n' ' ')
  if [ -n "$versions" ]; then
    echo "glibc's symbol versions: $versions"
  fi
}

elf_files=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  elf_files=$((elf_files + 1))
  name=${file#"$tree"/}
  found=$(machine "$file")
  if [ "$found" = "$board_machine" ]; then cli_pass "$name: 32-bit big-endian MIPS"; else
    cli_fail "$name: 32-bit big-endian MIPS" "$found"; fi
  board_isa_check "$objdump" "$file" "$name"
  signs=$(glibc_signs "$file" | sed ':a;N;s/\n/; /;ba')
  if [ -z "$signs" ]; then cli_pass "$name: no glibc"; else
    cli_fail "$name: no glibc" "$signs"; fi
  case $name in
  usr/bin/* | usr/sbin/*)
    # The board's programs are built alike: any other is the witness of
    # the protector for one that needs no canary.
    witness=$(find "$tree/usr/bin" "$tree/usr/sbin" -type f ! -path "$file" 2>/dev/null |
      LC_ALL=C sort | head -n 1)
    board_hardening_check "$readelf" "$file" "$name" program
    board_hardening_protector "$readelf" "$file" "$name" program "$witness"
    ;;
  lib/modules/*) ;;
  lib/* | usr/*)
    board_hardening_check "$readelf" "$file" "$name" library
    board_hardening_protector "$readelf" "$file" "$name" library
    ;;
  esac
done < <(find "$tree" -type f -print0 | LC_ALL=C sort -z)
if [ "$elf_files" -gt 0 ]; then cli_pass "ELF files found"; else
  cli_fail "ELF files found" "none in $tree"; fi

cli_finish
