#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The programs built for the board the way a firmware's package build
# builds them by default: Buildroot's own CMake toolchain file (its
# template and platform files, from the release in ../shared/buildroot/)
# filled in for the board build's root, and the cmake command line of its
# cmake-package infrastructure (package/pkg-cmake.mk) with this project's
# recipe options (buildroot/package/devicetools/devicetools.mk).
#
# The flags are Buildroot's defaults. Its TARGET_CFLAGS (package/Makefile.in):
# the large-file interface, -O2 (BR2_OPTIMIZE_2; -Os with --optimize=s, as
# BR2_OPTIMIZE_S gives) and -g0; on musl, -ztext in its TARGET_LDFLAGS. Its
# compiler wrapper's (toolchain/toolchain-wrapper.c, stood in for by
# board/firmware-wrapper.sh): -fPIE and -pie (BR2_PIC_PIE), -z now and
# -z relro (BR2_RELRO_FULL) and, where the root's C library has the stack
# protector, -fstack-protector-strong (BR2_SSP_STRONG). It links keeping
# every library given.
#
# Usage: board/firmware-build.sh [--optimize=s] BOARD-BUILD BUILD-DIR
#        (BOARD-BUILD: the board build whose root is used, build-mips or
#        build-mips-musl; run it through board/with-root.sh, which brings
#        the root up to date and holds its lock; run alone, it takes the
#        lock itself)
# Leaves the build in BUILD-DIR/build and its install in BUILD-DIR/target.
# Without Buildroot's release it builds nothing: outside CI it says so and
# succeeds, under CI (CI=true) it fails.
set -euo pipefail
cd "$(dirname "$0")/.."

level=-O2
case $1 in
--optimize=s)
  level=-Os
  shift
  ;;
--optimize=*)
  echo "$0: --optimize: s or none, not '${1#--optimize=}'" >&2
  exit 2
  ;;
esac
# Whatever happens next, no earlier install is left to be judged.
rm -rf "$2/target"

# shellcheck source=board.env
source board/board.env
. board/lock.sh
board_lock "$1" "board/firmware-build.sh $*"
release=buildroot-2026.02.3
tarball=$PWD/../shared/buildroot/$release.tar.xz
board=$(cd "$1" && pwd)
build=$2
jobs=$(nproc 2>/dev/null || echo 2)
if [ ! -f "$tarball" ]; then
  if [ "${CI:-}" = true ]; then
    echo "firmware-build: no $tarball" >&2
    exit 1
  fi
  echo "firmware-build: no $tarball; skipped"
  exit 0
fi
mkdir -p "$build"
build=$(cd "$build" && pwd)
host=$build/host

# The board build's C library and loader, as it configured them.
setting() { sed -n "s/^set($1 \"\\(.*\\)\" CACHE .*/\\1/p" "$board/board.cmake"; }
libc=$(setting BOARD_LIBC)
loader=$(setting BOARD_LOADER)
case $libc in
uclibc | musl) ;;
*) echo "$0: $board/board.cmake names no C library" >&2 && exit 1 ;;
esac
triple=mips-buildroot-linux-$libc

# The stack protector's guard, where the root's C library defines it (in
# uClibc-ng's loader, in musl's libc): a toolchain whose library has none
# cannot link protected code, and Buildroot offers no protection then.
ssp=""
for lib in "$board/root$loader" "$board"/root/lib/libc.so.* "$board"/root/usr/lib/libc.so; do
  [ -f "$lib" ] || continue
  # grep reads the whole list: nm, cut short, would fail the pipeline.
  if mips-linux-gnu-nm -D --defined-only "$lib" 2>/dev/null |
    grep ' __stack_chk_guard$' >/dev/null; then
    ssp=-fstack-protector-strong
  fi
done

# Buildroot's files, as its toolchain package installs them into HOST_DIR.
rm -rf "$host" "$build/build"
mkdir -p "$host/share/buildroot/Platform" "$host/bin" "$host/$triple"
tar -xJf "$tarball" -C "$build" "$release/support/misc/toolchainfile.cmake.in" \
  "$release/support/misc/Buildroot.cmake" \
  "$release/support/misc/Buildroot-Initialize.cmake"
