#!/usr/bin/env bash
# Builds the C++ run time for the board, which only the tests use (the
# programs are C++ without exceptions, RTTI or the C++ library): the DWARF
# unwinder (libgcc_eh.a) and the C++ library, static, soft-float MIPS32
# release 1, for uClibc-ng, from the gcc sources board/libgcc.sh unpacked.
#
# Usage: board/libstdcxx.sh SRC-DIR ROOT SPECS   (environment:
#        BOARD_CPU_FLAGS, the processor's flags, as board/build.sh sets them)
#
# Debian's MIPS C++ library cannot stand in: it is release 2 code (a 4Kc
# stops at its first seb) built for glibc's locale internals. This one is
# configured for the C locale only and the single-threaded model, as the
# board's C library is built. Installed into ROOT/usr (headers under
# include/c++, libstdc++.a and libsupc++.a under lib); libgcc_eh.a goes
# beside libgcc.a in ROOT/usr/lib/gcc. Skipped when ROOT has them.
set -euo pipefail

src=$(cd "$1" && pwd)
root=$(cd "$2" && pwd)
specs=$3
jobs=$(nproc 2>/dev/null || echo 2)
gcc_dir=$root/usr/lib/gcc

[ -f "$root/usr/lib/libstdc++.a" ] && exit 0

gcc=$(ls -d "$src"/gcc-[0-9]*/ | head -n 1)
gcc=${gcc%/}
config=$src/gcc-target-headers
read -ra cpu <<<"${BOARD_CPU_FLAGS:?the processor flags from board/build.sh}"
cpu+=(-muclibc -specs="$specs")

# The unwinder, with the stand-ins for gcc's generated headers that
# board/libgcc.sh left, and the headers a gcc build would place beside them.
work=$src/libgcc-eh
rm -rf "$work" && mkdir -p "$work/include"
cp "$gcc/libgcc/unwind-generic.h" "$work/include/unwind.h"
cp "$gcc/libgcc/config/mips/linux-unwind.h" "$work/include/md-unwind-support.h"
cp "$gcc/libgcc/gthr-single.h" "$work/include/gthr-default.h"
for unit in unwind-dw2 unwind-dw2-fde-dip unwind-c emutls; do
  mips-linux-gnu-gcc "${cpu[@]}" -O2 -fPIC -fexceptions -fbuilding-libgcc \
    -fno-stack-protector -fvisibility=hidden -DIN_LIBGCC2 -D_GNU_SOURCE \
    -Werror=implicit-function-declaration \
    -I "$work/include" -I "$config" -I "$gcc/libgcc" -I "$gcc/gcc" \
    -I "$gcc/include" -c "$gcc/libgcc/$unit.c" -o "$work/$unit.o"
done
# In place before the C++ library's configure links its tests with it.
rm -f "$gcc_dir/libgcc_eh.a"
mips-linux-gnu-ar rcs "$gcc_dir/libgcc_eh.a" "$work"/*.o

# The C++ library, configured on its own against the root: the compilers
# are Debian's, with the board's flags and specs.
build=$src/libstdc++-build
rm -rf "$build" && mkdir -p "$build"
log=$build/build.log
echo "C++ library for the board's tests: $(basename "$gcc")" >&2
cd "$build"
if ! {
  "$gcc/libstdc++-v3/configure" --host=mips-linux-uclibc \
    --build="$(gcc -dumpmachine)" --prefix="$root/usr" --disable-multilib \
    --disable-shared --enable-static --with-pic --disable-nls \
    --disable-libstdcxx-pch --disable-libstdcxx-verbose \
    --enable-clocale=generic --disable-libstdcxx-threads \
    CC="mips-linux-gnu-gcc ${cpu[*]}" CXX="mips-linux-gnu-g++ ${cpu[*]}" \
    AR=mips-linux-gnu-ar RANLIB=mips-linux-gnu-ranlib NM=mips-linux-gnu-nm \
    CFLAGS=-O2 CXXFLAGS=-O2 &&
    # The thread model comes from the compiler, which is Debian's (POSIX
    # threads); the board's C library has none. Configure has already made
    # the thread header from it: it is made again.
    sed -i 's/^thread_header = .*/thread_header = gthr-single.h/' Makefile include/Makefile &&
    rm -f include/*/bits/gthr-default.h &&
    make -j "$jobs" && make install
} >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "$0: the C++ library failed to build; the whole log is $log" >&2
  exit 1
fi
