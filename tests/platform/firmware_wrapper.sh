#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The firmware's stand-in compiler wrapper (board/firmware-wrapper.sh) adds
# what Buildroot's toolchain/toolchain-wrapper.c adds by default, under the
# same conditions: each command line below, given to the wrapper in front
# of a compiler that prints its arguments, must reach it with exactly the
# arguments shown (the wrapper's first, then the command's own).
#
# Usage: firmware_wrapper.sh WRAPPER
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
wrapper=$1

settings=$CLI_TMP/settings
cat >"$settings" <<'SETTINGS'
WRAPPER_SPECS=/root/board.specs
WRAPPER_LOADER=/lib/ld.so.1
WRAPPER_CPU_FLAGS='-march=mips32 -msoft-float'
WRAPPER_SSP=-fstack-protector-strong
WRAPPER_PIE=1
WRAPPER_RELRO=full
SETTINGS
compiler=$CLI_TMP/cc
printf '#!/bin/sh\necho "$*"\n' >"$compiler"
chmod +x "$compiler"

# command line | what the compiler is given before it
base='-specs=/root/board.specs -march=mips32 -msoft-float -fstack-protector-strong'
link="-Wl,--dynamic-linker=/lib/ld.so.1"
relro="-Wl,-z,now -Wl,-z,relro"
cases=(
  "-c a.c -o a.o|$base $link -fPIE -pie $relro"
  "a.o -o a|$base $link -fPIE -pie $relro"
  "-fPIC -shared a.o -o liba.so|$base $link $relro"
  "-fpie -c a.c|$base $link -pie $relro"
  "-shared a.o|$base $link -fPIE $relro"
  "-fno-pie -c a.c|$base $link $relro"
  "-no-pie a.o|$base $link $relro"
  "-fno-PIE a.c|$base $link $relro"
  "-static a.o|$base $link $relro"
  "-r a.o b.o|$base $link $relro"
  "-Wl,-r a.o|$base $link $relro"
  "-D__KERNEL__ -c a.c|$base $link"
  "-D__UBOOT__ -c a.c|$base $link"
  "-v|$base -fPIE -pie"
  "-dumpmachine|$base -fPIE -pie"
)
for entry in "${cases[@]}"; do
  line=${entry%%|*}
  # shellcheck disable=SC2086 # the command line, one word an argument
  cli_run bash "$wrapper" "$settings" "$compiler" $line
  cli_expect "$line" 0 "$(printf '%s %s' "${entry#*|}" "$line")
"
done

# Without position independence or RELRO, neither is added.
sed -i -e 's/^WRAPPER_PIE=1/WRAPPER_PIE=0/' -e 's/^WRAPPER_RELRO=full/WRAPPER_RELRO=/' \
  -e 's/^WRAPPER_SSP=.*/WRAPPER_SSP=/' "$settings"
cli_run bash "$wrapper" "$settings" "$compiler" a.o -o a
cli_expect "a.o -o a, no hardening" 0 \
  "-specs=/root/board.specs -march=mips32 -msoft-float $link a.o -o a
"
cli_finish
