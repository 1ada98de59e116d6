#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the board's root, a staging folder as a firmware build lays one
# out, with the C library LIBC (uClibc-ng, the board's, or musl), and,
# against it, both programs and the test suite:
#
#   BUILD/root/lib/      the C library's loader and shared library
#   BUILD/root/usr/      its headers, start files and static libraries,
#                        cJSON (shared), and the compiler's run-time files
#                        (the soft-float libgcc, crt objects) in
#                        usr/lib/gcc/mips-linux-gnu/VERSION, where a
#                        compiler given --sysroot=BUILD/root looks for them;
#                        with uClibc-ng also the unwinder and the C++
#                        library the unit tests link
#   BUILD/board.specs    the specs file that points Debian's gcc at the root
#   BUILD/board.cmake    the settings the build was configured with (cmake -C)
#   BUILD/flagtool/dorvane, BUILD/scrambler/obscure, BUILD/tests/...
#
# Usage: board/build.sh [BUILD-DIR [LIBC]]   (BUILD-DIR: default build-mips;
#        relative paths are taken from the top of the checkout. LIBC:
#        uclibc, the default, or musl)
#
# Every part comes from Debian's archive: uClibc-ng from uclibc-source,
# musl from its source package, the soft-float libgcc and the C++ library
# from gcc-12's source package, cJSON from its source package, compiled
# with the mips-linux-gnu- cross compilers. Each part is installed with
# prefix /usr into a folder of its own under BUILD/parts/, built as
# NAME.part and renamed when complete; its record (BUILD/parts/NAME.inputs:
# the processor's flags, the scripts and configuration it was built with,
# the Debian versions) is written last. A part is built again when its
# inputs or those of a part before it changed, and the root is then
# assembled anew from the parts (hard links) and renamed into place, with
# its record in BUILD/root.inputs. The programs' build folder is configured
# afresh when the root or the toolchain file changed. So a run stopped
# anywhere leaves nothing a later run takes as done, and a change to
# board/board.env, board/uclibc.config or a script rebuilds what depends
# on it.
#
# musl's root has no C++ library, so its build leaves the unit tests out
# (TOOLS_UNIT_TESTS=OFF in its board.cmake) and runs the command-line
# tests and the instruction check.
#
# One lock, BUILD.lock beside the folder, covers everything that builds or
# reads the root: this script takes it unless BOARD_LOCKED is set (by
# board/with-root.sh, which holds it around a command that reads the root).
# `make cross-check` installs the Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

build=${1:-build-mips}
libc=${2:-uclibc}
case $libc in
uclibc | musl) ;;
*) echo "$0: no C library '$libc' (uclibc or musl)" >&2; exit 2 ;;
esac
mkdir -p "$build"
build=$(cd "$build" && pwd)
if [ -z "${BOARD_LOCKED:-}" ]; then
  exec 9>"$build.lock"
  flock 9
fi

jobs=$(nproc 2>/dev/null || echo 2)
root=$build/root
parts=$build/parts
src=$build/src
specs=$build/board.specs
mkdir -p "$parts" "$src"
# The processor every part of the root and the programs are built for.
. board/board.env
export BOARD_CPU_FLAGS
# Where a compiler looks for its own run-time files under its sysroot.
gcc_version=$(mips-linux-gnu-gcc -dumpversion)
gcc_rel=usr/lib/gcc/mips-linux-gnu/$gcc_version

# version PACKAGE: the installed Debian package's version.
version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo none; }
# What every part is compiled with.
compilers="cpu flags: $BOARD_CPU_FLAGS
compilers: gcc-mips-linux-gnu $(version gcc-mips-linux-gnu), g++-mips-linux-gnu $(version g++-mips-linux-gnu)"

# records: the records of the parts built so far, in their order.
records() {
  local part
  for part in "${done_parts[@]}"; do cat "$parts/$part.inputs"; done
}

# assemble: the root, anew, from the parts built so far, in their order;
# renamed into place when whole.
done_parts=()
assemble() {
  local part
  rm -rf "$root.part" "$root.old"
  mkdir -p "$root.part"
  for part in "${done_parts[@]}"; do
    cp -al "$parts/$part/." "$root.part/"
  done
  records >"$build/root.inputs.part"
  [ -d "$root" ] && mv "$root" "$root.old"
  mv "$root.part" "$root"
  mv "$build/root.inputs.part" "$build/root.inputs"
  rm -rf "$root.old"
}

