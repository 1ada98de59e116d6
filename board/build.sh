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
#   BUILD/board.cmake    the settings the build was configured with (cmake -C),
#                        the board's hardening flags (board/board.env) among them
#   BUILD/flagtool/dorvane, BUILD/scrambler/obscure, BUILD/tests/...
#
# Usage: board/build.sh [BUILD-DIR [LIBC]]   (BUILD-DIR: default build-mips;
#        relative paths are taken from the top of the checkout. LIBC:
#        uclibc or musl; without it, the one the folder was first built
#        with, uclibc for a new folder)
#
# The folder keeps its C library in BUILD/libc from the first part it
# builds and refuses another: a root, its parts and its configured
# programs belong to one C library, and a run that rebuilt them for
# another would leave its caller testing what it did not ask for.
#
# Every part comes from Debian's archive: uClibc-ng from uclibc-source,
# musl from its source package, the soft-float libgcc and the C++ library
# from gcc-12's source package, cJSON from its source package, compiled
# with the mips-linux-gnu- cross compilers, whose major version has to be
# that of the gcc sources (the root's run-time files and C++ headers are
# theirs). The source packages are brought up to the newest version apt's
# index lists (board/debian-source.sh) before anything is built. Each part
# is installed with prefix /usr into a folder of its own under
# BUILD/parts/, built as NAME.part and renamed when complete; its record
# (BUILD/parts/NAME.inputs: the scripts and configuration it was built
# with, the exact Debian version of every source tree and package it was
# built from, the specs file's content for what is compiled with it, the
# processor's flags, the compilers' versions, and the part before it) is
# written last. A part is built again when its record or that of a part
# before it changed.
#
# The root is put in place once, at the end of a run, and only when its
# parts changed: assembled from the parts (hard links) as BUILD/root.part
# and renamed into place, with its record in BUILD/root.inputs; a run with
# nothing changed leaves BUILD/root as it was. The parts compiled against
# the C library (the unwinder, the C++ library, cJSON) need the parts
# before them in a root while they build: they are built against a root of
# their own, BUILD/stage/root, assembled from the parts before them, with
# a specs file and settings (BUILD/stage/board.specs, board.cmake) that
# differ from the programs' only in naming it. So the root the programs
# see keeps its one path and is never taken apart while they use it, a
# part's build never reads a root half-assembled, and the parts name no
# folder of the machine they were built on, so both roots hold the same
# files. The programs' build folder is configured afresh and built from
# clean when the root, the settings, the specs file or the toolchain file
# changed. So a run stopped anywhere leaves nothing a later run takes as
# done, and a change to board/board.env, board/uclibc.config, a script or
# a source package rebuilds what depends on it.
#
# musl's root has no C++ library, so its build leaves the unit tests out
# (TOOLS_UNIT_TESTS=OFF in its board.cmake) and runs the command-line
# tests and the instruction check.
#
# One lock, BUILD.lock beside the folder, covers everything that builds or
# reads the root: this script takes it unless its caller holds it
# (board/with-root.sh, which holds it around a command that reads the root;
# board/lock.sh). `make cross-check` installs the Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
. board/lock.sh
. board/ccache.sh

build=${1:-build-mips}
libc=${2:-}
case $libc in
'' | uclibc | musl) ;;
*) echo "$0: no C library '$libc' (uclibc or musl)" >&2; exit 2 ;;
esac
mkdir -p "$build"
build=$(cd "$build" && pwd)
board_lock "$build" "board/build.sh $build $libc"

# The folder's C library: the one it was first built with (a folder built
# before it was kept here tells by its parts), else the one asked for,
# kept in BUILD/libc when the first part is built (part below), so that a
# run stopped before that pins nothing.
kept=$(cat "$build/libc" 2>/dev/null || true)
if [ -z "$kept" ]; then
  if [ -f "$build/parts/musl.inputs" ]; then kept=musl
  elif [ -f "$build/parts/uclibc.inputs" ]; then kept=uclibc
  else kept=${libc:-uclibc}
  fi
fi
if [ -n "$libc" ] && [ "$libc" != "$kept" ]; then
  echo "board: $build was built with $kept as its C library, not $libc:" \
    "give it --libc=$kept (board/with-root.sh) or $kept (board/build.sh)," \
    "or use another folder for $libc" >&2
  exit 1
