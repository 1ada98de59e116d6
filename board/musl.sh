#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds musl, the C library a board's firmware may ship in place of
# uClibc-ng, from Debian's musl source package and installs it, shared and
# static, into the target's root.
#
# Usage: board/musl.sh SRC-DIR LIBGCC DESTDIR   (environment:
#        BOARD_CPU_FLAGS, the processor's flags, and BOARD_HARDEN_CFLAGS and
#        BOARD_HARDEN_LDFLAGS, the board's hardening, as board/build.sh sets
#        them from board/board.env)
#
# Compiled with Debian's mips-linux-gnu- compilers for the board's processor
# and linked against LIBGCC, the soft-float libgcc.a that board/libgcc.sh
# made: musl takes the compiler's own otherwise, Debian's hard-float
# release 2 one. Installed as a firmware build installs it: prefix /usr
# inside DESTDIR, the loader in /lib as a link to /usr/lib/libc.so. No
# compiler wrapper: board/build.sh writes the specs file that points the
# compilers at the root.
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
cpu_flags=${BOARD_CPU_FLAGS:?the processor flags from board/build.sh}

# The sources board/build.sh brought up to date, whose version its record
# names.
tree=$(bash "$here/debian-source.sh" musl "$src" --present)
echo "musl for the board: $(basename "$tree") (Debian's musl source package)" >&2

# Built outside the source tree, which stays as apt-get source left it,
# with the board's hardening as a firmware's CFLAGS and LDFLAGS: musl
# itself compiles its loader and start-up code, which run before the
# guard is set, without the stack protector.
build=$src/musl-build
rm -rf "$build" && mkdir -p "$build"
log=$build/build.log
cd "$build"
if ! { "$tree/configure" --target=mips-linux-musl --prefix=/usr --syslibdir=/lib \
  --disable-wrapper CROSS_COMPILE=mips-linux-gnu- CC=mips-linux-gnu-gcc \
  CFLAGS="$cpu_flags ${BOARD_HARDEN_CFLAGS:-}" \
  LDFLAGS="${BOARD_HARDEN_LDFLAGS:-}" LIBCC="$libgcc" &&
  make -j "$jobs" && make DESTDIR="$destdir" install; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "$0: musl failed to build; the whole log is $log" >&2
  exit 1
fi

# The loader is installed as a link to /usr/lib/libc.so, which inside the
# root would lead out of it (qemu -L and a copy of the root follow it to the
# build machine's /usr/lib): made relative, it names the same file on the
# board and in the root.
loaders=()
for link in "$destdir"/lib/ld-musl-*.so.1; do
  [ -L "$link" ] || continue
  target=$(readlink "$link")
  case $target in
  /*) ln -sfn "..$target" "$link" ;;
  esac
  loaders+=("$link")
done
if [ ${#loaders[@]} != 1 ] || [ ! -f "${loaders[0]}" ]; then
  echo "$0: no single loader in $destdir/lib that leads to the C library" >&2
  exit 1
fi
