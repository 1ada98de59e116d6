#!/usr/bin/env bash
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
#   sizes        `size` text of both programs for x86-64 and for the board
#                (32-bit big-endian MIPS), against coreutils base64
#
# Builds in build-bench/ (host, Release, TOOLS_BENCH=ON) and
# build-bench-mips/ (the board, with cJSON as the shared library dorvane
# loads there). Exits non-zero only when something could not be measured or
# a benchmark got a wrong result; a missed target is reported in the table.
#
# Usage: bench/run.sh   (`make bench` installs the Debian packages first)
set -euo pipefail
cd "$(dirname "$0")/.."

host=build-bench
mips=build-bench-mips
toolchain=$PWD/cmake/toolchains/mips-linux-gnu.cmake
jobs=$(nproc 2>/dev/null || echo 2)

echo "bench: building for the host in $host/" >&2
cmake -S . -B "$host" -DCMAKE_BUILD_TYPE=Release -DTOOLS_BENCH=ON \
  -DTOOLS_BUILD_TESTS=OFF >/dev/null
cmake --build "$host" -j "$jobs" --target obscure dorvane codec_bench \
  peer_hello peer_hello_cjson >/dev/null

# cJSON for the board, built as the shared library dorvane loads there.
echo "bench: building for the board in $mips/" >&2
deps=$PWD/$mips/deps
bash cmake/cjson-for-target.sh "$deps" "$toolchain" shared
cmake -S . -B "$mips" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_FIND_ROOT_PATH="$deps/root" -DCMAKE_BUILD_TYPE=Release \
  -DTOOLS_BUILD_TESTS=OFF >/dev/null
cmake --build "$mips" -j "$jobs" --target obscure dorvane >/dev/null

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

# row MEASURE OURS PEER PEER-VALUE TARGET: one table row, with the ratio
# ours / peer-value and whether it is within TARGET (a ratio, or a size in
# bytes written as "N B").
row() {
  local measure=$1 ours=$2 peer=$3 peer_value=$4 target=$5
  awk -v m="$measure" -v o="$ours" -v p="$peer" -v pv="$peer_value" \
    -v t="$target" 'BEGIN {
      ratio = o / pv
      if (t ~ / B$/) { limit = t + 0; value = o; shown = "≤ " t }
      else { limit = t + 0; value = ratio; shown = "≤ " t "×" }
      verdict = value <= limit ? "met" : \
        sprintf("missed by %.1f%%", (value / limit - 1) * 100)
      printf "| %s | %s | %s | %s | %.3f | %s | %s |\n", m, o, p, pv, ratio,
        shown, verdict
    }'
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
os=$(. /etc/os-release && echo "$PRETTY_NAME")
echo
echo "Measured on $cpu ($(nproc) cores), $os, $(gcc -dumpfullversion)" \
  "(gcc), $(valgrind --version)."
echo
echo "| measure | ours | peer | peer's | ratio | target | |"
echo "|---|---:|---|---:|---:|---:|---|"
row "instructions, whole run of \`obscure abc\`" "$run_abc" \
  "C program printing one line" "$run_hello" 1.10
row "instructions, whole run of \`dorvane -h\`" "$run_h" \
  "the same, loading cJSON's library" "$run_hello_cjson" 1.10
for locale in C C.UTF-8; do
  row "instructions, whole run of \`obscure\` on a 96 KiB text, $locale locale" \
    "${run_text[$locale]}" "\`base64 -w0\` on it + \`md5sum\` on that" \
    "${run_peer[$locale]}" 0.90
done
row "ns, MD5 of 128 KiB" "$(median md5/ours)" "OpenSSL MD5" \
  "$(median md5/openssl)" 1.15
row "ns, base64 encoding of 128 KiB" "$(median encode/ours)" \
  "OpenSSL \`EVP_EncodeBlock\`" "$(median encode/openssl)" 1.00
row "ns, lenient base64 decoding of 128 KiB" "$(median decode/ours)" \
  "OpenSSL \`EVP_DecodeBlock\`" "$(median decode/openssl)" 1.00
for arch in x86-64 MIPS; do
  dir=$host
  [ $arch = MIPS ] && dir=$mips
  row "size text, \`obscure\`, $arch" "$(size_text "$dir/scrambler/obscure")" \
    "coreutils \`base64\`, x86-64" "$peer_size" "8192 B"
  row "size text, \`dorvane\`, $arch" "$(size_text "$dir/flagtool/dorvane")" \
    "coreutils \`base64\`, x86-64" "$peer_size" "8192 B"
done
