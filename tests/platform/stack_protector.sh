#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The root's stack protector at work: a program built with it against the
# root (tests/support/stack_overrun.c) runs to its end while it writes
# within its stack array, and the C library stops it when it overruns the
# array, before the function returns. Each C library stops it its own way,
# which is what is expected of it; a crash anywhere else (the overrun's own
# return address) is not the protector.
# Usage: stack_protector.sh PROGRAM   (TOOLS_LIBC: the root's C library)
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
program=$1

for length in 0 16; do
  cli_run "$program" "$length"
  cli_expect "within the array, $length bytes" 0 "wrote $length bytes
"
done

# How the C library ends a program whose canary changed: the exit status
# (128 + the signal) and a line it leaves on standard error.
case ${TOOLS_LIBC:-} in
# A message naming the program, then SIGKILL.
uclibc) status=137 line='^\*\*\* stack smashing detected \*\*\*: .*stack_overrun terminated$' ;;
# A store to address 0: SIGSEGV there, which the program reports.
musl) status=139 line='^fault at 0x00000000$' ;;
*) status='' ;;
esac
cli_run "$program" 64
if [ -z "$status" ]; then
  cli_fail "overrun stopped" "no expectation for the C library '${TOOLS_LIBC:-}'"
elif [ "$CLI_STATUS" != "$status" ] || [ -s "$CLI_OUT" ] ||
  ! grep -qE "$line" "$CLI_TMP/stderr"; then
  cli_fail "overrun stopped" "status $CLI_STATUS (expected $status); output: \
$(head -c 200 "$CLI_OUT"); standard error: $(head -c 300 "$CLI_TMP/stderr")"
else
  cli_pass "overrun stopped"
fi

cli_finish
