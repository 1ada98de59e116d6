#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the compiler's run-time support for the board: a soft-float,
# MIPS32 release 1 libgcc.a and crtbegin/crtend objects, from Debian's
# gcc-12 source package.
#
# Usage: board/libgcc.sh SRC-DIR OUT-DIR   (environment: BOARD_CPU_FLAGS, the
#        processor's flags, as board/build.sh sets them)
#
# OUT-DIR is where a compiler looks for its run-time files in the root
# (ROOT/usr/lib/gcc/mips-linux-gnu/VERSION, board/build.sh names it).
#
# Debian's MIPS libgcc is hard-float and release 2: its __adddf3 is an add.d,
# its __bswapsi2 a wsbh, and its crt objects are marked hard-float. A core
# without an FPU (and a kernel without the FPU emulator) stops at the first
# of those with SIGILL, so everything the board's programs and libraries
# link from the compiler is compiled again here with the board's flags:
# the soft-fp routines (single and double precision arithmetic, comparisons
# and conversions), the 64-bit integer helpers of libgcc2.c and crtstuff.c.
#
# The sources are those board/gcc-source.sh unpacked into SRC-DIR/gcc-VERSION
# (without the compiler itself and the other languages' libraries;
# board/libstdcxx.sh builds the C++ library from the same tree); the outcome
# is OUT-DIR/libgcc.a and OUT-DIR/crt*.o. They need no C library (the C
# library is linked against them), so they are compiled with the compiler's
# own headers alone.
set -euo pipefail

src=$1
out=$2
cc=mips-linux-gnu-gcc
read -ra cpu <<<"${BOARD_CPU_FLAGS:?the processor flags from board/build.sh}"
flags=(-O2 "${cpu[@]}" -fPIC -fno-stack-protector
  -fbuilding-libgcc -Dinhibit_libc -nostdinc
  -isystem "$($cc -print-file-name=include)")

# The gcc sources board/gcc-source.sh unpacked.
trees=("$src"/gcc-[0-9]*/)
gcc=${trees[0]%/}
[ -f "$gcc/libgcc/crtstuff.c" ] || { echo "$0: no gcc sources in $src (board/gcc-source.sh)" >&2; exit 1; }

# A gcc build generates tconfig.h, tm.h and auto-host.h for the target; these
# stand-ins hold only what libgcc2.c and crtstuff.c read from them, with
# the values that gcc's MIPS Linux configuration gives.
# They stay beside the sources for board/libstdcxx.sh.
config=$src/gcc-target-headers
work=$src/libgcc-work
rm -rf "$work"
mkdir -p "$config" "$work"
cat >"$config/tconfig.h" <<'EOF'
#define USED_FOR_TARGET
EOF
cat >"$config/tm.h" <<'EOF'
/* o32: 32-bit words. */
#define MIN_UNITS_PER_WORD 4
#define UNITS_PER_WORD 4
#define BITS_PER_UNIT 8
/* ELF with .init_array/.fini_array, hidden symbols, __cxa_atexit and a
   PT_GNU_EH_FRAME header, as on every MIPS Linux system. */
#define OBJECT_FORMAT_ELF 1
#define HAVE_GAS_HIDDEN 1
#define DEFAULT_USE_CXA_ATEXIT 1
#define HAVE_LD_EH_FRAME_HDR 1
#define USE_INITFINI_ARRAY 1
#define INIT_ARRAY_SECTION_ASM_OP
#define FINI_ARRAY_SECTION_ASM_OP
#define USE_TM_CLONE_REGISTRY 1
#define TARGET_ATTRIBUTE_WEAK __attribute__ ((weak))
/* The unwinder's register columns are the DWARF register numbers. */
#define DWARF_REG_TO_UNWIND_COLUMN(REGNO) (REGNO)
EOF
: >"$config/auto-host.h"
: >"$config/auto-target.h"
: >"$config/libgcc_tm.h"

