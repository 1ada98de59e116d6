#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The compiler wrapper of a firmware's toolchain, as board/firmware-build.sh
# installs it: it runs Debian's cross compiler with what Buildroot's wrapper
# (toolchain/toolchain-wrapper.c) adds to every command by default, in its
# order and under its conditions, before the command's own arguments.
#
# Usage: firmware-wrapper.sh SETTINGS COMPILER ARGS...
#        (SETTINGS: a file of the variables below, written by
#        board/firmware-build.sh; COMPILER: mips-linux-gnu-gcc or -g++)
#
#   WRAPPER_SPECS      the specs file that points the compiler at the root
#   WRAPPER_LOADER     the programs' interpreter on the board
#   WRAPPER_CPU_FLAGS  the processor, which Buildroot's own compiler has
#                      configured in and Debian's has not
#   WRAPPER_SSP        the stack protector's option, or empty where the
#                      root's C library has none (BR2_SSP_OPTION)
#   WRAPPER_PIE        1 to build position-independent (BR2_PIC_PIE)
#   WRAPPER_RELRO      full, partial or empty (BR2_RELRO_FULL, _PARTIAL)
set -eu
# shellcheck source=/dev/null # written by board/firmware-build.sh
. "$1"
compiler=$2
shift 2

# A command with no file to work on (gcc -v, -dumpmachine) links nothing:
# the wrapper then leaves its linker options out. An option's value counts
# as a file here, as it does for Buildroot's wrapper.
files=0
for arg in "$@"; do
  case $arg in
  -*) ;;
  *) files=1 && break ;;
  esac
done

# shellcheck disable=SC2206 # the processor's options, one word each
added=(-specs="$WRAPPER_SPECS" $WRAPPER_CPU_FLAGS)
[ -z "$WRAPPER_SSP" ] || added+=("$WRAPPER_SSP")
[ "$files" = 0 ] || added+=("-Wl,--dynamic-linker=$WRAPPER_LOADER")

# Position independence unless the command asks for none, links
# relocatably or statically, or builds a kernel or a boot loader; code a
# command already makes position-independent keeps its own option, and a
# shared library is not linked as a program.
if [ "$WRAPPER_PIE" = 1 ]; then
  pie=1 shared=0
  for arg in "$@"; do
    case $arg in
    -r | -Wl,-r | -static | -D__KERNEL__ | -D__UBOOT__ | -fno-pie | -fno-PIE | -no-pie)
      pie=0 && break
      ;;
    -shared) shared=1 ;;
    esac
  done
  if [ "$pie" = 1 ]; then
    pic=0
    for arg in "$@"; do
      case $arg in
      -fpie | -fPIE | -fpic | -fPIC) pic=1 && break ;;
      esac
    done
    [ "$pic" = 1 ] || added+=(-fPIE)
    [ "$shared" = 1 ] || added+=(-pie)
  fi
fi

# Relocations made read-only after loading, and with full RELRO every
# symbol bound at start-up so that the whole table can be; not for a kernel
# or a boot loader, and only where something is linked.
kernel=0
for arg in "$@"; do
  case $arg in
  -D__KERNEL__ | -D__UBOOT__) kernel=1 && break ;;
  esac
done
if [ "$kernel" = 0 ] && [ "$files" = 1 ]; then
  case $WRAPPER_RELRO in
  full) added+=("-Wl,-z,now" "-Wl,-z,relro") ;;
  partial) added+=("-Wl,-z,relro") ;;
  esac
fi

exec "$compiler" "${added[@]}" "$@"