fi
libc=$kept

# The compiler's run-time files and C++ headers in the root come from this
# gcc source package, the path they are found at and the compiler driving
# them from the installed cross compiler: both have to be the same gcc.
gcc_source=gcc-12
gcc_version=$(mips-linux-gnu-gcc -dumpversion)
if [ "${gcc_version%%.*}" != "${gcc_source#gcc-}" ]; then
  echo "board: mips-linux-gnu-gcc is gcc $gcc_version, but the root's libgcc," \
    "unwinder and C++ library are built from $gcc_source's sources: install" \
    "gcc ${gcc_source#gcc-}'s cross compilers, or build from the source package" \
    "of the compiler's version (gcc_source in board/build.sh)" >&2
  exit 1
fi

jobs=$(nproc 2>/dev/null || echo 2)
root=$build/root
parts=$build/parts
src=$build/src
specs=$build/board.specs
# The root, specs file and settings the parts are built against.
stage=$build/stage
mkdir -p "$parts" "$src" "$stage"
# The processor every part of the root and the programs are built for,
# and the hardening they ship with (musl's build reads it here, cJSON's
# and the programs' from board.cmake; uClibc-ng's is its configuration's).
. board/board.env
export BOARD_CPU_FLAGS BOARD_HARDEN_CFLAGS BOARD_HARDEN_LDFLAGS
# Where a compiler looks for its own run-time files under its sysroot.
gcc_rel=usr/lib/gcc/mips-linux-gnu/$gcc_version

# installed PACKAGE: the installed Debian package's version and the exact
# version of the source package it was built from.
installed() {
  dpkg-query -W -f='${Package} ${Version} (source: ${source:Package} ${source:Version})' "$1"
}
# tree_version TREE: the exact Debian version of an unpacked source tree.
tree_version() { dpkg-parsechangelog -l "$1/debian/changelog" -S Version; }
# compiler COMMAND: the package the compiler COMMAND runs is in.
compiler() {
  local path
  path=$(readlink -f "$(command -v "$1")")
  installed "$(dpkg -S "$path" | cut -d: -f1 | head -n 1)"
}
# What every part is compiled with.
compilers="cpu flags: $BOARD_CPU_FLAGS
compilers: $(compiler mips-linux-gnu-gcc); $(compiler mips-linux-gnu-g++)"
# What a CMake build (cJSON, the programs) is configured with besides its
# arguments.
cmake_record="cmake: $(installed cmake)
environment: CFLAGS=${CFLAGS-} CXXFLAGS=${CXXFLAGS-} LDFLAGS=${LDFLAGS-}"

# records: the records of the parts built so far, in their order.
records() {
  local part
  for part in "${done_parts[@]}"; do cat "$parts/$part.inputs"; done
}

# assemble ROOT: ROOT, anew, from the parts built so far, in their order,
# renamed into place when whole, its record in ROOT.inputs; unless it holds
# exactly these parts already.
done_parts=()
assemble() {
  local part
  if [ -d "$1" ] && [ "$(records)" = "$(cat "$1.inputs" 2>/dev/null)" ]; then
    return 0
  fi
  rm -rf "$1.part" "$1.old"
  mkdir -p "$1.part"
  for part in "${done_parts[@]}"; do
    cp -al "$parts/$part/." "$1.part/"
  done
  records >"$1.inputs.part"
  rm -f "$1.inputs"
  [ -d "$1" ] && mv "$1" "$1.old"
  mv "$1.part" "$1"
  mv "$1.inputs.part" "$1.inputs"
  rm -rf "$1.old"
}

# part NAME INPUTS COMMAND...: builds part NAME with COMMAND, which installs
# into the folder $destdir against the parts before it in $stage/root,
# unless its record says it was built from INPUTS (text naming everything
# it depends on) after the same parts before it.
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
    if [ ! -f "$build/libc" ]; then
      echo "$libc" >"$build/libc.part" && mv "$build/libc.part" "$build/libc"
    fi
    assemble "$stage/root"
    rm -f "$parts/$name.inputs"
    rm -rf "${parts:?}/$name.part" "${parts:?}/$name"
    mkdir -p "$parts/$name.part"
    destdir=$parts/$name.part
    # Through the compiler cache (board/ccache.sh), for the part's build
    # alone: the records name the compilers themselves.
    (board_ccache "$build/ccache-bin" "$build" "$stage/board.specs"; "$@")
    mv "$parts/$name.part" "$parts/$name"
    printf '%s\n' "$inputs" >"$parts/$name.inputs"
  fi
  previous=$(head -n 1 "$parts/$name.inputs")
  done_parts+=("$name")
}

