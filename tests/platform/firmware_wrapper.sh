#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The firmware's stand-in compiler wrapper (board/firmware-wrapper.sh)
# against Buildroot's own (toolchain/toolchain-wrapper.c, built here from
# the release with the defaults board/firmware-build.sh gives the stand-in:
# PIC/PIE, full RELRO, the strong stack protector; and once with none of
# them). In front of a compiler that prints its arguments, both must hand
# it the same arguments for every command line below, once what only the
# stand-in adds is set aside: the specs file and the loader, which
# Buildroot's own compiler has built in.
#
# Usage: firmware_wrapper.sh WRAPPER TARBALL WORK-DIR
#   WRAPPER   board/firmware-wrapper.sh
#   TARBALL   Buildroot's release; absent, the test fails under CI
#             (CI=true) and is skipped elsewhere
#   WORK-DIR  where Buildroot's wrapper is built
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
wrapper=$1 tarball=$2 work=$3
if [ ! -f "$tarball" ]; then
  echo "no Buildroot release at $tarball"
  [ "${CI:-}" = true ] && exit 1
  echo "skipped"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work/real" "$work/hardened" "$work/plain"
release=$(basename "$tarball" .tar.xz)
tar -xJf "$tarball" -C "$work" "$release/toolchain/toolchain-wrapper.c" || exit 1

# The compiler both wrappers run: it prints what it is given.
printf '#!/bin/sh\necho "$*"\n' >"$work/real/cc"
chmod +x "$work/real/cc"

# Buildroot's wrapper, as toolchain-wrapper.mk builds it, running
# WORK-DIR/real/cc when installed as cc.
build() {
  gcc -O2 -o "$work/$1/cc" -DBR_SYSROOT='"sysroot"' \
    -DBR_CROSS_PATH_ABS="\"$work/real\"" -DBR_CROSS_PATH_SUFFIX='""' "${@:2}" \
    "$work/$release/toolchain/toolchain-wrapper.c"
}
build hardened -DBR2_PIC_PIE -DBR2_RELRO_FULL \
  -DBR_ADDITIONAL_CFLAGS='"-fstack-protector-strong",' || exit 1
build plain || exit 1

stand_in() {
  cat >"$work/$1.env" <<SETTINGS
WRAPPER_SPECS=/stand-in.specs
WRAPPER_LOADER=/stand-in-loader
WRAPPER_CPU_FLAGS=
WRAPPER_SSP=$2
WRAPPER_PIE=$3
WRAPPER_RELRO=$4
SETTINGS
}
stand_in hardened -fstack-protector-strong 1 full
stand_in plain "" 0 ""

# What decides what the wrapper adds: compiling or linking, a program or a
# shared library, position independence asked for or refused, a kernel, no
# file at all.
lines=(
  "-c a.c -o a.o" "a.o -o a" "-fPIC -shared a.o -o liba.so" "-shared a.o"
  "-fpie -c a.c" "-fPIC -c a.c" "-fno-pie -c a.c" "-fno-PIE a.c" "-no-pie a.o"
  "-static a.o" "-r a.o b.o" "-Wl,-r a.o" "-shared -fno-pie a.o"
  "-D__KERNEL__ -c a.c" "-D__UBOOT__ -c a.c" "-v" "-dumpmachine" "-E -"
)
for kind in hardened plain; do
  for line in "${lines[@]}"; do
    # shellcheck disable=SC2086 # the command line, one word an argument
    want=$("$work/$kind/cc" $line | sed 's/^--sysroot [^ ]* //')
    # shellcheck disable=SC2086
    cli_run bash "$wrapper" "$work/$kind.env" "$work/real/cc" $line
    sed -i -e 's#^-specs=/stand-in.specs ##' \
      -e 's#-Wl,--dynamic-linker=/stand-in-loader ##' "$CLI_OUT"
    cli_expect "$kind: $line" 0 "$want
"
  done
done
cli_finish
