#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Out of memory: obscure is run with each of its own allocations failing in
# turn (tests/scrambler/oom_alloc.cpp, preloaded). Every run must print
# nothing, exit with 1 and leave none of its allocations unfreed.
# Usage: bash obscure_oom.sh PATH-TO-OBSCURE system|sanitizer
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
obscure=$1
# A sanitizer or a checker such as valgrind puts its own allocator in front
# of the preloaded one.
if [ "$2" != system ] || [ -n "${TOOLS_CHECKER:-}" ]; then
  echo "skipped: the allocator belongs to ${TOOLS_CHECKER:-the $2 runtime}"
  exit 77
fi
report=$CLI_TMP/report

# allocations: the count in the last report, or nothing without a report.
allocations() { [ -s "$report" ] && read -ra words <"$report" && echo "${words[1]}"; }
leaks() { [ -s "$report" ] && read -ra words <"$report" && [ "${words[3]}" = 0 ]; }

# oom_case NAME STATUS ARGS...: runs obscure with ARGS, first with no
# allocation failing (status STATUS, nothing left unfreed), then with each of
# its allocations failing in turn.
oom_case() {
  local name=$1 status=$2 total at
  shift 2
  rm -f "$report"
  CLI_ENV=("OOM_REPORT=$report")
  cli_run "$obscure" "$@"
  total=$(allocations)
  cli_check "status $status without failure: $name" [ "$CLI_STATUS" = "$status" ]
  # A run that takes no allocation of its own would make this test vacuous.
  cli_check "allocations counted: $name" [ "${total:-0}" -ge 1 ]
  cli_check "no leak without failure: $name" leaks
  for ((at = 1; at <= ${total:-0}; at++)); do
    rm -f "$report"
    CLI_ENV=("OOM_REPORT=$report" "OOM_FAIL_AT=$at")
    cli_run "$obscure" "$@"
    cli_expect "allocation $at fails: $name" 1 ""
    cli_check "no leak when allocation $at fails: $name" leaks
  done
}

oom_case "abc" 0 abc
oom_case "decode abc" 0 -d ZjRjMDEyP2MpWg==
oom_case "a long text" 0 "$(printf 'long%.0s' {1..300})"
oom_case "the empty text" 0 ""
oom_case "a too-short envelope" 1 -d ZDQx
oom_case "check abc" 0 -c ZjRjMDEyP2MpWg==
oom_case "check a damaged envelope" 1 -c ZjRjMDEyP2MqWg==

# -i reads into a buffer that grows: the longer text takes it past its
# first size, so that growing it fails too.
printf 'abc\n' >"$CLI_TMP/abc"
printf 'long%.0s' {1..2000} >"$CLI_TMP/long"
printf 'ZjRjMDEyP2MpWg==\n' >"$CLI_TMP/envelope"
CLI_STDIN=$CLI_TMP/abc oom_case "abc from standard input" 0 -i
# Empty input has no final newline to remove: the byte before the buffer,
# a newline under this allocator, is none of the input's.
oom_case "the empty text from standard input" 0 -i
CLI_STDIN=$CLI_TMP/long oom_case "a long text from standard input" 0 -i
CLI_STDIN=$CLI_TMP/envelope oom_case "check abc from standard input" 0 -c -i

cli_finish