# part NAME INPUTS COMMAND...: builds part NAME with COMMAND, which installs
# into the folder $destdir, unless its record says it was built from INPUTS
# (text naming everything it depends on) after the same parts before it.
# The root is assembled again after a part is built.
previous=""
destdir=""
part() {
  local name=$1 inputs=$2
  shift 2
  inputs="$inputs
$compilers
after: $previous"
  inputs="$name: $(sha256sum <<<"$inputs" | cut -c1-16)
$inputs"
  if [ -d "$parts/$name" ] && [ "$(cat "$parts/$name.inputs" 2>/dev/null)" = "$inputs" ]; then
    :
  else
    echo "board: building $name" >&2
    rm -f "$parts/$name.inputs"
    rm -rf "${parts:?}/$name.part" "${parts:?}/$name"
    mkdir -p "$parts/$name.part"
    destdir=$parts/$name.part
    "$@"
    mv "$parts/$name.part" "$parts/$name"
    printf '%s\n' "$inputs" >"$parts/$name.inputs"
  fi
  previous=$(head -n 1 "$parts/$name.inputs")
  done_parts+=("$name")
  # The root is assembled only when it does not hold exactly these parts.
  if [ "$(records)" != "$(cat "$build/root.inputs" 2>/dev/null)" ]; then
    assemble
  fi
}

# file_inputs FILE...: each file's name and content hash.
file_inputs() {
  local f
  for f in "$@"; do echo "$f $(sha256sum <"$f" | cut -c1-16)"; done
}

build_libgcc() { bash board/libgcc.sh "$src" "$destdir/$gcc_rel"; }
part libgcc "$(file_inputs board/libgcc.sh board/debian-source.sh)
source: gcc-12 as Debian serves it ($(version gcc-12-mips-linux-gnu-base))" build_libgcc

# The C library, linked against that libgcc.
build_libc() { bash "board/$libc.sh" "$src" "$root/$gcc_rel/libgcc.a" "$destdir"; }
if [ "$libc" = uclibc ]; then
  part uclibc "$(file_inputs board/uclibc.sh board/uclibc.config)
source: uclibc-source $(version uclibc-source), linux-libc-dev-mips-cross $(version linux-libc-dev-mips-cross)" build_libc
  loader=/lib/ld-uClibc.so.0
else
  # The sources are fetched first, so that the record names their version.
  musl_tree=$(bash board/debian-source.sh musl "$src")
  part musl "$(file_inputs board/musl.sh board/debian-source.sh)
source: musl $(dpkg-parsechangelog -l "$musl_tree/debian/changelog" -S Version) (Debian source package)" build_libc
  # musl's loader for big-endian MIPS with soft float (board/musl.sh
  # checks that it is there).
  loader=/lib/ld-musl-mips-sf.so.1
fi

