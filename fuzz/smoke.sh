#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every fuzz target for a bounded time with the sanitizers on, starting
# from its committed seeds, and prints how many inputs each one ran.
# Usage: bash fuzz/smoke.sh BUILD-DIR [SECONDS-PER-TARGET]
# A finding fails the script; its input is kept in BUILD-DIR/fuzz/findings/
# (add it to fuzz/corpus/NAME/ with the fix, so the seed replay keeps it).
# Inputs found on the way stay in BUILD-DIR/fuzz/corpus/NAME/, and a later
# run starts from them.
set -u
build=$1
seconds=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
json_suite=$here/../../shared/corpus/json-test-suite/test_parsing

# Each target with its own libFuzzer options. The round trips take inputs
# long enough for the codec's paths for long texts.
targets=(
  "fuzz_set_request -dict=$here/json.dict"
  "fuzz_flag_listing -max_len=172"
  "fuzz_base64_decode -dict=$here/base64.dict"
  "fuzz_base64_roundtrip -max_len=8192"
  "fuzz_base64_masked -max_len=8192"
  "fuzz_envelope_roundtrip -max_len=8192"
  "fuzz_envelope_decode -dict=$here/base64.dict"
  "fuzz_envelope_check -dict=$here/base64.dict"
  "fuzz_md5_pieces"
  "fuzz_xor_mask"
)

failed=0
mkdir -p "$build/fuzz/findings"
for line in "${targets[@]}"; do
  read -r target options <<<"$line"
  work=$build/fuzz/corpus/$target
  log=$build/fuzz/$target.log
  seeds=("$work" "$here/corpus/$target")
  # The public JSON parsing corpus is read in place, when it is there.
  if [ "$target" = fuzz_set_request ] && [ -d "$json_suite" ]; then
    seeds+=("$json_suite")
  fi
  mkdir -p "$work"
  # shellcheck disable=SC2086
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz/findings/$target-" \
    $options "${seeds[@]}" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$status" -ne 0 ]; then
    failed=1
    printf '%-24s FAILED (status %d); the log is %s\n' "$target" "$status" "$log"
    grep -E -A25 '^==[0-9]+==ERROR|property broken|runtime error' "$log" | head -40
  else
    printf '%-24s %10s executions in %s s\n' "$target" "${runs:-?}" "$seconds"
  fi
done
exit "$failed"
