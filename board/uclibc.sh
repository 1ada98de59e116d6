#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the board's C library, uClibc-ng, from Debian's uclibc-source
# package and installs it, shared and static, into the target's root.
#
# Usage: board/uclibc.sh SRC-DIR LIBGCC DESTDIR   (environment:
#        BOARD_CPU_FLAGS, the processor's flags, as board/build.sh sets them)
#
# Configured from uClibc-ng's MIPS defconfig with the changes listed in
# board/uclibc.config, each checked after the merge. Compiled with Debian's
# mips-linux-gnu- compilers and linked against LIBGCC, the soft-float
# libgcc.a that board/libgcc.sh made, so that no floating-point or release 2
# instruction reaches the shared library. Installed as a firmware build
# installs it: the loader and the shared library in /lib, the rest in /usr,
# all inside DESTDIR, with the kernel's MIPS headers beside the library's.
set -euo pipefail

src=$1
libgcc=$2
destdir=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$src" "$destdir"
src=$(cd "$src" && pwd)
destdir=$(cd "$destdir" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

[ -f "$libgcc" ] || { echo "$0: $libgcc is missing (board/libgcc.sh)" >&2; exit 1; }

tarballs=(/usr/src/uClibc-ng-*.tar.xz)
tarball=${tarballs[0]}
version=$(basename "$tarball" .tar.xz)
tree=$src/$version
echo "uClibc-ng for the board: $version (Debian's uclibc-source)" >&2
rm -rf "$tree"
tar -xJf "$tarball" -C "$src"

# Linux's user-space headers for MIPS, alone: the cross compiler's include
# folder holds them together with glibc's headers, which must stay out.
headers=$src/linux-headers
rm -rf "$headers" && mkdir -p "$headers"
dpkg -L linux-libc-dev-mips-cross | grep '^/usr/mips-linux-gnu/include/.*\.h$' |
  while read -r file; do
    rel=${file#/usr/mips-linux-gnu/include/}
    mkdir -p "$headers/$(dirname "$rel")"
    cp "$file" "$headers/$rel"
  done

# The configuration: defconfig, then each listed line in place of the
# default, then oldconfig for what they imply.
cd "$tree"
make -s ARCH=mips defconfig >/dev/null
cpu_flags=${BOARD_CPU_FLAGS:?the processor flags from board/build.sh}
changes=$(sed -e 's:@HEADERS@:'"$headers"':' -e "s:@CPU_FLAGS@:$cpu_flags:" \
  "$here/uclibc.config" |
  grep -E '^([A-Z_0-9]+=|# [A-Z_0-9]+ is not set$)')
while read -r line; do
  name=$(sed -E 's/^(# )?([A-Z_0-9]+).*/\2/' <<<"$line")
  sed -i -E "/^(# )?$name( is not set|=)/d" .config
  echo "$line" >>.config
done <<<"$changes"
make -s ARCH=mips oldconfig < <(yes "") >/dev/null
missing=0
while read -r line; do
  grep -qxF "$line" .config || { echo "uClibc-ng: not in the configuration: $line" >&2; missing=1; }
done <<<"$changes"
[ "$missing" = 0 ]

# LIBGCC_A: the soft-float libgcc (and the crt objects beside it) in place
# of the compiler's own.
# Its many warnings go to a log, shown only when the build fails.
log=$src/uclibc-build.log
if ! { make -s -j "$jobs" ARCH=mips LIBGCC_A="$libgcc" &&
  make -s ARCH=mips LIBGCC_A="$libgcc" PREFIX="$destdir" install; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "$0: uClibc-ng failed to build; the whole log is $log" >&2
  exit 1
fi
# The root's headers include Linux's, as the board's firmware installs them.
cp -R "$headers/." "$destdir/usr/include/"
# The installed configuration header records where the kernel's headers
# were when the library was compiled, a folder of the build machine: in the
# root they are in /usr/include, where a compiler given the root finds them.
config_h=$destdir/usr/include/bits/uClibc_config.h
grep -q '^#define __KERNEL_HEADERS__ ' "$config_h"
sed -i 's|^#define __KERNEL_HEADERS__ .*|#define __KERNEL_HEADERS__ "/usr/include"|' "$config_h"
