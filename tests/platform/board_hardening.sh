#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board build as it ships, hardened (tests/support/board_hardening.sh):
# each program PIE, and each program and everything it loads from the
# target's root (its loader, the C library, cJSON: board/loads.sh) with
# full RELRO, no executable stack and the stack protector.
# And every source of the programs compiled with the protector
# (board_hardening_sources), which a program needing no canary cannot show.
# Usage: board_hardening.sh LOADS READELF ROOT COMMANDS TOP PROGRAM...
#        (COMMANDS: the build's compile_commands.json; TOP: the checkout)
# shellcheck source-path=SCRIPTDIR
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
# shellcheck source=../support/board_hardening.sh
source "$TOOLS_SUPPORT/board_hardening.sh"
loads=$1
readelf=$2
root=$3
commands=$4
top=$5
shift 5
board_hardening_sources "$commands" given "$top/flagtool" "$top/scrambler"

# Built with the same flags: each is the other's witness of the protector.
for program in "$@"; do
  witness=""
  for other in "$@"; do [ "$other" = "$program" ] || witness=$other; done
  board_hardening_check "$readelf" "$program" "${program##*/}" program
  board_hardening_protector "$readelf" "$program" "${program##*/}" program "$witness"
done
# What they load, each file once however many names it has in the root.
if ! loaded=$(bash "$loads" "$readelf" "$root" "$@" 2>"$CLI_TMP/missing"); then
  cli_fail "what the programs load" "$(cat "$CLI_TMP/missing")"
fi
declare -A seen
for path in $loaded; do seen[$(realpath "$root/$path")]=1; done
for file in "${!seen[@]}"; do
  board_hardening_check "$readelf" "$file" "${file#"$root"/}" library
  board_hardening_protector "$readelf" "$file" "${file#"$root"/}" library
done

cli_finish
