#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# dorvane's command line, run for real against the stand-in flag driver.
# Usage: dorvane_cli.sh DORVANE
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
dorvane=$1

table=$CLI_TMP/table # the stand-in driver's table
log=$CLI_TMP/log     # the calls the driver saw
CLI_ENV=("FLAGDRV_TABLE=$table" "FLAGDRV_LOG=$log")

usage='dorvane set [{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"}]
dorvane show
'
example='[{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"}]'
node=/dev/flagctl

# run NAME STATUS OUTPUT CALLS ARGS...: runs dorvane on a fresh call log and
# checks its output, its status and the calls the driver saw ("" for none).
run() {
  local name=$1 status=$2 output=$3 calls=$4
  shift 4
  rm -f "$log"
  cli_run "$dorvane" "$@"
  cli_expect "$name" "$status" "$output"
  local seen=""
  [ -f "$log" ] && seen=$(cat "$log")
  [ "$seen" = "$calls" ] || cli_fail "$name" "driver saw '$seen', expected '$calls'"
}
set_calls=$'open O_RDWR\nrequest 1\nclose'
get_calls=$'open O_RDWR\nrequest 2\nclose'
# The C library's text for EIO, which dorvane passes on: musl's differs
# from glibc's and uClibc-ng's.
case ${TOOLS_LIBC:-} in
  musl) eio="I/O error" ;;
  *) eio="Input/output error" ;;
esac

# The table file as hex, one byte a word.
table_hex() { od -An -tx1 -v "$table" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

# The byte order the program uses for `count`, learnt from a table it sent.
run "set one entry" 0 '[{"devname":"a","flag":"1"}]
' "$set_calls" set '[{"devname":"a","flag":"1"}]'
case $(table_hex | cut -c1-11) in
  "01 00 00 00") little=1 ;;
  "00 00 00 01") little=0 ;;
  *) cli_fail "count byte order" "table starts $(table_hex | cut -c1-11)"; cli_finish; exit ;;
esac
# `count` is native: big-endian on the board, as the record the driver reads.
case ${TOOLS_BYTE_ORDER:-} in
  BIG_ENDIAN) cli_check "count is big-endian, as the target" [ "$little" = 0 ] ;;
  LITTLE_ENDIAN) cli_check "count is little-endian, as the target" [ "$little" = 1 ] ;;
esac

