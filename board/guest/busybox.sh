#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds busybox for the MIPS guest's shell and tools from Debian's busybox
# source package, on the board's root like every program of the guest: its
# default configuration, linked statically against the root's uClibc-ng for
# the board's processor (board/board.env), through the board build's specs
# file.
# What that C library does not have is left out (see `changes` below).
#
# Usage, from the repository root:
#   bash board/guest/busybox.sh BUILD-DIR BOARD-BUILD
# BOARD-BUILD is the board build's folder, whose root board/build.sh has
# made. Leaves BUILD-DIR/busybox/busybox. The source is fetched into
# BUILD-DIR/busybox-src/ once, and a busybox built the same way, against
# the same C library, is reused.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=$1
board=$2
mkdir -p "$build"
build=$(cd "$build" && pwd)
board=$(cd "$board" && pwd)
# It reads the board's root: under the root's lock (held already when run
# from board/guest/mips.sh).
. board/lock.sh
board_lock "$board" "board/guest/busybox.sh $*"
out=$build/busybox
specs=$board/board.specs
libc=$board/root/usr/lib/libc.a
if [ ! -f "$specs" ] || [ ! -f "$libc" ]; then
  echo "busybox: no board root in $board (run board/build.sh first)" >&2
  exit 1
fi
. board/board.env

# The changes to the default configuration, each checked after the merge:
# a static program, so the guest needs no loader for it; and no utmp or
# wtmp records, IPv6 or name lookups, for which the board's uClibc-ng has
# no utmpx, no IPv6 headers and no resolver (the guest needs none of them).
changes=(
  'CONFIG_STATIC=y'
  '# CONFIG_FEATURE_UTMP is not set'
  '# CONFIG_FEATURE_WTMP is not set'
  '# CONFIG_FEATURE_IPV6 is not set'
  '# CONFIG_NSLOOKUP is not set'
)
cc="mips-linux-gnu-gcc -muclibc -specs=$specs $BOARD_CPU_FLAGS"
# What the build depends on besides the source: the compiler, the changes
# and the C library it links.
recipe="$cc
$(printf '%s\n' "${changes[@]}")
$(cksum <"$libc")"
if [ -x "$out/busybox" ] && [ "$(cat "$out/recipe" 2>/dev/null)" = "$recipe" ]; then
  exit 0
fi

src=$(bash board/debian-source.sh busybox "$build/busybox-src")
echo "busybox for the guest: Debian source package busybox" \
  "$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)" >&2

# Through the compiler cache (board/ccache.sh), the sources, objects and
# the board build's specs file below the folder that holds both builds.
base=$build
while [ "$base" != / ] && [ "${board#"$base"/}" = "$board" ]; do base=$(dirname "$base"); done
. board/ccache.sh
board_ccache "$build/ccache-bin" "$base" "$specs"

bmake() {
  make -s -C "$src" O="$out" ARCH=mips CROSS_COMPILE=mips-linux-gnu- CC="$cc" "$@"
}
rm -rf "$out" && mkdir -p "$out"
bmake defconfig >/dev/null
for line in "${changes[@]}"; do
  symbol=$(sed -n 's/^\(CONFIG_[A-Za-z0-9_]*\)=.*/\1/p; s/^# \(CONFIG_[A-Za-z0-9_]*\) is not set$/\1/p' <<<"$line")
  sed -i -e "/^$symbol=/d" -e "/^# $symbol is not set\$/d" "$out/.config"
  echo "$line" >>"$out/.config"
done
bmake oldconfig </dev/null >/dev/null
missing=$(printf '%s\n' "${changes[@]}" | grep -vxFf "$out/.config" || true)
if [ -n "$missing" ]; then
  printf 'busybox: not in the configuration after the merge:\n%s\n' "$missing" >&2
  exit 1
fi
# The build's output goes to a log, shown only when the build fails.
bmake -j "$(nproc 2>/dev/null || echo 2)" busybox >"$out/build.log" 2>&1 ||
  { tail -n 40 "$out/build.log"; exit 1; }
echo "$recipe" >"$out/recipe"
