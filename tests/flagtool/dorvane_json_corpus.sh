#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every text of a public JSON parsing corpus as a set request: whatever the
# text, dorvane either refuses it without touching the driver (status 1) or
# sends one valid table (status 0), and always echoes the text first.
# Usage: dorvane_json_corpus.sh DORVANE CORPUS-DIR   (without the corpus the
#        test fails under CI, CI=true, and is skipped elsewhere)
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
dorvane=$1
corpus=$2/test_parsing
if [ ! -d "$corpus" ]; then
  echo "no corpus at $corpus"
  [ "${CI:-}" = true ] && exit 1
  echo "skipped"
  exit 77
fi

table=$CLI_TMP/table
log=$CLI_TMP/log
CLI_ENV=("FLAGDRV_TABLE=$table" "FLAGDRV_LOG=$log")
set_calls=$'open O_RDWR\nrequest 1\nclose'

# The table's count as a number, in either byte order (valid counts are
# below 256, so the order shows in which end byte is set).
table_count() {
  local b
  read -r -a b < <(od -An -tu1 -N4 "$table")
  echo $((b[0] + b[1] + b[2] + b[3]))
}

skipped=0
for file in "$corpus"/*.json; do
  name=${file##*/}
  # A command-line argument carries no zero byte and only so much text.
  if [ "$(tr -d '\000' <"$file" | wc -c)" != "$(wc -c <"$file")" ] ||
     [ "$(wc -c <"$file")" -gt 65536 ]; then
    skipped=$((skipped + 1))
    continue
  fi
  text=$(cat "$file")
  rm -f "$log" "$table"
  cli_run "$dorvane" set "$text"
  calls=""
  [ -f "$log" ] && calls=$(cat "$log")
  if ! head -c $((${#text} + 1)) "$CLI_OUT" | cmp -s - <(printf '%s\n' "$text"); then
    cli_fail "$name" "the text is not echoed first"
  elif [ "$CLI_STATUS" = 1 ]; then
    if [ -n "$calls" ]; then cli_fail "$name" "refused, yet the driver saw: $calls"; else cli_pass "$name"; fi
  elif [ "$CLI_STATUS" = 0 ]; then
    if [ "$calls" != "$set_calls" ]; then
      cli_fail "$name" "accepted, but the driver saw: $calls"
    elif [ "$(wc -c <"$table")" != 172 ] || [ "$(table_count)" -gt 8 ]; then
      cli_fail "$name" "accepted, but the table sent is not valid"
    else
      cli_pass "$name"
    fi
  else
    cli_fail "$name" "status $CLI_STATUS"
  fi
done
echo "corpus texts not usable as one argument: $skipped"
cli_finish
