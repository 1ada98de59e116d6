#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the MIPS guest's kernel: Linux from Debian's linux-source-6.1,
# configured from allnoconfig plus board/guest/kernel-mips.config, built out of
# tree with Debian's mips-linux-gnu compilers.
#
# Usage, from the repository root: bash board/guest/kernel.sh BUILD-DIR
# Leaves BUILD-DIR/linux/ (the source, without what a build never reads),
# BUILD-DIR/kernel/ (the build tree: vmlinux, and Module.symvers for modules
# built against it with M=) and BUILD-DIR/vmlinux, the image qemu boots.
# A kernel already built from the same fragment is reused.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=$1
fragment=board/guest/kernel-mips.config
tarball=/usr/src/linux-source-6.1.tar.xz
kmake() {
  make -s -C "$build/linux" O="$build/kernel" ARCH=mips \
    CROSS_COMPILE=mips-linux-gnu- "$@"
}

mkdir -p "$build"
build=$(cd "$build" && pwd)

if [ -s "$build/vmlinux" ] && cmp -s "$fragment" "$build/kernel/fragment"; then
  exit 0
fi

# The tree without the documentation (but for its Kconfig) and the tools'
# tests, which a kernel build never reads. The other processors' folders
# stay: the configuration reads some of their Kconfig files.
if [ ! -f "$build/linux/Makefile" ]; then
  rm -rf "$build/linux" "$build/linux.part"
  mkdir -p "$build/linux.part"
  tar -xJf "$tarball" -C "$build/linux.part" --strip-components=1 \
    --exclude='linux-source-6.1/Documentation/*/*' \
    --exclude=linux-source-6.1/tools/testing \
    --exclude=linux-source-6.1/tools/perf
  mv "$build/linux.part" "$build/linux"
fi

rm -f "$build/vmlinux" "$build/kernel/fragment"
mkdir -p "$build/kernel"
kmake KCONFIG_ALLCONFIG="$PWD/$fragment" allnoconfig
# Kconfig drops a line whose dependencies are not met without a word, and
# a default may turn back on what the fragment turns off, so every setting
# of the fragment, "# CONFIG_X is not set" included, must be found as it is
# in the result.
missing=$(grep -E '^(CONFIG_|# CONFIG_[A-Za-z0-9_]+ is not set$)' "$fragment" |
  grep -vxFf "$build/kernel/.config" || true)
if [ -n "$missing" ]; then
  printf 'kernel: not in the configuration after the merge:\n%s\n' "$missing" >&2
  exit 1
fi
# "modules" writes Module.symvers, which out-of-tree modules are built with.
kmake -j "$(nproc 2>/dev/null || echo 2)" vmlinux modules
cp "$build/kernel/vmlinux" "$build/vmlinux"
cp "$fragment" "$build/kernel/fragment"
