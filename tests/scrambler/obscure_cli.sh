#!/usr/bin/env bash
# Command-line tests of the real obscure: the command line's rows, the
# decisions for faulty input, write failures, and envelopes checked against
# the machine's own base64 and md5sum.
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
cli_check "lone - is encoded" [ "$CLI_STATUS" = 0 ] && [ "$dash_envelope" != "input error" ]
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
# md5sum as the key, the inner text XOR-ed with it, base64 again.
envelope_of() {
  local inner key escapes="" j c k
  inner=$(printf '%s' "$1" | base64 -w0)
  key=$(printf '%s' "$inner" | md5sum | cut -c1-6)
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
