#!/usr/bin/env bash
# Builds busybox for the MIPS guest's shell and tools from Debian's busybox
# source package: its default configuration, linked statically so that it
# needs nothing else in the guest.
#
# Usage, from the repository root: bash board/guest/busybox.sh BUILD-DIR
# Leaves BUILD-DIR/busybox/busybox. The source is fetched into
# BUILD-DIR/busybox-src/ once, and a busybox already built is reused.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=$1
mkdir -p "$build"
build=$(cd "$build" && pwd)
out=$build/busybox
[ -x "$out/busybox" ] && exit 0

src=$(bash board/debian-source.sh busybox "$build/busybox-src")
echo "busybox for the guest: Debian source package busybox" \
  "$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)" >&2

bmake() {
  make -s -C "$src" O="$out" ARCH=mips CROSS_COMPILE=mips-linux-gnu- "$@"
}
rm -rf "$out" && mkdir -p "$out"
bmake defconfig >/dev/null
sed -i 's/^# CONFIG_STATIC is not set$/CONFIG_STATIC=y/' "$out/.config"
grep -qx 'CONFIG_STATIC=y' "$out/.config" ||
  { echo "busybox: CONFIG_STATIC did not take" >&2; exit 1; }
bmake oldconfig </dev/null >/dev/null
# Static glibc warns about the name-service functions some applets call
# (the guest has no users or hosts to look up), so the build's output goes
# to a log, shown only when the build fails.
bmake -j "$(nproc 2>/dev/null || echo 2)" busybox >"$out/build.log" 2>&1 ||
  { tail -n 40 "$out/build.log"; exit 1; }
