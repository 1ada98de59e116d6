#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds a MIPS guest's kernel: Linux from Debian's linux-source-SERIES
# (6.1 or 6.12), configured from allnoconfig plus
# board/guest/kernel-mips.config, built out of tree with Debian's
# mips-linux-gnu compilers. The fragment names its options as Linux 6.1
# does; for a later series, the options that series renamed are given
# their new names first (`renamed` below), and nothing else changes.
#
# Usage, from the repository root: bash board/guest/kernel.sh BUILD-DIR SERIES
# Leaves BUILD-DIR/linux/ (the source, without what a build never reads),
# BUILD-DIR/kernel/ (the build tree: vmlinux, and Module.symvers for modules
# built against it with M=) and BUILD-DIR/vmlinux, the image qemu boots.
# A kernel already built from the same fragment and the same version of
# the source package is reused.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=$1
series=$2
top=linux-source-$series
tarball=/usr/src/$top.tar.xz
# The options SERIES knows by another name than 6.1, as "OLD NEW" lines:
# 6.4 removed SLOB, and SLUB_TINY is its successor for small systems.
case $series in
6.1) renamed="" ;;
6.12) renamed="CONFIG_SLOB CONFIG_SLUB_TINY" ;;
*)
  echo "kernel: no MIPS guest kernel for Linux '$series' (6.1 or 6.12)" >&2
  exit 1
  ;;
esac
kmake() {
  make -s -C "$build/linux" O="$build/kernel" ARCH=mips \
    CROSS_COMPILE=mips-linux-gnu- "$@"
}

mkdir -p "$build"
build=$(cd "$build" && pwd)
# Through the compiler cache (board/ccache.sh), the sources and objects
# both below the series' folder.
. board/ccache.sh
board_ccache "$build/ccache-bin" "$build"
version=$(dpkg-query -W -f='${Version}' "$top")

# The fragment for this series, and what a built kernel records of how it
# was made: that fragment and the source's version.
fragment=$build/fragment
cp board/guest/kernel-mips.config "$fragment.part"
while read -r old new; do
  [ -n "$old" ] && sed -i "s/^$old=/$new=/; s/^# $old is not set\$/# $new is not set/" \
    "$fragment.part"
done <<<"$renamed"
mv "$fragment.part" "$fragment"
stamp=$build/stamp
{ cat "$fragment"; echo "# $top $version"; } >"$stamp.new"
if [ -s "$build/vmlinux" ] && cmp -s "$stamp.new" "$build/kernel/stamp"; then
  rm -f "$stamp.new"
  exit 0
fi

# The tree without the documentation (but for its Kconfig) and the tools'
# tests, which a kernel build never reads. The other processors' folders
# stay: the configuration reads some of their Kconfig files. A tree of
# another version of the package is replaced.
if [ ! -f "$build/linux/Makefile" ] ||
  [ "$(cat "$build/source-version" 2>/dev/null)" != "$version" ]; then
  rm -rf "$build/linux" "$build/linux.part" "$build/kernel" "$build/source-version"
  mkdir -p "$build/linux.part"
  tar -xJf "$tarball" -C "$build/linux.part" --strip-components=1 \
    --exclude="$top/Documentation/*/*" \
    --exclude="$top/tools/testing" \
    --exclude="$top/tools/perf"
  mv "$build/linux.part" "$build/linux"
  echo "$version" >"$build/source-version"
fi

rm -f "$build/vmlinux" "$build/kernel/stamp"
mkdir -p "$build/kernel"
kmake KCONFIG_ALLCONFIG="$fragment" allnoconfig
# Kconfig drops a line whose dependencies are not met without a word, and
# a default may turn back on what the fragment turns off, so every setting
# of the fragment, "# CONFIG_X is not set" included, must be found as it is
# in the result.
missing=$(grep -E '^(CONFIG_|# CONFIG_[A-Za-z0-9_]+ is not set$)' "$fragment" |
  grep -vxFf "$build/kernel/.config" || true)
if [ -n "$missing" ]; then
  printf 'kernel: not in the configuration of Linux %s after the merge:\n%s\n' \
    "$series" "$missing" >&2
  exit 1
fi
# "modules" writes Module.symvers, which out-of-tree modules are built with.
kmake -j "$(nproc 2>/dev/null || echo 2)" vmlinux modules
cp "$build/kernel/vmlinux" "$build/vmlinux"
mv "$stamp.new" "$build/kernel/stamp"
