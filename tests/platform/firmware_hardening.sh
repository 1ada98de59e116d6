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
# uClibc-ng in its loader, musl in its libc. grep reads the whole list: nm,
# cut short, would fail the pipeline.
protector=0
for lib in "$root"/lib/ld-* "$root"/lib/libc.so.* "$root"/usr/lib/libc.so; do
  [ -f "$lib" ] || continue
  if mips-linux-gnu-nm -D --defined-only "$lib" 2>/dev/null |
    grep ' __stack_chk_guard$' >/dev/null; then
    protector=1
  fi
done

# protected PROGRAM: it calls the protector's failure handler.
protected() {
  mips-linux-gnu-nm -D --undefined-only "$1" | grep ' __stack_chk_fail$' >/dev/null
}

# The wrapper adds the protector ahead of each command: no source of the
# programs may turn it off, for itself or a function of it.
if [ "$protector" = 1 ]; then
  board_hardening_sources "$commands" wrapped "$top/flagtool" "$top/scrambler"
fi

for program in "$@"; do
  why=()
  headers=$(mips-linux-gnu-readelf -W -h -l "$program")
  dynamic=$(mips-linux-gnu-readelf -W -d "$program")
  grep -q '^ *Type: *DYN ' <<<"$headers" || why+=("not position-independent")
  grep -q '^ *INTERP ' <<<"$headers" || why+=("no interpreter")
  grep -q '^ *GNU_RELRO ' <<<"$headers" || why+=("no GNU_RELRO")
  grep -Eq '\((FLAGS|FLAGS_1)\) .*\b(BIND_NOW|NOW)\b' <<<"$dynamic" ||
    why+=("not bound at start-up")
  # The segment's flags are its words other than numbers: R, W, E.
  stack=$(awk '$1 == "GNU_STACK" { for (i = 2; i <= NF; i++) if ($i !~ /^0x/) f = f $i; print f }' <<<"$headers")
  [ "$stack" = RW ] || why+=("stack ${stack:-not marked}")
  # A program with no function that needs a canary is the same file with
  # the protector or without: the wrapper gives every compile the same
  # flags, so another program of the build that has canaries stands
  # witness for it.
  if [ "$protector" = 1 ] && ! protected "$program"; then
    witnessed=0
    for other in "$@"; do
      [ "$other" != "$program" ] && protected "$other" && witnessed=1
    done
    [ "$witnessed" = 1 ] || why+=("no stack protector")
  fi
  if [ ${#why[@]} = 0 ]; then
    cli_pass "${program##*/} hardened"
  else
    cli_fail "${program##*/} hardened" "$(IFS=,; echo "${why[*]}")"
  fi
done
cli_finish
