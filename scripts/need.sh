#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages a make target needs, those not installed yet,
# so that every target works on a fresh Debian 12 machine whatever ran
# before it. The lists below are the only place packages are named.
#
# Usage: scripts/need.sh TARGET...   (TARGET: a make target named below)
# Installs as root, or through sudo.
set -euo pipefail

# What builds the programs and the tests on the host.
build="cmake make g++ pkg-config libcjson-dev"
check="$build googletest libgtest-dev mandoc binutils"
# Debian's hardening flags for the host build (dpkg-buildflags).
check="$check dpkg-dev"
# The Buildroot defconfig test unpacks Buildroot, builds its Kconfig and
# reads the packages' descriptions (JSON) with jq.
check="$check gcc libc6-dev xz-utils jq"
# The board's root and programs (board/build.sh): Debian source packages,
# the MIPS cross compilers, uClibc-ng's sources with the kernel's MIPS
# headers, and qemu to run what is built; ccache for the root's parts and
# the MIPS guest's kernels and busybox (board/ccache.sh).
board="cmake make bash g++ g++-mips-linux-gnu binutils-mips-linux-gnu
  qemu-user dpkg-dev uclibc-source linux-libc-dev-mips-cross bc xz-utils ccache"

packages() {
  case $1 in
  compile | check | demo | sanitize-check) echo "$check" ;;
  memcheck) echo "$check valgrind" ;;
  fuzz-smoke) echo "$build clang-14 libclang-rt-14-dev" ;;
  # The board build, and another board's path built with clang and lld.
  cross-check) echo "$board googletest mandoc clang-14 lld-14" ;;
  # The x86-64 guest boots Debian's kernels, 6.1 and 6.12, with their
  # headers' module (the 6.12 headers bring their image), and runs the
  # checker also as an i386 program, from the i686 cross compiler; the MIPS
  # guest's kernels and busybox come from Debian's sources, on top of the
  # board's root.
  vm-check) echo "$board $build linux-headers-amd64 linux-headers-6.12-amd64
    qemu-system-x86 busybox-static cpio gzip qemu-system-mips
    gcc-mips-linux-gnu linux-source-6.1 linux-source-6.12 gcc libc6-dev
    gcc-i686-linux-gnu libc6-dev-i386-cross flex bison perl" ;;
  bench) echo "$board $build libbenchmark-dev libssl-dev valgrind coreutils
    binutils" ;;
  # Buildroot's utils/check-package imports python3's magic and flake8.
  lint) echo "clang-format clang-tidy cppcheck shellcheck mandoc
    linux-source-6.1 perl xz-utils python3 python3-magic python3-flake8
    $check" ;;
  *) echo "need.sh: no package list for '$1'" >&2; return 1 ;;
  esac
}

wanted=""
for target in "$@"; do
  wanted="$wanted $(packages "$target")"
done
missing=""
for p in $wanted; do
  case " $missing " in *" $p "*) continue ;; esac
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' ||
    missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "installing:$missing"
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
$sudo apt-get update -qq
# shellcheck disable=SC2086 # one word a package
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
  --no-install-recommends $missing >/dev/null
