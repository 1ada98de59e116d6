#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Keeps a Debian source package's newest version in a folder: the archive is
# the only place the board's libraries and tools come from that Debian has
# no MIPS package of, and a fix Debian publishes (a security update to
# cJSON, which dorvane parses every table with) has to reach the board.
#
# Usage: board/debian-source.sh PACKAGE DIR [--download-only | --present]
#
# DIR/PACKAGE/ holds the package's .dsc and the files it names, unpacked
# and patched as PACKAGE-UPSTREAM/ unless --download-only (for a large
# package of which only a little is needed). Prints the source folder (with
# --download-only, DIR/PACKAGE) on standard output.
#
# The version present (the unpacked tree's debian/changelog, or the .dsc)
# is compared with the newest one apt's source index lists; when the index
# lists a newer one, that version is fetched in its place. The index is
# apt's own, as `apt-get update` (the system's, or scripts/need.sh's)
# last refreshed it; it is refreshed here only when it lists no source for
# PACKAGE at all (deb-src entries mirroring the system's deb entries are
# added when apt knows none). So a machine without network builds from
# what it has as long as its index lists nothing newer, and the records
# name exactly that version; a newer version that cannot be fetched stops
# the build, which would otherwise go on from sources the archive has
# replaced. With --present, nothing is fetched: prints what is present, or
# fails.
#
# A fetch happens in DIR/.PACKAGE.part and is renamed to DIR/PACKAGE in one
# step once apt-get source has finished (downloaded, checked, unpacked and
# patched), so a run stopped anywhere leaves either the whole folder or
# none. Needs dpkg-dev.
set -euo pipefail

package=$1
dir=$2
mode=${3:-unpack}
case $mode in
unpack | --download-only | --present) ;;
*) echo "$0: unknown option '$mode'" >&2; exit 2 ;;
esac
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
here=$dir/$package
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi

# has_source_index: true when apt knows at least one deb-src entry.
has_source_index() {
  apt-get indextargets --format "\$(IDENTIFIER)" 2>/dev/null | grep -qx Sources
}

# add_source_entries: mirrors the system's deb entries as deb-src entries in
# a file of their own, in the format the system uses.
add_source_entries() {
  local sources=/etc/apt/sources.list.d
  if [ -f $sources/debian.sources ]; then
    # deb822 (Debian 12): same stanzas, source type.
    sed 's/^Types:.*/Types: deb-src/' $sources/debian.sources |
      $sudo tee $sources/tools-deb-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list |
      $sudo tee $sources/tools-deb-src.list >/dev/null
  fi
}

# archive_version: the newest version of PACKAGE apt's source index lists
# (nothing when it lists none).
archive_version() {
  local v newest=""
  while read -r v; do
    if [ -z "$newest" ] || dpkg --compare-versions "$v" gt "$newest"; then newest=$v; fi
  done < <(apt-cache showsrc --only-source "$package" 2>/dev/null | sed -n 's/^Version: //p')
  echo "$newest"
}

# tree IN: the unpacked source folder in IN.
tree() {
  local found=("$1/$package"-[0-9]*/)
  [ -e "${found[0]}" ] && echo "${found[0]%/}"
}

# present_version IN: the version of the sources in IN, or nothing.
present_version() {
  local found t
  if [ "$mode" = --download-only ]; then
    found=("$1/${package}_"*.dsc)
    [ -f "${found[0]}" ] && sed -n 's/^Version: //p' "${found[0]}"
  elif t=$(tree "$1") && [ -f "$t/debian/changelog" ]; then
    dpkg-parsechangelog -l "$t/debian/changelog" -S Version
  fi
  return 0
}

# result: what is printed for the sources in DIR/PACKAGE.
result() {
  if [ "$mode" = --download-only ]; then echo "$here"; else tree "$here"; fi
}

if [ "$mode" = --present ]; then
  mode=unpack
  [ -n "$(present_version "$here")" ] || { echo "$0: no sources of $package in $dir" >&2; exit 1; }
  result
  exit 0
fi

have=$(present_version "$here")
want=$(archive_version)
if [ -z "$want" ]; then
  has_source_index || add_source_entries
  # Unreachable, the archive leaves the index as it was: judged below.
  $sudo apt-get update -qq || true
  want=$(archive_version)
fi
if [ -z "$want" ]; then
  [ -n "$have" ] || { echo "$0: apt lists no sources for $package" >&2; exit 1; }
  echo "$0: apt lists no sources for $package (is the archive reachable?);" \
    "keeping the present $package $have" >&2
  result
  exit 0
fi
if [ -n "$have" ] && ! dpkg --compare-versions "$want" gt "$have"; then
  result
  exit 0
fi

[ -z "$have" ] || echo "$0: the archive has $package $want, $dir has $have: fetching it" >&2
part=$dir/.$package.part
rm -rf "$part" "$dir/.$package.old" && mkdir -p "$part"
only=()
[ "$mode" = --download-only ] && only=(--download-only)
if ! (cd "$part" && apt-get source -qq -o APT::Sandbox::User=root "${only[@]}" \
  "$package=$want" >/dev/null) || [ "$(present_version "$part")" != "$want" ]; then
  rm -rf "$part"
  echo "$0: could not fetch $package $want${have:+ (present: $have, which the archive has replaced)}" >&2
  exit 1
fi
# A present older version is moved aside first: between the two renames
# there is no DIR/PACKAGE, which the next run fetches again.
[ -e "$here" ] && mv "$here" "$dir/.$package.old"
mv "$part" "$here"
rm -rf "$dir/.$package.old"
result