# put FILE: FILE.part renamed to FILE, unless FILE holds the same already.
put() {
  if cmp -s "$1.part" "$1"; then rm -f "$1.part"; else mv "$1.part" "$1"; fi
}

# file_inputs FILE...: each file's name and content hash.
file_inputs() {
  local f
  for f in "$@"; do echo "$f $(sha256sum <"$f" | cut -c1-16)"; done
}

# The specs file: Debian's mips-linux-gnu-gcc made to compile and link
# against the root alone (it keeps searching glibc's folders even with
# --sysroot). Include folders (never /usr/mips-linux-gnu, glibc's): for
# uClibc-ng the root's C++ headers (for C++), the compiler's own, then the
# root's C headers; for musl its headers, which define the standard types
# themselves, ahead of the compiler's, as musl's own compiler wrapper
# orders them, and no C++ headers (C++ sources see the C library's only).
# Start files, libgcc, the unwinder and libraries: the root's. Made on
# every run, so that it always matches this script (and replaced only when
# it differs); it stays outside the root, which names no folder of the
# build machine.
# write_specs ROOT SPECS: the specs file SPECS for the root ROOT.
write_specs() {
  local root=$1 specs=$2
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
  put "$specs"
}
write_specs "$stage/root" "$stage/board.specs"
write_specs "$root" "$specs"

# Every source package at the newest version apt lists, before anything is
# built, so that each record names the tree its part is built from.
gcc_tree=$(bash board/gcc-source.sh "$gcc_source" "$src")
gcc_record="source: $gcc_source $(tree_version "$gcc_tree") ($(basename "$gcc_tree"), Debian's source package)"
if [ "$libc" = musl ]; then
  musl_tree=$(bash board/debian-source.sh musl "$src")
fi
cjson_tree=$(bash board/debian-source.sh cjson "$src")

build_libgcc() { bash board/libgcc.sh "$src" "$destdir/$gcc_rel"; }
part libgcc "$(file_inputs board/libgcc.sh board/gcc-source.sh board/debian-source.sh)
$gcc_record" build_libgcc

# The C library, linked against that libgcc.
build_libc() { bash "board/$libc.sh" "$src" "$stage/root/$gcc_rel/libgcc.a" "$destdir"; }
if [ "$libc" = uclibc ]; then
  # Installed packages, not fetched sources: a newer version reaches the
  # root when the system is upgraded (a build does not upgrade the
  # system's packages), and its record then differs.
  for package in uclibc-source linux-libc-dev-mips-cross; do
    candidate=$(apt-cache policy "$package" 2>/dev/null | sed -n 's/^ *Candidate: //p')
    if [ -n "$candidate" ] && [ "$candidate" != "(none)" ] &&
      dpkg --compare-versions "$candidate" gt "$(dpkg-query -W -f='${Version}' "$package")"; then
      echo "board: the archive has $package $candidate; the root is built from the" \
        "installed $(dpkg-query -W -f='${Version}' "$package") until it is upgraded" >&2
    fi
  done
  part uclibc "$(file_inputs board/uclibc.sh board/uclibc.config)
source: $(installed uclibc-source)
source: $(installed linux-libc-dev-mips-cross)" build_libc
  loader=/lib/ld-uClibc.so.0
else
  part musl "$(file_inputs board/musl.sh board/debian-source.sh)