# write_table COUNT [NAME FLAG]...: lays a driver reply into the table file.
write_table() {
  local count=$1 i b
  shift
  {
    local word=$((count & 0xFFFFFFFF)) bytes=()
    for i in 0 8 16 24; do bytes+=($(((word >> i) & 0xFF))); done
    [ "$little" = 1 ] || bytes=("${bytes[3]}" "${bytes[2]}" "${bytes[1]}" "${bytes[0]}")
    for b in "${bytes[@]}"; do printf '%b' "\\$(printf %03o "$b")"; done
    local entries=0
    while [ $# -gt 0 ]; do
      printf '%s' "$1" | head -c 20
      head -c $((20 - ${#1} > 0 ? 20 - ${#1} : 0)) /dev/zero
      printf '%b' "\\$(printf %03o "$2")"
      shift 2
      entries=$((entries + 1))
    done
    head -c $((21 * (8 - entries))) /dev/zero
  } >"$table"
}

# The command line's table, without a driver request or with one.
run "no arguments" 0 "$usage" ""
run "-h" 0 "$usage" "" -h
run "-h with more arguments" 0 "$usage" "" -h extra
# Words that begin with a sub-command's name, or that it begins with, are
# not it.
for word in SHOW Set sets shows sho setx se -help "" -d --help help; do
  run "unknown sub-command '$word'" 255 "" "" "$word"
done
rm -f "$table"
run "show a driver that never had a table" 0 "" "$get_calls" show
run "set the usage example" 0 "$example
" "$set_calls" set "$example" ignored arguments
write_table 2 wl0 10 wl1 11
want=$(table_hex)
write_table 0
run "show after set" 0 "" "$get_calls" show
run "set again" 0 "$example
" "$set_calls" set "$example"
cli_check "the table sent is byte for byte the request" [ "$(table_hex)" = "$want" ]
run "show lists the table" 0 'dev[0]:wl0 flag:10
dev[1]:wl1 flag:11
' "$get_calls" show extra
run "show --json prints the request that made the table" 0 "$example
" "$get_calls" show --json extra
run "show, then a word that begins with --json" 0 'dev[0]:wl0 flag:10
dev[1]:wl1 flag:11
' "$get_calls" show --jsonl

# show --json and set again give the driver back the same bytes: every index
# kept, names escaped as JSON needs and read back by set's parser unchanged.
write_table 4 "" 1 'a"b\c' 2 $'\t\n\x01\x1f' 3 $'\xc3\xa9\x7f\xff/' 255
want=$(table_hex)
saved='[{"devname":"","flag":"1"},{"devname":"a\"b\\c","flag":"2"},{"devname":"\u0009\u000a\u0001\u001f","flag":"3"},{"devname":"'$'\xc3\xa9\x7f\xff''/","flag":"255"}]'
run "show --json keeps empty names and escapes" 0 "$saved
" "$get_calls" show --json
write_table 0
run "set what show --json printed" 0 "$saved
" "$set_calls" set "$(cat "$CLI_OUT")"
cli_check "show --json then set restores the same bytes" [ "$(table_hex)" = "$want" ]

# Eight entries fill the record to its last byte.
eight='[{"devname":"a","flag":"1"},{"devname":"b","flag":"2"},{"devname":"c","flag":"3"},{"devname":"d","flag":"4"},{"devname":"e","flag":"5"},{"devname":"f","flag":"6"},{"devname":"g","flag":"7"},{"devname":"hhhhhhhhhhhhhhhhhhhhhhhhh","flag":"-1"}]'
run "set eight entries" 0 "$eight
" "$set_calls" set "$eight"
write_table 8 a 1 b 2 c 3 d 4 e 5 f 6 g 7 hhhhhhhhhhhhhhhhhhh 255
cli_check "eight entries end at byte 171" [ "$(od -An -tx1 -v "$table" | tr -d ' \n' | tail -c 42)" = "6868686868686868686868686868686868686800ff" ]
run "set an object root and a number flag" 0 '{"x":{"devname":"wl0","flag":1}}
' "$set_calls" set '{"x":{"devname":"wl0","flag":1}}'
run "show it" 0 'dev[0]:wl0 flag:1
' "$get_calls" show
write_table 1 wl0 1
run "set a scalar sends an empty table" 0 '"wl0"
' "$set_calls" set '"wl0"'
sent=$(table_hex)
write_table 0
cli_check "the empty table is all zero" [ "$sent" = "$(table_hex)" ]

# Requests dorvane refuses itself never reach the driver, and leave its table.
write_table 1 keep 7
kept=$(table_hex)
run "set without a JSON text" 255 "$usage" "" set
run "set text that is not JSON" 1 '[{"devname":
bad json string.
[{"devname":
' "" set '[{"devname":'
run "set nine entries" 1 '[{},{},{},{},{},{},{},{},{}]
too many entries: 9 (at most 8)
' "" set '[{},{},{},{},{},{},{},{},{}]'
run "set an element that is not an object" 1 '[{"devname":"a","flag":"1"},2]
bad entry 1: not an object
' "" set '[{"devname":"a","flag":"1"},2]'
run "set without a devname" 1 '[{"flag":"1"}]
bad entry 0: "devname" missing or not a string
' "" set '[{"flag":"1"}]'
run "set a flag that is not a string or number" 1 '[{"devname":"a","flag":false}]
bad entry 0: "flag" missing or not a string or number
' "" set '[{"devname":"a","flag":false}]'
cli_check "refused requests leave the driver's table" [ "$(table_hex)" = "$kept" ]

# What the driver may report back.
write_table 3 "" 1 wl1 11 eth0 255
run "show skips empty names and prints flags unsigned" 0 'dev[1]:wl1 flag:11
dev[2]:eth0 flag:255
' "$get_calls" show
write_table -1 wl0 1
run "show a negative count" 1 "invalid reply from $node: count -1 (at most 8)
" "$get_calls" show
run "show --json a negative count" 1 "invalid reply from $node: count -1 (at most 8)
" "$get_calls" show --json
write_table 0 wl0 1
run "show --json a zero count" 0 '[]
' "$get_calls" show --json
write_table 2 "wan 0" 5 " " 6
run "show a name with spaces" 0 'dev[0]:wan 0 flag:5
dev[1]:  flag:6
' "$get_calls" show
run "show --json a name with spaces" 0 '[{"devname":"wan 0","flag":"5"},{"devname":" ","flag":"6"}]
' "$get_calls" show --json
write_table 1 aaaaaaaaaaaaaaaaaaaaaaaa 65
run "show a name that fills its 20 bytes" 0 'dev[0]:aaaaaaaaaaaaaaaaaaaa flag:65
' "$get_calls" show
run "show --json a name that fills its 20 bytes" 0 '[{"devname":"aaaaaaaaaaaaaaaaaaaa","flag":"65"}]
' "$get_calls" show --json
write_table 9 wl0 1
run "show a count above the record" 1 "invalid reply from $node: count 9 (at most 8)
" "$get_calls" show
run "show --json a count above the record" 1 "invalid reply from $node: count 9 (at most 8)
" "$get_calls" show --json
write_table 4096
run "show the block size some kernels answer with" 1 "invalid reply from $node: count 4096 (at most 8)
" "$get_calls" show

# A driver that is missing or fails.
CLI_ENV=("FLAGDRV_TABLE=$table" "FLAGDRV_LOG=$log" "FLAGDRV_FAIL=open")
run "show with the node missing" 1 "cannot open $node: No such file or directory
" "open O_RDWR" show
run "show --json with the node missing" 1 "cannot open $node: No such file or directory
" "open O_RDWR" show --json
run "set with the node missing" 1 "$example
cannot open $node: No such file or directory
" "open O_RDWR" set "$example"
CLI_ENV=("FLAGDRV_TABLE=$table" "FLAGDRV_LOG=$log" "FLAGDRV_FAIL=request")
run "show with a failing request" 1 "request 2 on $node failed: $eio
" "$get_calls" show
run "show --json with a failing request" 1 "request 2 on $node failed: $eio
" "$get_calls" show --json
run "set with a failing request" 1 "$example
request 1 on $node failed: $eio
" "$set_calls" set "$example"
CLI_ENV=("FLAGDRV_TABLE=$table" "FLAGDRV_LOG=$log" "FLAGDRV_FAIL=close")
run "set with a failing close" 1 "$example
cannot close $node: $eio
" "$set_calls" set "$example"
CLI_ENV=("FLAGDRV_TABLE=$table" "FLAGDRV_LOG=$log" "FLAGDRV_FAIL=request,close")
run "a failing request and close report the request only" 1 "request 2 on $node failed: $eio
" "$get_calls" show

# Started with standard input or standard error closed, as a daemon or an
# init script may start it, dorvane gets descriptor 0 or 2 for the node and
# must take it as any other.
CLI_ENV=("FLAGDRV_TABLE=$table" "FLAGDRV_LOG=$log")
for CLI_CLOSE in 0 2; do
  write_table 0
  run "set, descriptor $CLI_CLOSE closed" 0 "$example
" "$set_calls" set "$example"
  run "show, descriptor $CLI_CLOSE closed" 0 'dev[0]:wl0 flag:10
dev[1]:wl1 flag:11
' "$get_calls" show
done
unset CLI_CLOSE

# Output that cannot be written is a failure, also when it is longer than
# stdio's buffer and fails before the last flush.
CLI_STDOUT=/dev/full
long='[{"devname":"a","flag":"1","note":"'$(head -c 20000 /dev/zero | tr '\0' x)'"}]'
for form in help show example long; do
  case $form in
  help) args=(-h) ;;
  show) args=(show) ;;
  example) args=(set "$example") ;;
  long) args=(set "$long") ;;
  esac
  cli_run "$dorvane" "${args[@]}"
  cli_check "dorvane ${args[0]} ($form) to a full device fails" [ "$CLI_STATUS" = 1 ]
done
unset CLI_STDOUT

cli_finish
