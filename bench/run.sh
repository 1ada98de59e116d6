#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make bench: the programs measured side by side with their peers in one
# run, printed as one table (Markdown, so it can go into the README as is).
#
#   whole runs   instructions executed from exec to exit (valgrind's
#                callgrind: deterministic) of obscure abc and dorvane -h,
#                against a C program that prints one line and loads the same
#                libraries; of obscure on a 96 KiB text, against coreutils
#                base64 -w0 on the text plus md5sum on its base64 form
#   codecs       MD5, base64 encoding and lenient decoding of 128 KiB in one
#                process, against OpenSSL (bench/codec_bench.cpp: medians of
#                interleaved repetitions of Google Benchmark)
#   the board    the same whole runs on the board build (uClibc-ng, MIPS32,
#                soft float), counted in MIPS instructions under qemu
#                (bench/mips_count.sh): obscure abc and dorvane -h against
#                the one-line program built the same way; obscure on the
#                96 KiB text per input byte, and what MD5's block function
#                executes per 64-byte block against the least 64 steps
#                cost; obscure abc and dorvane -h again on the board build
#                with musl as its C library
#   sizes        `size` text of both programs for x86-64 and for the board
#                (with each C library), against coreutils base64
#
# Builds in build-bench/ (host, Release, TOOLS_BENCH=ON), build-mips/ and
# build-mips-musl/ (the board's roots and programs, board/build.sh), and
# build-bench-mips/ and build-bench-mips-musl/ (the programs and their
# peers, configured as build-mips/ and build-mips-musl/ are). Exits
# non-zero only when something could not be measured or a benchmark got a
# wrong result; a missed target is reported in the table.
#
# Usage: bench/run.sh   (`make bench` installs the Debian packages first)
set -euo pipefail
cd "$(dirname "$0")/.."

host=build-bench
board=build-mips
mips=build-bench-mips
musl_board=build-mips-musl
musl=build-bench-mips-musl
# The MIPS rows read the board's roots: the whole run holds both locks
# (uClibc-ng's first, as make cross-check takes them), with the roots and
# programs brought up to date first.
. board/lock.sh
if ! board_holds "$board" || ! board_holds "$musl_board"; then
  exec bash board/with-root.sh "$board" \
    bash board/with-root.sh --libc=musl "$musl_board" bash bench/run.sh "$@"
fi
root=$PWD/$board/root
musl_root=$PWD/$musl_board/root
jobs=$(nproc 2>/dev/null || echo 2)

echo "bench: building for the host in $host/" >&2
cmake -S . -B "$host" -DCMAKE_BUILD_TYPE=Release -DTOOLS_BENCH=ON -DTOOLS_WERROR=ON \
  -DTOOLS_BUILD_TESTS=OFF >/dev/null
cmake --build "$host" -j "$jobs" --target obscure dorvane codec_bench \
  peer_hello peer_hello_cjson >/dev/null

# board_peers BOARD-BUILD DIR: the programs and their peers, built in DIR
# with the board build's own settings (its toolchain file, root, specs,
# processor flags and C library, board/build.sh's board.cmake), so that
# peer and program are compiled and linked alike; a folder configured with
# other settings is started anew.
board_peers() {
  local board=$1 dir=$2
  if ! cmp -s "$board/board.cmake" "$dir/board.cmake"; then
    rm -rf "$dir"
  fi
  echo "bench: building the programs and their peers for the board in $dir/" >&2
  cmake -C "$board/board.cmake" -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DTOOLS_BENCH=ON -DTOOLS_BUILD_TESTS=OFF -DTOOLS_WERROR=ON >/dev/null
  cp "$board/board.cmake" "$dir/board.cmake"
  cmake --build "$dir" -j "$jobs" --target obscure dorvane peer_hello \
    peer_hello_cjson >/dev/null
}
board_peers "$board" "$mips"
board_peers "$musl_board" "$musl"

# instructions LOCALE COMMAND...: what a whole run of COMMAND executes,
# output discarded, in an environment that holds only PATH and LC_ALL=LOCALE,
# so that every run starts alike.
instructions() {
  local locale=$1 count
  shift
  count=$(env -i PATH=/usr/bin:/bin LC_ALL="$locale" valgrind \
    --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9][0-9]*\).*/\1/p')
  if [ -z "$count" ]; then
    echo "bench: valgrind could not measure $1" >&2
    exit 1
  fi
  echo "$count"
}

# The 96 KiB text: plain words, no newline, so it survives as one argument.
text=$(awk 'BEGIN {
  while (length(t) < 98304) t = t "The quick brown fox jumps over the lazy dog; "
  printf "%s", substr(t, 1, 98304) }')
printf '%s' "$text" >"$host/bench-text"
base64 -w0 "$host/bench-text" >"$host/bench-text.b64"
# The scripted peer does the same work: its digest starts with the key the
# envelope carries (the first 8 characters encode the 6 key bytes).
"$host/scrambler/obscure" "$text" >"$host/bench-envelope"
key=$(cut -c1-8 "$host/bench-envelope" | base64 -d)
if [ "$key" != "$(md5sum "$host/bench-text.b64" | cut -c1-6)" ]; then
  echo "bench: the envelope's key is not the peer's digest" >&2
  exit 1