source: musl $(tree_version "$musl_tree") ($(basename "$musl_tree"), Debian's source package)
hardening: $BOARD_HARDEN_CFLAGS; $BOARD_HARDEN_LDFLAGS" build_libc
  # musl's loader for big-endian MIPS with soft float (board/musl.sh
  # checks that it is there).
  loader=/lib/ld-musl-mips-sf.so.1
fi

# The C++ run time, which only the unit tests use: uClibc-ng's root only.
if [ "$libc" = uclibc ]; then
  build_unwind() { bash board/unwind.sh "$src" "$stage/board.specs" "$destdir/$gcc_rel"; }
  part unwind "$(file_inputs board/unwind.sh "$stage/board.specs")
$gcc_record" build_unwind

  build_libstdcxx() { bash board/libstdcxx.sh "$src" "$stage/board.specs" "$destdir"; }
  part libstdcxx "$(file_inputs board/libstdcxx.sh "$stage/board.specs")
$gcc_record" build_libstdcxx
fi

# The settings every build against the root is configured with (the
# programs here, the benchmarks' peers in bench/run.sh): cmake -C BUILD/board.cmake.
# The board's hardening comes in as a firmware's flags do, in the flags
# CMake starts a folder with; the compile flags' -fPIE gives way to the
# -fPIC CMake adds after them for a shared library.
exe_link="$BOARD_PIE_LDFLAGS $BOARD_HARDEN_LDFLAGS"
# write_settings ROOT SPECS FILE: those for the root ROOT, into FILE.
write_settings() {
  local root=$1 specs=$2
  {
    cat <<CMAKE
set(CMAKE_TOOLCHAIN_FILE "$top/board/toolchain.cmake" CACHE FILEPATH "")
set(BOARD_ROOT "$root" CACHE PATH "")
set(BOARD_SPECS "$specs" CACHE FILEPATH "")
set(BOARD_CPU_FLAGS "$BOARD_CPU_FLAGS" CACHE STRING "")
set(BOARD_LIBC "$libc" CACHE STRING "")
set(BOARD_LOADER "$loader" CACHE STRING "")
set(CMAKE_C_FLAGS "$BOARD_HARDEN_CFLAGS $BOARD_PIE_CFLAGS" CACHE STRING "")
set(CMAKE_CXX_FLAGS "$BOARD_HARDEN_CFLAGS $BOARD_PIE_CFLAGS" CACHE STRING "")
set(CMAKE_EXE_LINKER_FLAGS "$exe_link" CACHE STRING "")
set(CMAKE_SHARED_LINKER_FLAGS "$BOARD_HARDEN_LDFLAGS" CACHE STRING "")
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
  } >"$3.part"
  put "$3"
}
write_settings "$stage/root" "$stage/board.specs" "$stage/board.cmake"
write_settings "$root" "$specs" "$build/board.cmake"

# cJSON, shared, as dorvane loads it on the board.
build_cjson() { bash board/cjson.sh "$src" "$destdir" -C "$stage/board.cmake"; }
part cjson "$(file_inputs board/cjson.sh board/debian-source.sh board/toolchain.cmake \
  "$stage/board.cmake" "$stage/board.specs")
source: cjson $(tree_version "$cjson_tree") ($(basename "$cjson_tree"), Debian's source package)
$cmake_record" build_cjson

# The root, put in place when its parts changed.
assemble "$root"

# The programs and tests, configured afresh when the root, the toolchain
# file, the settings or the specs file changed (CMake keeps the flags a
# folder was first configured with), and then built from clean: their
# objects depend on the specs file and the root's headers and libraries,
# which make does not see. Warnings fail this build, and it links as most
# firmware toolchains do, keeping every library it is given (no
# --as-needed): the programs must need nothing but the C library and cJSON
# all the same (and, with uClibc-ng, its loader, where the stack
# protector's guard lives).
# The compile commands are kept for the check that every source of the
# programs had the protector.
settings=(-DCMAKE_BUILD_TYPE=Release -DTOOLS_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-as-needed $exe_link")
configured="$(cat "$build/root.inputs" "$build/board.cmake")
$(file_inputs board/toolchain.cmake cmake/release-flags.cmake "$specs")
${settings[*]}"
# What else a configure takes: CMake itself, and the flags it starts a new
# folder's CMAKE_<LANG>_FLAGS from (and keeps, were it not configured afresh).
configured="$configured
$cmake_record"
if [ "$(cat "$build/configured.inputs" 2>/dev/null)" != "$configured" ]; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles" "$build/configured.inputs"
  cmake -C "$build/board.cmake" -S . -B "$build" "${settings[@]}" >/dev/null
  cmake --build "$build" --target clean
  printf '%s\n' "$configured" >"$build/configured.inputs"
fi
cmake --build "$build" -j "$jobs"
