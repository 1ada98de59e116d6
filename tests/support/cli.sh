#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Shared helpers for the command-line tests: run a real program, compare its
# standard output byte for byte and its exit status, and keep the tally.
#
# Environment:
#   TOOLS_EMULATOR  command prefix that runs a program built for another
#                   machine (empty on the host)
#   TOOLS_PRELOAD   a shared library to preload into the program under test
#   TOOLS_BYTE_ORDER  BIG_ENDIAN or LITTLE_ENDIAN: the byte order of the
#                   machine the programs are built for, as the build
#                   detected it (empty when unknown)
#   TOOLS_LIBC      the board's C library the programs are built against,
#                   uclibc or musl (board/toolchain.cmake's BOARD_LIBC;
#                   empty on the host)
#   TOOLS_CHECKER   command prefix that runs the program under a checker on
#                   the host, such as valgrind (empty normally); it comes
#                   from the caller's environment, through ctest
#
# Sourced by bash scripts; each calls cli_finish at the end.

# Byte semantics for lengths, and the C locale's messages.
export LC_ALL=C
cli_passed=0
cli_failed=0
CLI_TMP=$(mktemp -d "${TMPDIR:-/tmp}/cli.XXXXXX")
trap 'rm -rf "$CLI_TMP"' EXIT
CLI_OUT=$CLI_TMP/stdout
CLI_STATUS=0

# cli_run PROGRAM ARGS...: runs PROGRAM with no standard input (or the file
# CLI_STDIN names), its standard output in $CLI_OUT (or the file CLI_STDOUT
# names) and its exit status in $CLI_STATUS. Variables named in
# the array CLI_ENV ("NAME=value" words) are given to the program only.
# CLI_CLOSE=0 or CLI_CLOSE=2 starts it with standard input or standard error
# closed, as a daemon or an init script may: its first open then gets that
# descriptor. A checker reports on standard error and will not start
# without it, so under one standard error stays open.
CLI_ENV=()
cli_run() {
  local env=("${CLI_ENV[@]}") in=0 err=2
  case ${CLI_CLOSE:-} in
  0) in=- ;;
  2) [ -n "${TOOLS_CHECKER:-}" ] || err=- ;;
  esac
  if [ -n "${TOOLS_PRELOAD:-}" ]; then
    if [ -n "${TOOLS_EMULATOR:-}" ]; then
      # The emulator itself must not load a library built for the target.
      env+=("QEMU_SET_ENV=LD_PRELOAD=$TOOLS_PRELOAD")
    else
      env+=("LD_PRELOAD=$TOOLS_PRELOAD")
    fi
  fi
  # The last two redirections copy a descriptor onto itself, which changes
  # nothing, or with "-" close it.
  # shellcheck disable=SC2086
  env "${env[@]}" ${TOOLS_EMULATOR:-} ${TOOLS_CHECKER:-} "$@" <"${CLI_STDIN:-/dev/null}" >"${CLI_STDOUT:-$CLI_OUT}" 2>"$CLI_TMP/stderr" 0<&"$in" 2>&"$err"
  CLI_STATUS=$?
}

# cli_pass NAME / cli_fail NAME WHY: record one case.
cli_pass() { cli_passed=$((cli_passed + 1)); }
cli_fail() {
  cli_failed=$((cli_failed + 1))
  printf 'FAIL %s: %s\n' "$1" "$2"
}

# cli_expect NAME STATUS OUTPUT: after cli_run, compares the exit status and
# the whole standard output (OUTPUT exactly, trailing newlines included).
# Anything written to standard error is a failure too: the tools never use it.
cli_expect() {
  local name=$1 status=$2 output=$3
  if [ "$CLI_STATUS" != "$status" ]; then
    cli_fail "$name" "status $CLI_STATUS, expected $status; output: $(head -c 300 "$CLI_OUT")"
  elif ! printf '%s' "$output" | cmp -s - "$CLI_OUT"; then
    cli_fail "$name" "output differs:
$(printf '%s' "$output" | diff - "$CLI_OUT" | head -20)"
  elif [ -s "$CLI_TMP/stderr" ]; then
    cli_fail "$name" "wrote to standard error: $(head -c 300 "$CLI_TMP/stderr")"
  else
    cli_pass "$name"
  fi
}

# cli_check NAME CONDITION...: records a case that holds when the command
# CONDITION succeeds.
cli_check() {
  local name=$1
  shift
  if "$@"; then cli_pass "$name"; else cli_fail "$name" "$*"; fi
}

# cli_finish: prints the tally and exits with 1 if any case failed.
cli_finish() {
  printf '%d passed, %d failed\n' "$cli_passed" "$cli_failed"
  [ "$cli_failed" -eq 0 ]
}
