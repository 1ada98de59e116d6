#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The programs built for the board the way a firmware's package build
# builds them: Buildroot's own CMake toolchain file (its template and
# platform files, from the release in ../shared/buildroot/) filled in for
# the board build's root, and the cmake command line of its cmake-package
# infrastructure (package/pkg-cmake.mk) with this project's recipe options
# (buildroot/package/devicetools/devicetools.mk). The firmware's flags are
# the board's processor and -Os; it links keeping every library given.
# Buildroot's compiler wrapper is stood in for by one that runs Debian's
# mips-linux-gnu-gcc with the board build's specs file and loader.
#
# Usage: board/firmware-build.sh BOARD-BUILD BUILD-DIR   (BOARD-BUILD: the
#        board build whose root is used, build-mips; run it through
#        board/with-root.sh, which brings the root up to date and holds its
#        lock; run alone, it takes the lock itself)
# Leaves the build in BUILD-DIR/build and its install in BUILD-DIR/target.
set -euo pipefail
cd "$(dirname "$0")/.."
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
  echo "firmware-build: no $tarball; skipped"
  exit 0
fi
mkdir -p "$build"
build=$(cd "$build" && pwd)
host=$build/host
triple=mips-buildroot-linux-uclibc

# Buildroot's files, as its toolchain package installs them into HOST_DIR.
rm -rf "$host" "$build/build" "$build/target"
mkdir -p "$host/share/buildroot/Platform" "$host/bin" "$host/$triple"
tar -xJf "$tarball" -C "$build" "$release/support/misc/toolchainfile.cmake.in" \
  "$release/support/misc/Buildroot.cmake" \
  "$release/support/misc/Buildroot-Initialize.cmake"
misc=$build/$release/support/misc
cp "$misc/Buildroot.cmake" "$misc/Buildroot-Initialize.cmake" \
  "$host/share/buildroot/Platform/"
# The staging folder is the board build's root.
ln -s "$board/root" "$host/$triple/sysroot"

# The compiler wrapper: Buildroot's adds the sysroot and the processor; here
# the specs file points Debian's gcc at the root, and names the loader.
for tool in gcc:gcc g++:g++; do
  cat >"$host/bin/$triple-${tool%%:*}" <<WRAPPER
#!/bin/sh
exec mips-linux-gnu-${tool#*:} -specs=$board/board.specs \\
  -Wl,--dynamic-linker=/lib/ld-uClibc.so.0 "\$@"
WRAPPER
  chmod +x "$host/bin/$triple-${tool%%:*}"
done

# The template filled in as toolchain/toolchain/toolchain.mk does.
cflags="$BOARD_CPU_FLAGS -Os"
sed -e "s#@@STAGING_SUBDIR@@#$triple/sysroot#" \
  -e "s#@@TARGET_CFLAGS@@#$cflags#" -e "s#@@TARGET_CXXFLAGS@@#$cflags#" \
  -e "s#@@TARGET_FCFLAGS@@##" -e "s#@@TARGET_LDFLAGS@@#-Wl,--no-as-needed#" \
  -e "s#@@TARGET_CC@@#bin/$triple-gcc#" -e "s#@@TARGET_CXX@@#bin/$triple-g++#" \
  -e "s#@@TARGET_FC@@##" -e "s#@@CMAKE_SYSTEM_PROCESSOR@@#mips#" \
  -e "s#@@TOOLCHAIN_HAS_CXX@@#1#" -e "s#@@TOOLCHAIN_HAS_FORTRAN@@#0#" \
  -e "s#@@CMAKE_BUILD_TYPE@@#Release#" \
  "$misc/toolchainfile.cmake.in" >"$host/share/buildroot/toolchainfile.cmake"

# pkg-cmake.mk's configure command, then the recipe's options. The compile
# commands are kept for the check of the flags each source was given.
cmake -S . -B "$build/build" -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$host/share/buildroot/toolchainfile.cmake" \
  -DCMAKE_INSTALL_PREFIX="/usr" -DCMAKE_INSTALL_RUNSTATEDIR="/run" \
  -DCMAKE_COLOR_MAKEFILE=OFF -DBUILD_DOC=OFF -DBUILD_DOCS=OFF \
  -DBUILD_EXAMPLE=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TEST=OFF -DBUILD_TESTS=OFF \
  -DBUILD_TESTING=OFF -DBUILD_SHARED_LIBS=ON \
  -DFLAG_CONTROL_NODE=/dev/flagctl -DTOOLS_WERROR=OFF \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$build/configure.log"
cmake --build "$build/build" -j "$jobs" >"$build/build.log"
DESTDIR=$build/target cmake --install "$build/build" >/dev/null
echo "firmware-build: built and installed in $build/target"
