#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Command-line tests of the real obscure: the command line's rows, the
# decisions for faulty input, write failures, envelopes checked against the
# machine's own base64 and md5sum, and -h, -c and -i (standard input).
# Usage: bash obscure_cli.sh PATH-TO-OBSCURE
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
obscure=$1

# expect NAME STATUS OUTPUT ARGS...: runs obscure with ARGS.
expect() {
  local name=$1 status=$2 output=$3
  shift 3
  cli_run "$obscure" "$@"
  cli_expect "$name" "$status" "$output"
}

abc=ZjRjMDEyP2MpWg==
#      name                              status output                           arguments
expect "encode abc"                      0 "$abc"$'\n'                           abc
expect "encode the empty text"           0 $'ZDQxZDhj\n'                         ""
expect "decode abc"                      0 $'abc\n'                              -d "$abc"
expect "decode the empty text"           0 $'\n'                                 -d ZDQxZDhj
expect "-d twice"                        0 $'\n'                                 -d -d ZDQxZDhj
expect "surplus text"                    0 "input error"$'\n'"$abc"$'\n'         abc def
expect "option after the text"           0 "input error"$'\n'"$abc"$'\n'         abc -d
expect "unknown option after the text"   0 "input error"$'\n'"$abc"$'\n'         abc -x
expect "decode with surplus text"        0 $'input error\nabc\n'                 -d "$abc" junk
expect "decode line breaks and spaces"   0 $'abc\n'                              -d $'ZjRj MDEy\nP2Mp\r\nWg=='
expect "decode stops at a zero byte"     0 $'ab\n'                               -d "$(printf '\0\0\0\0\0\0%s' "$(printf 'ab\0cd' | base64 -w0)" | base64 -w0)"
expect "unknown option"                  1 $'input error\n'                      -x abc
expect "unknown option after -d"         1 $'input error\n'                      -d -x abc
expect "long option"                     1 $'input error\n'                      --decode abc
expect "no arguments"                    1 $'input error\n'
expect "only an option"                  1 $'input error\n'                      -d
expect "only options"                    1 $'input error\n'                      -d -d
expect "empty envelope"                  1 $'input error\n'                      -d ""
expect "short envelope, 3 bytes"         1 $'input error\n'                      -d ZDQx
expect "short envelope, 5 bytes"         1 $'input error\n'                      -d ZDQxZDg
expect "envelope with no base64"         1 $'input error\n'                      -d '!!!! ~~~~ ....'

# A lone "-" is a text: its envelope decodes back to it.
cli_run "$obscure" -
dash_envelope=$(cat "$CLI_OUT")
cli_check "lone - is encoded" test "$CLI_STATUS" = 0 -a "$dash_envelope" != "input error"
expect "lone - decodes back"             0 $'-\n'                                -d "$dash_envelope"

# Output that cannot be written ends with status 1, also when it is longer
# than stdio's buffer and fails before the last flush.
long=$(head -c 20000 /dev/zero | tr '\0' x)
cli_run "$obscure" "$long"
long_envelope=$(cat "$CLI_OUT")
for args in "abc" "-d $abc" "$long" "-d $long_envelope"; do
  # shellcheck disable=SC2086
  CLI_STDOUT=/dev/full cli_run "$obscure" $args
  cli_check "write failure: ${args:0:30}" [ "$CLI_STATUS" = 1 ]
done