lib=$gcc/libgcc
objects=()
# compile NAME SOURCE FLAGS...: one object of libgcc.a, its functions hidden
# so that a shared library linked with it never exports them.
compile() {
  local name=$1 source=$2
  shift 2
  $cc "${flags[@]}" -fvisibility=hidden -I "$config" -I "$lib" \
    -I "$lib/soft-fp" -I "$lib/config/mips" -I "$gcc/gcc" -I "$gcc/include" \
    -DIN_LIBGCC2 "$@" -c "$source" -o "$work/$name.o"
  objects+=("$work/$name.o")
}

# Soft float: what t-softfp-sfdf lists for single and double precision
# with 32- and 64-bit integers (o32's long double is a double).
for mode in sf df; do
  for op in add sub mul div; do compile "$op${mode}3" "$lib/soft-fp/$op${mode}3.c"; done
  for op in neg eq le ge unord; do compile "$op${mode}2" "$lib/soft-fp/$op${mode}2.c"; done
  for int in si di; do
    compile "fix$mode$int" "$lib/soft-fp/fix$mode$int.c"
    compile "fixuns$mode$int" "$lib/soft-fp/fixuns$mode$int.c"
    compile "float$int$mode" "$lib/soft-fp/float$int$mode.c"
    compile "floatun$int$mode" "$lib/soft-fp/floatun$int$mode.c"
  done
done
compile extendsfdf2 "$lib/soft-fp/extendsfdf2.c"
compile truncdfsf2 "$lib/soft-fp/truncdfsf2.c"

# libgcc2.c: its lib2funcs and division functions for a 32-bit target,
# without the fixed-point, 128-bit and extended-precision ones.
for fn in _muldi3 _negdi2 _lshrdi3 _ashldi3 _ashrdi3 _cmpdi2 _ucmpdi2 \
  _absvsi2 _absvdi2 _addvsi3 _addvdi3 _subvsi3 _subvdi3 _mulvsi3 _mulvdi3 \
  _negvsi2 _negvdi2 _ffssi2 _ffsdi2 _clz _clzsi2 _clzdi2 _ctzsi2 _ctzdi2 \
  _popcount_tab _popcountsi2 _popcountdi2 _paritysi2 _paritydi2 _powisf2 \
  _powidf2 _mulsc3 _muldc3 _divsc3 _divdc3 _bswapsi2 _bswapdi2 _clrsbsi2 \
  _clrsbdi2 _divdi3 _moddi3 _divmoddi4 _udivdi3 _umoddi3 _udivmoddi4; do
  compile "$fn" "$lib/libgcc2.c" "-DL$fn"
done

rm -f "$work/libgcc.a"
mips-linux-gnu-ar rcs "$work/libgcc.a" "${objects[@]}"


# crtbegin/crtend: the .init_array/.fini_array hooks, __dso_handle and
# __cxa_finalize for shared objects, as crtstuff.c makes them.
for variant in "crtbegin -DCRT_BEGIN" "crtend -DCRT_END" \
  "crtbeginS -DCRT_BEGIN -DCRTSTUFFS_O" "crtendS -DCRT_END -DCRTSTUFFS_O" \
  "crtbeginT -DCRT_BEGIN -DCRTSTUFFT_O"; do
  read -r name defines <<<"$variant"
  # shellcheck disable=SC2086
  $cc "${flags[@]}" -g0 -finhibit-size-directive -fno-inline -fno-exceptions \
    -fno-zero-initialized-in-bss -fno-toplevel-reorder -fno-tree-vectorize \
    -fno-asynchronous-unwind-tables -I "$config" -I "$lib" \
    -I "$gcc/gcc" -I "$gcc/include" $defines -c "$lib/crtstuff.c" \
    -o "$work/$name.o"
done
mkdir -p "$out"
mv "$work"/crt*.o "$work/libgcc.a" "$out/"
rm -rf "$work"