fi

declare -A run_text run_peer
echo "bench: counting instructions" >&2
run_abc=$(instructions C "$host/scrambler/obscure" abc)
run_hello=$(instructions C "$host/bench/peer_hello")
run_h=$(instructions C "$host/flagtool/dorvane" -h)
run_hello_cjson=$(instructions C "$host/bench/peer_hello_cjson")
# The programs never look at the locale, but coreutils load it at start:
# in the C locale nothing, in a UTF-8 one (C.UTF-8 comes with Debian's C
# library) a locale file. Both are measured, as either is what a script
# may run in.
for locale in C C.UTF-8; do
  run_text[$locale]=$(instructions $locale "$host/scrambler/obscure" "$text")
  run_peer[$locale]=$(($(instructions $locale base64 -w0 "$host/bench-text") +
    $(instructions $locale md5sum "$host/bench-text.b64")))
done

# The board's runs. Each program and its peer are started through links of
# the same name in folders of the same length, so that both see the same
# argv[0] and the same path in their start-up data.
echo "bench: counting MIPS instructions under qemu" >&2
qemu=$(command -v qemu-mips)
# runs DIR: the links to DIR's programs and peers.
runs() {
  local links=$1/bench/runs
  mkdir -p "$links/ours" "$links/peer"
  ln -sf "$PWD/$1/scrambler/obscure" "$links/ours/obscure"
  ln -sf "$PWD/$1/bench/peer_hello" "$links/peer/obscure"
  ln -sf "$PWD/$1/flagtool/dorvane" "$links/ours/dorvane"
  ln -sf "$PWD/$1/bench/peer_hello_cjson" "$links/peer/dorvane"
}
runs "$mips"
runs "$musl"
links=$mips/bench/runs
musl_links=$musl/bench/runs
# on_board [-r LOW-HIGH] ROOT PROGRAM ARGS...: bench/mips_count.sh's count
# of a whole run of PROGRAM on a 4Kc (MIPS32 release 1, no FPU) with the
# board's root ROOT.
on_board() {
  local range=()
  if [ "$1" = -r ]; then
    range=(-r "$2")
    shift 2
  fi
  bash bench/mips_count.sh "${range[@]}" -- "$qemu" -cpu 4Kc -L "$@"
}
# same_envelope ROOT LINKS: the board's envelope of the text must be the
# host's, with either C library: the run does the work.
same_envelope() {
  if ! "$qemu" -cpu 4Kc -L "$1" "$2/ours/obscure" "$text" |
    cmp -s - "$host/bench-envelope"; then
    echo "bench: the board's obscure ($1) and the host's disagree on the text" >&2
    exit 1
  fi
}
same_envelope "$root" "$links"
same_envelope "$musl_root" "$musl_links"
mips_abc=$(on_board "$root" "$links/ours/obscure" abc)
mips_hello=$(on_board "$root" "$links/peer/obscure")
mips_h=$(on_board "$root" "$links/ours/dorvane" -h)
mips_hello_cjson=$(on_board "$root" "$links/peer/dorvane")
musl_abc=$(on_board "$musl_root" "$musl_links/ours/obscure" abc)
musl_hello=$(on_board "$musl_root" "$musl_links/peer/obscure")
musl_h=$(on_board "$musl_root" "$musl_links/ours/dorvane" -h)
musl_hello_cjson=$(on_board "$musl_root" "$musl_links/peer/dorvane")
# MD5's block function, by its address range in the symbol table, as
# offsets from the start of the code segment (where qemu loads it).
obscure=$mips/scrambler/obscure
md5=$(mips-linux-gnu-nm -S --defined-only "$obscure" |
  awk '$3 ~ /^[tT]$/ && $4 ~ /md5_blocks/')
if [ "$(grep -c . <<<"$md5")" -ne 1 ]; then
  echo "bench: no single MD5 block function in obscure's symbols:" >&2
  echo "$md5" >&2
  exit 1
fi
read -r md5_start md5_size _ <<<"$md5"
code=$(mips-linux-gnu-readelf -lW "$obscure" |
  awk '$1 == "LOAD" && / E 0x[0-9a-f]+$/ { print $3; exit }')
