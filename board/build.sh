#!/usr/bin/env bash
# Builds the board's root and, in it, both programs and the test suite:
#
#   BUILD/root/lib/        uClibc-ng's loader and shared C library
#   BUILD/root/usr/        its headers, start files and static libraries,
#                          cJSON (shared), the soft-float libgcc and the
#                          C++ library the tests link
#   BUILD/flagtool/dorvane, BUILD/scrambler/obscure, BUILD/tests/...
#
# Usage: board/build.sh [BUILD-DIR]   (default build-mips; relative paths are
#        taken from the top of the checkout)
#
# Every part comes from Debian's archive: uClibc-ng from uclibc-source, the
# soft-float libgcc and the C++ library from gcc-12's source package, cJSON
# from its source package, compiled with the mips-linux-gnu- cross
# compilers. What is built is reused on the next run; `rm -rf BUILD/root`
# starts the root anew (after a change to board/uclibc.config, say).
# `make cross-check` installs the Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-mips}
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$build/src"
build=$(cd "$build" && pwd)
root=$build/root
src=$build/src
gcc_dir=$root/usr/lib/gcc
specs=$gcc_dir/board.specs
# The processor every part of the root and the programs are built for.
. board/board.env
export BOARD_CPU_FLAGS

# One build of a folder at a time: a second caller (vm-check, bench) waits
# and then reuses what the first one built.
exec 9>"$build/.lock"
flock 9

bash board/libgcc.sh "$src" "$gcc_dir"
bash board/uclibc.sh "$src" "$root"

# The specs file: Debian's mips-linux-gnu-gcc made to compile and link
# against the root alone. Include folders: the root's C++ headers (for C++),
# the compiler's own, then the root's C headers (never /usr/mips-linux-gnu,
# glibc's). Start files, libgcc, the unwinder and libraries: the root's.
# Written on every run, so that it always matches this script.
write_specs() {
  local gcc_include cxx=$root/usr/include/c++/$(mips-linux-gnu-gcc -dumpfullversion)
  gcc_include=$(mips-linux-gnu-gcc -print-file-name=include)
  cat >"$specs.part" <<EOF
*cpp_unique_options:
+ -nostdinc -idirafter $gcc_include -idirafter $root/usr/include

*cc1plus:
+ -isystem $cxx -isystem $cxx/mips-linux-uclibc -isystem $cxx/backward

*startfile:
%{shared:;static:$root/usr/lib/crt1.o;!no-pie:$root/usr/lib/Scrt1.o;:$root/usr/lib/crt1.o} $root/usr/lib/crti.o %{static:$gcc_dir/crtbeginT.o;shared|!no-pie:$gcc_dir/crtbeginS.o;:$gcc_dir/crtbegin.o}

*endfile:
%{static:$gcc_dir/crtend.o;shared|!no-pie:$gcc_dir/crtendS.o;:$gcc_dir/crtend.o} $root/usr/lib/crtn.o

*link_libgcc:
--sysroot=$root -L$root/usr/lib -L$root/lib

*libgcc:
$gcc_dir/libgcc.a $gcc_dir/libgcc_eh.a $gcc_dir/libgcc.a

EOF
  mv "$specs.part" "$specs"
}
write_specs
bash board/libstdcxx.sh "$src" "$root" "$specs"

toolchain=$PWD/board/toolchain.cmake
target=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DBOARD_ROOT="$root" -DBOARD_SPECS="$specs"
  -DBOARD_CPU_FLAGS="$BOARD_CPU_FLAGS")

# cJSON, shared, as dorvane loads it on the board.
[ -e "$root/usr/lib/libcjson.so" ] ||
  bash board/cjson.sh "$src" "$root" "${target[@]}"

cmake -S . -B "$build" "${target[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs"
