#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The demo: the real programs, run against the stand-in flag driver.
# Usage: bash tests/support/demo.sh BUILD-DIR
set -eu
build=$1
state=$(mktemp -d "${TMPDIR:-/tmp}/demo.XXXXXX")
trap 'rm -rf "$state"' EXIT

# dorvane talks to the stand-in instead of a real flag driver.
standin=$build/tests/libflagdrv_standin.so
run_dorvane() {
  printf '$ dorvane'; printf " '%s'" "$@"; printf '\n'
  FLAGDRV_TABLE=$state/table LD_PRELOAD=$standin "$build/flagtool/dorvane" "$@"
}
run_dorvane set '[{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"}]'
run_dorvane show

# obscure scrambles a text into its envelope and back.
obscure=$build/scrambler/obscure
printf "\$ obscure 'hello, world'\n"
envelope=$("$obscure" 'hello, world')
echo "$envelope"
printf "\$ obscure -d '%s'\n" "$envelope"
"$obscure" -d "$envelope"