md5_range=$(printf '%x-%x' $((16#$md5_start - code)) \
  $((16#$md5_start - code + 16#$md5_size)))
# MD5 runs over the inner text, the text's base64 form (4 characters for
# every 3 bytes, rounded up), padded with 0x80, zeros and the 8-byte length
# to a whole number of 64-byte blocks.
text_bytes=$(wc -c <"$host/bench-text")
groups=$(((text_bytes + 2) / 3))
inner=$((groups * 4))
md5_blocks=$(((inner + 8) / 64 + 1))
read -r mips_text mips_md5 < <(on_board -r "$md5_range" "$root" "$links/ours/obscure" "$text")

echo "bench: timing the codecs" >&2
csv=$host/codec_bench.csv
"$host/bench/codec_bench" --benchmark_repetitions=9 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_format=csv \
  2>/dev/null >"$csv"
if grep -q ',true,' "$csv"; then
  echo "bench: a benchmark got a wrong result:" >&2
  grep ',true,' "$csv" >&2
  exit 1
fi
# median NAME: the median CPU time of one call, in ns.
median() {
  local t
  t=$(awk -F, -v name="\"$1_median\"" '$1 == name { print $4 }' "$csv")
  if [ -z "$t" ]; then
    echo "bench: no median for $1" >&2
    exit 1
  fi
  echo "$t"
}

size_text() { size "$1" | awk 'NR == 2 { print $1 }'; }
peer_size=$(size_text "$(command -v base64)")

# row MEASURE OURS [PEER PEER-VALUE [TARGET]]: one table row, with the
# ratio ours / peer-value and whether it is within TARGET (a ratio, or a
# size in bytes written as "N B"). Without a peer the row is a bare figure.
row() {
  local measure=$1 ours=$2 peer=${3:-} peer_value=${4:-} target=${5:-}
  awk -v m="$measure" -v o="$ours" -v p="$peer" -v pv="$peer_value" \
    -v t="$target" 'BEGIN {
      ratio = shown = verdict = ""
      if (pv != "") ratio = sprintf("%.3f", o / pv)
      if (t ~ / B$/) { limit = t + 0; value = o; shown = "≤ " t }
      else if (t != "") { limit = t + 0; value = ratio; shown = "≤ " t "×" }
      if (t != "") verdict = value <= limit ? "met" : \
        sprintf("missed by %.1f%%", (value / limit - 1) * 100)
      printf "| %s | %s | %s | %s | %s | %s | %s |\n", m, o, p, pv, ratio,
        shown, verdict
    }'
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
os=$(. /etc/os-release && echo "$PRETTY_NAME")
echo
echo "Measured on $cpu ($(nproc) cores), $os, $(gcc -dumpfullversion)" \
  "(gcc), $(valgrind --version); MIPS under $("$qemu" --version | head -n 1)."
echo
echo "| measure | ours | peer | peer's | ratio | target | |"
echo "|---|---:|---|---:|---:|---:|---|"
row "x86-64 instructions, whole run of \`obscure abc\`" "$run_abc" \
  "C program printing one line" "$run_hello" 1.10
row "MIPS instructions, whole run of \`obscure abc\`" "$mips_abc" \
  "the same, for the board" "$mips_hello" 1.10
row "MIPS instructions, whole run of \`obscure abc\`, musl" "$musl_abc" \
  "the same, for the board with musl" "$musl_hello" 1.20
row "x86-64 instructions, whole run of \`dorvane -h\`" "$run_h" \
  "the same, loading cJSON's library" "$run_hello_cjson" 1.10
row "MIPS instructions, whole run of \`dorvane -h\`" "$mips_h" \
  "the same, for the board" "$mips_hello_cjson" 1.10
row "MIPS instructions, whole run of \`dorvane -h\`, musl" "$musl_h" \
  "the same, for the board with musl" "$musl_hello_cjson" 1.20
for locale in C C.UTF-8; do
  row "x86-64 instructions, whole run of \`obscure\` on a 96 KiB text, $locale locale" \
    "${run_text[$locale]}" "\`base64 -w0\` on it + \`md5sum\` on that" \
    "${run_peer[$locale]}" 0.90
done
row "MIPS instructions, whole run of \`obscure\` on the 96 KiB text" \
  "$mips_text"
row "MIPS instructions per input byte, in that run" \
  "$(awk -v n="$mips_text" -v b="$text_bytes" 'BEGIN { printf "%.2f", n / b }')"
row "MIPS instructions per 64-byte block in MD5's block function, in that run ($md5_blocks blocks)" \
  "$(awk -v n="$mips_md5" -v b="$md5_blocks" 'BEGIN { printf "%.1f", n / b }')" \
  "64 steps of 4 operations, the least" 256
row "ns, MD5 of 128 KiB" "$(median md5/ours)" "OpenSSL MD5" \
  "$(median md5/openssl)" 1.15
row "ns, base64 encoding of 128 KiB" "$(median encode/ours)" \
  "OpenSSL \`EVP_EncodeBlock\`" "$(median encode/openssl)" 1.00
row "ns, lenient base64 decoding of 128 KiB" "$(median decode/ours)" \
  "OpenSSL \`EVP_DecodeBlock\`" "$(median decode/openssl)" 1.00
for arch in x86-64 MIPS "MIPS, musl"; do
  case $arch in
  x86-64) dir=$host ;;
  MIPS) dir=$mips ;;
  *) dir=$musl ;;
  esac
  row "size text, \`obscure\`, $arch" "$(size_text "$dir/scrambler/obscure")" \
    "coreutils \`base64\`, x86-64" "$peer_size" "8192 B"
  row "size text, \`dorvane\`, $arch" "$(size_text "$dir/flagtool/dorvane")" \
    "coreutils \`base64\`, x86-64" "$peer_size" "8192 B"
done