misc=$build/$release/support/misc
cp "$misc/Buildroot.cmake" "$misc/Buildroot-Initialize.cmake" \
  "$host/share/buildroot/Platform/"
# The staging folder is the board build's root.
ln -s "$board/root" "$host/$triple/sysroot"

# The compiler wrapper, with its settings.
cat >"$host/bin/toolchain-wrapper.env" <<SETTINGS
WRAPPER_SPECS='$board/board.specs'
WRAPPER_LOADER='$loader'
WRAPPER_CPU_FLAGS='$BOARD_CPU_FLAGS'
WRAPPER_SSP='$ssp'
WRAPPER_PIE=1
WRAPPER_RELRO=full
SETTINGS
for tool in gcc g++; do
  cat >"$host/bin/$triple-$tool" <<WRAPPER
#!/bin/sh
exec bash '$PWD/board/firmware-wrapper.sh' '$host/bin/toolchain-wrapper.env' \\
  mips-linux-gnu-$tool "\$@"
WRAPPER
  chmod +x "$host/bin/$triple-$tool"
done

# The template filled in as toolchain/toolchain/toolchain.mk does.
cflags="-D_LARGEFILE_SOURCE -D_LARGEFILE64_SOURCE -D_FILE_OFFSET_BITS=64 $level -g0"
ldflags=-Wl,--no-as-needed
[ "$libc" != musl ] || ldflags="-ztext $ldflags"
sed -e "s#@@STAGING_SUBDIR@@#$triple/sysroot#" \
  -e "s#@@TARGET_CFLAGS@@#$cflags#" -e "s#@@TARGET_CXXFLAGS@@#$cflags#" \
  -e "s#@@TARGET_FCFLAGS@@##" -e "s#@@TARGET_LDFLAGS@@#$ldflags#" \
  -e "s#@@TARGET_CC@@#bin/$triple-gcc#" -e "s#@@TARGET_CXX@@#bin/$triple-g++#" \
  -e "s#@@TARGET_FC@@##" -e "s#@@CMAKE_SYSTEM_PROCESSOR@@#mips#" \
  -e "s#@@TOOLCHAIN_HAS_CXX@@#1#" -e "s#@@TOOLCHAIN_HAS_FORTRAN@@#0#" \
  -e "s#@@CMAKE_BUILD_TYPE@@#Release#" \
  "$misc/toolchainfile.cmake.in" >"$host/share/buildroot/toolchainfile.cmake"

# pkg-cmake.mk's configure command, then the recipe's options. The compile
# commands are kept for the check of the flags each source was given. A
# Buildroot toolchain with C++ has the C++ library, which the board's musl
# root lacks (the programs never link it): CMake's check of the compilers
# then compiles without linking, as the board build's own does.
no_cxx_library=()
[ "$libc" != musl ] || no_cxx_library=(-DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY)
cmake -S . -B "$build/build" -G "Unix Makefiles" "${no_cxx_library[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$host/share/buildroot/toolchainfile.cmake" \
  -DCMAKE_INSTALL_PREFIX="/usr" -DCMAKE_INSTALL_RUNSTATEDIR="/run" \
  -DCMAKE_COLOR_MAKEFILE=OFF -DBUILD_DOC=OFF -DBUILD_DOCS=OFF \
  -DBUILD_EXAMPLE=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TEST=OFF -DBUILD_TESTS=OFF \
  -DBUILD_TESTING=OFF -DBUILD_SHARED_LIBS=ON \
  -DFLAG_CONTROL_NODE=/dev/flagctl -DTOOLS_WERROR=OFF \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$build/configure.log"
cmake --build "$build/build" -j "$jobs" >"$build/build.log"
DESTDIR=$build/target cmake --install "$build/build" >/dev/null
echo "firmware-build: $libc, $level${ssp:+, $ssp}: installed in $build/target"
