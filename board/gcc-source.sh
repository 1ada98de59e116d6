#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The gcc sources the compiler's run time for the board is built from
# (board/libgcc.sh, board/unwind.sh, board/libstdcxx.sh), from Debian's
# source package PACKAGE (gcc-12), kept at the archive's newest version.
#
# Usage: board/gcc-source.sh PACKAGE SRC-DIR
#
# The package is fetched without unpacking into SRC-DIR/fetched/PACKAGE
# (board/debian-source.sh --download-only), away from the gcc-*/ trees the
# scripts look for; of its upstream tarball only
# what the run-time libraries are made from is unpacked, as
# SRC-DIR/gcc-UPSTREAM/, with the package's debian/changelog beside it so
# that the tree names the exact Debian version it came from, and the list
# of what was left out in debian/left-out. The tree is unpacked again when
# the package's version or that list changed, in a folder of its own
# renamed into place when complete. Prints the tree's folder.
set -euo pipefail

package=$1
src=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

dl=$(bash "$here/debian-source.sh" "$package" "$src/fetched" --download-only)
dscs=("$dl/${package}_"*.dsc)
version=$(sed -n 's/^Version: //p' "${dscs[0]}")

# What the run-time libraries are not made from, below the tarball's top
# folder.
left_out=('gcc/*/*' gcc/testsuite 'libstdc++-v3/testsuite/*/*' libstdc++-v3/doc/html
  gnattools gotools c++tools fixincludes lto-plugin zlib intl contrib
  maintainer-scripts)
for lib in libada libasan libatomic libbacktrace libcc1 libcody libcpp \
  libdecnumber libffi libgfortran libgm2 libgo libgomp libitm libobjc \
  liboffloadmic libphobos libquadmath libsanitizer libssp libvtv; do
  left_out+=("$lib")
done

trees=("$src"/gcc-[0-9]*/)
gcc=${trees[0]%/}
if [ -f "$gcc/debian/changelog" ] &&
  [ "$(dpkg-parsechangelog -l "$gcc/debian/changelog" -S Version)" = "$version" ] &&
  [ "$(cat "$gcc/debian/left-out" 2>/dev/null)" = "$(printf '%s\n' "${left_out[@]}")" ]; then
  echo "$gcc"
  exit 0
fi

origs=("$dl/${package}_"*.orig.tar.*)
orig=${origs[0]}
debs=("$dl/${package}_"*.debian.tar.*)
inner=$(tar -tf "$orig" | grep '/gcc-[0-9.]*-dfsg\.tar\.xz$' | head -n 1)
top=$(basename "$inner" -dfsg.tar.xz)
# gcc-12's sources hold gcc 12: the package's name says which major
# version the compiler pairing with them must have (board/build.sh).
case $top in
"gcc-${package#gcc-}".*) ;;
*) echo "$0: $package $version holds $top" >&2; exit 1 ;;
esac
echo "gcc sources for the board's run time: $top from $package $version" >&2
excludes=()
for path in "${left_out[@]}"; do excludes+=("--exclude=$top/$path"); done
rm -rf "$src/gcc.part" && mkdir -p "$src/gcc.part"
tar -xf "$orig" -O "$inner" | tar -xJ --no-same-owner -C "$src/gcc.part" "${excludes[@]}"
tar -xf "${debs[0]}" --no-same-owner -C "$src/gcc.part/$top" debian/changelog
printf '%s\n' "${left_out[@]}" >"$src/gcc.part/$top/debian/left-out"
# Older trees go first: the scripts take the one gcc-*/ folder there is.
for old in "${trees[@]}"; do
  [ -d "$old" ] && rm -rf "$old"
done
mv "$src/gcc.part/$top" "$src/$top"
rm -rf "$src/gcc.part"
echo "$src/$top"
