#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Programs built as a firmware's compiler wrapper builds them by default:
# position-independent with an interpreter, their relocations read-only
# after start-up with every symbol bound then (full RELRO), a stack that
# does not execute and, where the root's C library has the stack
# protector, protected code.
#
# Usage: firmware_hardening.sh ROOT COMMANDS TOP PROGRAM...   (ROOT: the
#        board's root the programs were built against; COMMANDS: the
#        build's compile_commands.json; TOP: the checkout)
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
# shellcheck source=../support/board_hardening.sh
source "$TOOLS_SUPPORT/board_hardening.sh"
root=$1
commands=$2
top=$3
shift 3

# The root has the stack protector when its C library defines the guard:
# uClibc-ng in its loader, musl in its libc.
protector=0
for lib in "$root"/lib/ld-* "$root"/lib/libc.so.* "$root"/usr/lib/libc.so; do
  [ -f "$lib" ] || continue
  [ "$(board_hardening_guard mips-linux-gnu-readelf "$lib")" = defined ] && protector=1
done

# The wrapper adds the protector ahead of each command: no source of the
# programs may turn it off, for itself or a function of it.
if [ "$protector" = 1 ]; then
  board_hardening_sources "$commands" wrapped "$top/flagtool" "$top/scrambler"
fi

# The wrapper gives every compile the same flags: each program is the
# other's witness of the protector, for one that needs no canary.
for program in "$@"; do
  witness=""
  for other in "$@"; do [ "$other" = "$program" ] || witness=$other; done
  board_hardening_check mips-linux-gnu-readelf "$program" "${program##*/}" program
  if [ "$protector" = 1 ]; then
    board_hardening_protector mips-linux-gnu-readelf "$program" "${program##*/}" program "$witness"
  fi
done
cli_finish
