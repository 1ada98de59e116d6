#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the C++ run time for the board, which only the tests use (the
# programs are C++ without exceptions, RTTI or the C++ library): the C++
# library, static, soft-float MIPS32 release 1, for uClibc-ng, from the gcc
# sources board/libgcc.sh unpacked.
#
# Usage: board/libstdcxx.sh SRC-DIR SPECS DESTDIR   (environment:
#        BOARD_CPU_FLAGS, the processor's flags, as board/build.sh sets them)
#
# Debian's MIPS C++ library cannot stand in: it is release 2 code (a 4Kc
# stops at its first seb) built for glibc's locale internals. This one is
# configured for the C locale only and the single-threaded model, as the
# board's C library is built, against the root SPECS points the compiler
# at (its C library and board/unwind.sh's unwinder), and installed with
# prefix /usr into DESTDIR: headers under usr/include/c++, libstdc++.a and
# libsupc++.a under usr/lib.
set -euo pipefail

src=$(cd "$1" && pwd)
specs=$2
destdir=$(mkdir -p "$3" && cd "$3" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
trees=("$src"/gcc-[0-9]*/)
gcc=${trees[0]%/}
read -ra cpu <<<"${BOARD_CPU_FLAGS:?the processor flags from board/build.sh}"
cpu+=(-muclibc -specs="$specs")

# The C++ library, configured on its own against the root: the compilers
# are Debian's, with the board's flags and specs. Its assertions keep
# their source file's name: named as under /usr/src, not as the folder
# of the build machine the sources were unpacked in.
prefix_map=-ffile-prefix-map=$src=/usr/src
build=$src/libstdc++-build
rm -rf "$build" && mkdir -p "$build"
log=$build/build.log
echo "C++ library for the board's tests: $(basename "$gcc")" >&2
cd "$build"
if ! {
  "$gcc/libstdc++-v3/configure" --host=mips-linux-uclibc \
    --build="$(gcc -dumpmachine)" --prefix=/usr --disable-multilib \
    --disable-shared --enable-static --with-pic --disable-nls \
    --disable-libstdcxx-pch --disable-libstdcxx-verbose \
    --enable-clocale=generic --disable-libstdcxx-threads \
    CC="mips-linux-gnu-gcc ${cpu[*]}" CXX="mips-linux-gnu-g++ ${cpu[*]}" \
    AR=mips-linux-gnu-ar RANLIB=mips-linux-gnu-ranlib NM=mips-linux-gnu-nm \
    CFLAGS="-O2 $prefix_map" CXXFLAGS="-O2 $prefix_map" &&
    # The thread model comes from the compiler, which is Debian's (POSIX
    # threads); the board's C library has none. Configure has already made
    # the thread header from it: it is made again.
    sed -i 's/^thread_header = .*/thread_header = gthr-single.h/' Makefile include/Makefile &&
    rm -f include/*/bits/gthr-default.h &&
    make -j "$jobs" && make install DESTDIR="$destdir"
} >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "$0: the C++ library failed to build; the whole log is $log" >&2
  exit 1
fi