# The envelope of TEXT built with coreutils: base64, the first six digits of
# md5sum as the key (or the six bytes KEY when given), the inner text XOR-ed
# with it, base64 again.
envelope_of() {
  local inner key=${2:-} escapes="" j c k
  inner=$(printf '%s' "$1" | base64 -w0)
  [ -n "$key" ] || key=$(printf '%s' "$inner" | md5sum | cut -c1-6)
  for ((j = 0; j < ${#inner}; j++)); do
    printf -v c '%d' "'${inner:j:1}"
    printf -v k '%d' "'${key:j%6:1}"
    printf -v escapes '%s\\x%02x' "$escapes" $((c ^ k))
  done
  # shellcheck disable=SC2059
  printf "$key$escapes" | base64 -w0
}

# "--" ends the options: the next argument is the text, whatever it is.
dash_abc=$(envelope_of -abc)
expect "text after --"                   0 "$dash_abc"$'\n'                      -- -abc
expect "decode after --"                 0 $'-abc\n'                             -d -- "$dash_abc"
expect "-d twice, then --"               0 $'-abc\n'                             -d -d -- "$dash_abc"
expect "-- as the text"                  0 "$(envelope_of --)"$'\n'              -- --
expect "-- after the text is surplus"    0 "input error"$'\n'"$abc"$'\n'         abc --
expect "-- with no text"                 1 $'input error\n'                      --
expect "-d -- with no text"              1 $'input error\n'                      -d --

# -h: the usage text, whatever else is on the command line.
usage=$'usage: obscure [-h] [-d | -c] [-i | [--] text]\n'
expect "-h"                              0 "$usage"                              -h
expect "-h among other arguments"        0 "$usage"                              -d -x -h -i abc def

# -c decodes only an envelope whose key is the first six hex digits of the
# MD5 of its unmasked inner text. The damaged one is abc's with one
# character of the masked part changed (P2Mp to P2Mq): -d still decodes it.
secret=YmZmNTE5Lj4BAHhhLAo/BntVBidbCA==
damaged=ZjRjMDEyP2MqWg==
expect "-c, a good envelope"             0 $'abc\n'                              -c "$abc"
expect "-c, a wrapped envelope"          0 $'-x9!secret\n'                       -c $'  YmZmNTE5Lj4B\n  AHhhLAo/BntV\r\n  BidbCA==\n'
expect "-c, a too-short envelope"        1 $'input error\n'                      -c ZDQx
expect "-c, a damaged envelope"          1 $'damaged envelope\n'                 -c "$damaged"
expect "-d, the damaged envelope"        0 $'ab#\n'                              -d "$damaged"

# Options combine in either order: each set runs as written and reversed,
# on the damaged envelope, given on standard input with -i and as the
# operand otherwise. -c keeps its check whatever comes with it.
printf '%s\n' "$damaged" >"$CLI_TMP/damaged"
combined() {
  local status=$1 output=$2 options=$3 reversed="" word operand=("$damaged")
  for word in $options; do reversed="$word $reversed"; done
  [[ " $options " != *" -i "* ]] || operand=()
  for args in "$options" "${reversed% }"; do
    # shellcheck disable=SC2086 # one word an option
    CLI_STDIN=$CLI_TMP/damaged cli_run "$obscure" $args "${operand[@]}"
    cli_expect "options $args" "$status" "$output"
  done
}
combined 1 $'damaged envelope\n' "-c -d"
combined 1 $'damaged envelope\n' "-c -i"
combined 0 $'ab#\n'              "-d -i"
combined 0 "$usage"              "-c -h"
combined 1 $'input error\n'      "-c -x"

# Every one of the key's six digits counts: abc's envelope rebuilt around
# its key with one digit changed, the inner text masked with that key, so
# that it unmasks to abc's own inner text, whose key differs from it in
# that digit alone. -d reads abc from it; -c refuses it.
key=f4c012
for ((k = 0; k < 6; k++)); do
  printf -v digit '%x' $(((16#${key:k:1} + 1) % 16))
  rekeyed=$(envelope_of abc "${key:0:k}$digit${key:k+1}")
  expect "-c, key digit $k damaged"        1 $'damaged envelope\n'                 -c "$rekeyed"
  expect "-d, key digit $k damaged"        0 $'abc\n'                              -d "$rekeyed"
done

# The check is on the text the envelope decodes to: other spellings of the
# same envelope pass it, as decoding skips what is not base64, stops at the
# first '=' and drops bits that make no whole byte.
for spelling in ZjRjMDEyP2MpWh== ZjRjMDEyP2MpWv== ZjRjMDEyP2MpWg ZjRjMDEy!P2MpWg== ZjRjMDEyP2MpWg==junk; do
  expect "-c, another spelling: $spelling" 0 $'abc\n'                             -c "$spelling"
done

# expect_in NAME STATUS OUTPUT INPUT ARGS...: runs obscure with ARGS and the
# bytes INPUT on standard input.
expect_in() {
  local name=$1 status=$2 output=$3
  printf '%s' "$4" >"$CLI_TMP/stdin"
  shift 4
  CLI_STDIN=$CLI_TMP/stdin cli_run "$obscure" "$@"
  cli_expect "$name" "$status" "$output"
}

# -i: the text, or with -d or -c the envelope, is standard input up to its
# end, less one final newline.
expect_in "-i"                           0 "$abc"$'\n'             $'abc\n'       -i
expect_in "-i, no final newline"         0 "$abc"$'\n'             abc            -i
expect_in "-i, a text ending in newline" 0 "$(envelope_of $'abc\n')"$'\n' $'abc\n\n' -i
expect_in "-d -i"                        0 $'abc\n'                "$abc"$'\n'    -d -i
expect_in "-c -i, a wrapped envelope"    0 $'-x9!secret\n'         "${secret:0:12}"$'\n'"${secret:12}"$'\n' -c -i
expect_in "-c -i, a damaged envelope"    1 $'damaged envelope\n'   "$damaged"$'\n' -c -i
printf 'a\0b' >"$CLI_TMP/stdin"
CLI_STDIN=$CLI_TMP/stdin cli_run "$obscure" -i
cli_expect "-i, a zero byte"             1 $'input error\n'
CLI_STDIN=$CLI_TMP cli_run "$obscure" -i
cli_expect "-i, a directory"             1 $'input error\n'

# Started with standard input or standard error closed, as a daemon or an
# init script may start it: nothing changes, except that -i finds no input.
for CLI_CLOSE in 0 2; do
  expect "encode, descriptor $CLI_CLOSE closed" 0 "$abc"$'\n'                   abc
  expect "-c, descriptor $CLI_CLOSE closed"     1 $'damaged envelope\n'        -c "$damaged"
done
unset CLI_CLOSE
CLI_CLOSE=0 expect "-i, standard input closed" 1 $'input error\n'              -i
CLI_CLOSE=2 expect_in "-c -i, standard error closed" 0 $'abc\n' "$abc"          -c -i

# Empty input is the empty text, also as a lone newline, and an envelope
# too short to hold its key.
expect_in "-i, empty input"              0 $'ZDQxZDhj\n'           ""             -i
expect_in "-i, a lone newline"           0 $'ZDQxZDhj\n'           $'\n'          -i
expect_in "-d -i, empty input"           1 $'input error\n'        ""             -d -i
expect_in "-c -i, empty input"           1 $'input error\n'        ""             -c -i

# With an operand or an unknown option beside -i, or with -h, standard input
# is not even read.
for args in "-i abc" "-x -i" "-i -x" "-c -i --long" "-i -h"; do
  {
    # shellcheck disable=SC2086 # one word an argument
    CLI_STDIN=/dev/stdin cli_run "$obscure" $args
    unread=$(cat)
  } < <(printf 'not read')
  case $args in
  *-h) cli_expect "$args" 0 "$usage" ;;
  *) cli_expect "$args" 1 $'input error\n' ;;
  esac
  cli_check "$args: input unread" [ "$unread" = "not read" ]
done

# The longest input -i takes is 1 MiB, after a final newline is removed: a
# 1 MiB text alone and with a newline give the same envelope, of the right
# length and with the key coreutils compute; one byte more is refused.
mib=$CLI_TMP/mib
head -c 1048576 /dev/zero | tr '\0' x >"$mib"
{ cat "$mib" && printf '\n'; } >"$mib.newline"
{ cat "$mib" && printf 'x'; } >"$mib.more"
# printed FILE: the last run exited with 0 and printed exactly FILE.
printed() { [ "$CLI_STATUS" = 0 ] && cmp -s "$CLI_OUT" "$1"; }
# key_of TEXT-FILE: the key prefix of its envelope, as coreutils compute it.
key_of() { base64 -w0 "$1" | md5sum | cut -c1-6; }
# Its envelope: 1,398,104 inner characters and the key are 1,398,110 bytes,
# 1,864,148 characters and a newline; the first 8 characters hold the key.
CLI_STDIN=$mib cli_run "$obscure" -i
cp "$CLI_OUT" "$mib.envelope"
cli_check "-i, a 1 MiB text"             [ "$CLI_STATUS:$(wc -c <"$CLI_OUT"):$(head -c 8 "$CLI_OUT" | base64 -d 2>/dev/null)" = "0:1864149:$(key_of "$mib")" ]
CLI_STDIN=$mib.newline cli_run "$obscure" -i
cli_check "-i, a 1 MiB text, a newline"  printed "$mib.envelope"
CLI_STDIN=$mib.more cli_run "$obscure" -i
cli_expect "-i, 1 MiB and one byte more" 1 $'input error\n'

# Every envelope -i writes, -i reads back: with -d and -c, -i takes up to
# the 1,864,148 characters of the 1 MiB text's envelope, and not one more.
CLI_STDIN=$mib.envelope cli_run "$obscure" -c -i
cli_check "-c -i, the 1 MiB text's envelope" printed "$mib.newline"
CLI_STDIN=$mib.envelope cli_run "$obscure" -d -i
cli_check "-d -i, the 1 MiB text's envelope" printed "$mib.newline"
{ head -c 1864148 "$mib.envelope" && printf ' \n'; } >"$mib.envelope.more"
for option in -c -d; do
  CLI_STDIN=$mib.envelope.more cli_run "$obscure" "$option" -i
  cli_expect "$option -i, one character more"  1 $'input error\n'
done

# Input past the longest and its newline is left unread: from a pipe of
# 3,000,000 bytes, -i takes the 1 MiB and two bytes more, with -d or -c the
# longest envelope's 1,864,148 and two, and then stops.
for args in "-i 1048578" "-d -i 1864150" "-c -i 1864150"; do
  read -r -a words <<<"$args"
  {
    CLI_STDIN=/dev/stdin cli_run "$obscure" "${words[@]:0:${#words[@]}-1}"
    left=$(wc -c)
  } < <(head -c 3000000 /dev/zero | tr '\0' x)
  cli_expect "${args% *}, 3,000,000 bytes" 1 $'input error\n'
  cli_check "${args% *}, 3,000,000 bytes: reads ${args##* }" [ $((3000000 - left)) = "${args##* }" ]
done

# Texts of many lengths with bytes 1..255 (every value appears): each
# envelope is the one coreutils builds, and decodes back to the text.
for ((len = 1; len <= 40; len += 3)); do
  text=""
  for ((j = 0; j < len; j++)); do
    printf -v text '%s\\x%02x' "$text" $(((j * 97 + len * 31) % 255 + 1))
  done
  printf -v text '%b' "$text"
  expect "coreutils envelope, length $len" 0 "$(LC_ALL=C envelope_of "$text")"$'\n' "$text"
  expect "round trip, length $len"         0 "$text"$'\n' -d "$(cat "$CLI_OUT")"
done

cli_finish
