#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the DWARF unwinder for the board (libgcc_eh.a), which only the
# tests' C++ run time uses, from the gcc sources board/libgcc.sh unpacked:
# soft-float MIPS32 release 1, for uClibc-ng.
#
# Usage: board/unwind.sh SRC-DIR SPECS OUT-DIR   (environment:
#        BOARD_CPU_FLAGS, the processor's flags, as board/build.sh sets them)
#
# It reads the C library's headers (SPECS points the compiler at the root)
# and leaves OUT-DIR/libgcc_eh.a, OUT-DIR being where the compiler's
# run-time files go in the root (beside libgcc.a).
set -euo pipefail

src=$(cd "$1" && pwd)
specs=$2
out=$3
trees=("$src"/gcc-[0-9]*/)
gcc=${trees[0]%/}
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
mkdir -p "$out"
rm -f "$out/libgcc_eh.a"
mips-linux-gnu-ar rcs "$out/libgcc_eh.a" "$work"/*.o