# The specs file: Debian's mips-linux-gnu-gcc made to compile and link
# against the root alone (it keeps searching glibc's folders even with
# --sysroot). Include folders (never /usr/mips-linux-gnu, glibc's): for
# uClibc-ng the root's C++ headers (for C++), the compiler's own, then the
# root's C headers; for musl its headers, which define the standard types
# themselves, ahead of the compiler's, as musl's own compiler wrapper
# orders them, and no C++ headers (C++ sources see the C library's only).
# Start files, libgcc, the unwinder and libraries: the root's. Written on
# every run, so that it always matches this script; it stays outside the
# root, which names no folder of the build machine.
write_specs() {
  local gcc_include gcc_dir=$root/$gcc_rel cxx
  cxx=$root/usr/include/c++/$(mips-linux-gnu-gcc -dumpfullversion)
  gcc_include=$(mips-linux-gnu-gcc -print-file-name=include)
  if [ "$libc" = uclibc ]; then
    cat <<SPECS
*cpp_unique_options:
+ -nostdinc -idirafter $gcc_include -idirafter $root/usr/include

*cc1plus:
+ -isystem $cxx -isystem $cxx/mips-linux-uclibc -isystem $cxx/backward

*libgcc:
$gcc_dir/libgcc.a $gcc_dir/libgcc_eh.a $gcc_dir/libgcc.a

SPECS
  else
    cat <<SPECS
*cpp_unique_options:
+ -nostdinc -isystem $root/usr/include -idirafter $gcc_include

*libgcc:
$gcc_dir/libgcc.a

SPECS
  fi >"$specs.part"
  cat >>"$specs.part" <<SPECS
*startfile:
%{shared:;static:$root/usr/lib/crt1.o;!no-pie:$root/usr/lib/Scrt1.o;:$root/usr/lib/crt1.o} $root/usr/lib/crti.o %{static:$gcc_dir/crtbeginT.o;shared|!no-pie:$gcc_dir/crtbeginS.o;:$gcc_dir/crtbegin.o}

*endfile:
%{static:$gcc_dir/crtend.o;shared|!no-pie:$gcc_dir/crtendS.o;:$gcc_dir/crtend.o} $root/usr/lib/crtn.o

*link_libgcc:
--sysroot=$root -L$root/usr/lib -L$root/lib

SPECS
  mv "$specs.part" "$specs"
}
write_specs

# The C++ run time, which only the unit tests use: uClibc-ng's root only.
if [ "$libc" = uclibc ]; then
  build_unwind() { bash board/unwind.sh "$src" "$specs" "$destdir/$gcc_rel"; }
  part unwind "$(file_inputs board/unwind.sh board/build.sh)" build_unwind

  build_libstdcxx() { bash board/libstdcxx.sh "$src" "$specs" "$destdir"; }
  part libstdcxx "$(file_inputs board/libstdcxx.sh)" build_libstdcxx
fi

# The settings every build against the root is configured with (the
# programs here, the benchmarks' peers in bench/run.sh): cmake -C BUILD/board.cmake.
{
  cat <<CMAKE
set(CMAKE_TOOLCHAIN_FILE "$top/board/toolchain.cmake" CACHE FILEPATH "")
set(BOARD_ROOT "$root" CACHE PATH "")
set(BOARD_SPECS "$specs" CACHE FILEPATH "")
set(BOARD_CPU_FLAGS "$BOARD_CPU_FLAGS" CACHE STRING "")
set(BOARD_LIBC "$libc" CACHE STRING "")
set(BOARD_LOADER "$loader" CACHE STRING "")
CMAKE
  # A root without a C++ library: CMake's checks of the compilers stop at
  # compiling (g++ would link them against the C++ library), and the unit
  # tests, which need it, are left out.
  if [ "$libc" = musl ]; then
    cat <<CMAKE
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY CACHE STRING "")
set(TOOLS_UNIT_TESTS OFF CACHE BOOL "")
CMAKE
  fi
} >"$build/board.cmake.part"
mv "$build/board.cmake.part" "$build/board.cmake"

# cJSON, shared, as dorvane loads it on the board.
build_cjson() { bash board/cjson.sh "$src" "$destdir" -C "$build/board.cmake"; }
part cjson "$(file_inputs board/cjson.sh board/toolchain.cmake)
source: cjson as Debian serves it" build_cjson

# The programs and tests, configured afresh when the root, the toolchain
# file or the settings changed (CMake keeps the flags a folder was first
# configured with).
# Warnings fail this build, and it links as most firmware toolchains do,
# keeping every library it is given (no --as-needed): the programs must
# need nothing but the C library and cJSON all the same.
settings=(-DCMAKE_BUILD_TYPE=Release -DTOOLS_WERROR=ON
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-as-needed")
configured="$(cat "$build/root.inputs" "$build/board.cmake")
$(file_inputs board/toolchain.cmake)
${settings[*]}"
if [ "$(cat "$build/configured.inputs" 2>/dev/null)" != "$configured" ]; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles" "$build/configured.inputs"
  cmake -C "$build/board.cmake" -S . -B "$build" "${settings[@]}" >/dev/null
  printf '%s\n' "$configured" >"$build/configured.inputs"
fi
cmake --build "$build" -j "$jobs"
