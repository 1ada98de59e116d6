#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A board build's records say what its root was built from, and they are
# what decides whether a part is built again: the folder keeps its C
# library; every part's record names the exact Debian version of the
# sources it was built from, the version of the trees now in the folder;
# every part compiled with the specs file holds the content of the one it
# was built with (the staging root's, which is the programs' but for the
# root it names), and the programs' configuration holds theirs; the root's
# record is its parts' records in their order.
# Usage: board_records.sh BUILD LIBC   (BUILD: a folder board/build.sh
#        built, with the C library LIBC)
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
build=$1
libc=$2
parts=$build/parts
specs="$build/board.specs $(sha256sum <"$build/board.specs" | cut -c1-16)"
staged="$build/stage/board.specs $(sha256sum <"$build/stage/board.specs" | cut -c1-16)"

# changelog_version TREE...: the Debian version of the first unpacked tree.
changelog_version() {
  [ -f "$1/debian/changelog" ] && dpkg-parsechangelog -l "$1/debian/changelog" -S Version
}
# installed PACKAGE: the installed package's version and its source's.
installed() {
  dpkg-query -W -f='${Package} ${Version} (source: ${source:Package} ${source:Version})' "$1"
}
gcc=$(changelog_version "$build"/src/gcc-[0-9]*)
cjson=$(changelog_version "$build"/src/cjson/cjson-[0-9]*)

cli_check "the folder keeps its C library, $libc" [ "$(cat "$build/libc")" = "$libc" ]

# The parts in their order: name, the source lines their record must hold,
# and whether they are compiled with the specs file.
if [ "$libc" = uclibc ]; then
  table=("libgcc|source: gcc-12 $gcc |"
    "uclibc|source: $(installed uclibc-source)|"
    "uclibc|source: $(installed linux-libc-dev-mips-cross)|"
    "unwind|source: gcc-12 $gcc |specs"
    "libstdcxx|source: gcc-12 $gcc |specs"
    "cjson|source: cjson $cjson |specs")
  order=(libgcc uclibc unwind libstdcxx cjson)
else
  musl=$(changelog_version "$build"/src/musl/musl-[0-9]*)
  table=("libgcc|source: gcc-12 $gcc |"
    "musl|source: musl $musl |"
    "cjson|source: cjson $cjson |specs")
  order=(libgcc musl cjson)
fi
for version in "$gcc" "$cjson" "${musl-x}"; do
  cli_check "every unpacked tree names its version" [ -n "$version" ]
done
for row in "${table[@]}"; do
  IFS='|' read -r part line with <<<"$row"
  cli_check "$part's record names '$line'" grep -qF -- "$line" "$parts/$part.inputs"
  [ -z "$with" ] || cli_check "$part's record holds the staging specs file's content" \
    grep -qxF -- "$staged" "$parts/$part.inputs"
done
cli_check "the staging specs file is the programs' but for the root it names" \
  [ "$(sed "s#$build/stage/root#$build/root#g" "$build/stage/board.specs")" = \
  "$(cat "$build/board.specs")" ]
cli_check "the programs' configuration holds the specs file's content" \
  grep -qxF -- "$specs" "$build/configured.inputs"
whole=$(for part in "${order[@]}"; do cat "$parts/$part.inputs"; done)
cli_check "the root's record is its parts' records in order" \
  [ "$whole" = "$(cat "$build/root.inputs")" ]
cli_finish
