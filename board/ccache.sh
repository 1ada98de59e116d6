# SPDX-License-Identifier: MIT
# The compiler cache for what the board's world compiles from others'
# sources again and again: the root's parts (board/build.sh), the MIPS
# guest's kernels and busybox (board/guest/). Sourced by those scripts.
#
# ccache keeps its cache where it keeps it by default, outside the checkout
# (CCACHE_DIR, else ${XDG_CACHE_HOME:-~/.cache}/ccache), so that a fresh
# clone, a new build folder or CI's next run finds what an earlier one
# compiled. Used when it is installed (scripts/need.sh lists it for the
# targets that build these) and TOOLS_CCACHE is not 0; a build without it
# is the same build, only slower.
# shellcheck shell=bash

# board_ccache BIN BASE [SPECS]: the cross compilers, for the commands this
# shell runs from now on, are ccache standing in for them (a folder of links
# named as they are, BIN, first in PATH: ccache runs the next one PATH
# names). Paths below BASE, the folder the sources, the objects and the
# specs file lie in, are hashed relative to the compiler's working folder,
# and the working folder itself is not hashed, so that the same sources
# compiled in a folder elsewhere hit: what is built from them holds no
# debug information, so nothing the cache hands back names the folder it
# was first compiled in. The specs file SPECS, which every compile given
# one is given, names its folders in full: its name on the command line
# is left out of the hash and its content, those folders below BASE
# written as relative to BASE (BIN/specs.key), taken in.
board_ccache() {
  local bin=$1 base=$2 specs=${3:-} cc
  [ "${TOOLS_CCACHE:-1}" != 0 ] && command -v ccache >/dev/null || return 0
  mkdir -p "$bin"
  for cc in mips-linux-gnu-gcc mips-linux-gnu-g++; do
    ln -sfn "$(command -v ccache)" "$bin/$cc"
  done
  export PATH=$bin:$PATH CCACHE_BASEDIR=$base CCACHE_NOHASHDIR=1
  if [ -n "$specs" ]; then
    sed "s#$base/#BASE/#g" "$specs" >"$bin/specs.key"
    export CCACHE_IGNOREOPTIONS="-specs=* --specs=*" CCACHE_EXTRAFILES=$bin/specs.key
  fi
}
