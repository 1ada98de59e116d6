# Out of memory: obscure is run with each of its own allocations failing in
# turn (tests/scrambler/oom_alloc.cpp, preloaded). Every run must print
# nothing, exit with 1 and leave none of its allocations unfreed.
# Usage: bash obscure_oom.sh PATH-TO-OBSCURE system|sanitizer
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
allocations() { [ -s "$report" ] && set -- $(cat "$report") && echo "$2"; }
leaks() { [ -s "$report" ] && set -- $(cat "$report") && [ "$4" = 0 ]; }

for args in "abc" "-d ZjRjMDEyP2MpWg==" "$(printf 'long%.0s' {1..300})"; do
  rm -f "$report"
  CLI_ENV=("OOM_REPORT=$report")
  # shellcheck disable=SC2086
  cli_run "$obscure" $args
  total=$(allocations)
  # A run that takes no allocation of its own would make this test vacuous.
  cli_check "allocations counted: ${args:0:20}" [ "${total:-0}" -ge 1 ]
  cli_check "no leak without failure: ${args:0:20}" leaks
  for ((at = 1; at <= ${total:-0}; at++)); do
    rm -f "$report"
    CLI_ENV=("OOM_REPORT=$report" "OOM_FAIL_AT=$at")
    # shellcheck disable=SC2086
    cli_run "$obscure" $args
    cli_expect "allocation $at fails: ${args:0:20}" 1 ""
    cli_check "no leak when allocation $at fails: ${args:0:20}" leaks
  done
done

cli_finish
