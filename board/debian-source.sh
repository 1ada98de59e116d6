#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fetches a Debian source package into a folder, once: the archive is the
# only place the board's libraries and tools come from that Debian has no
# MIPS package of.
#
# Usage: board/debian-source.sh PACKAGE DIR [--download-only]
#
# Unpacks PACKAGE's sources in DIR (skipped when DIR already holds an
# unpacked PACKAGE-VERSION/ folder), or with --download-only leaves the
# package's files unpacked (for a large package of which only a little is
# needed). Prints the source folder (or DIR) on standard output. The
# version is whatever Debian serves now: old revisions leave the archive, so
# none is pinned. Adds deb-src entries mirroring the system's deb entries
# when apt knows none. Needs dpkg-dev.
set -euo pipefail

package=$1
dir=$2
mode=${3:-unpack}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
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

# present IN: the unpacked source folder in IN, or with --download-only
# the .dsc.
present() {
  local found
  if [ "$mode" = --download-only ]; then
    found=("$1/${package}_"*.dsc)
  else
    found=("$1/$package"-[0-9]*/)
  fi
  [ -e "${found[0]}" ] && echo "${found[0]%/}"
}

# Fetched into a folder of its own and moved into DIR only once apt-get
# source has finished (downloaded, unpacked and patched), so that a run
# stopped part-way leaves nothing a later run would take as done.
if [ -z "$(present "$dir")" ]; then
  if ! has_source_index; then
    add_source_entries
    $sudo apt-get update -qq
  elif ! apt-cache showsrc "$package" >/dev/null 2>&1; then
    $sudo apt-get update -qq
  fi
  part=$dir/.fetching-$package
  rm -rf "$part" && mkdir -p "$part"
  only=()
  [ "$mode" = --download-only ] && only=(--download-only)
  (cd "$part" && apt-get source -qq -o APT::Sandbox::User=root "${only[@]}" "$package" >/dev/null)
  [ -n "$(present "$part")" ] || { echo "$0: no sources for $package" >&2; exit 1; }
  mv "$part"/* "$dir/"
  rm -rf "$part"
fi
if [ "$mode" = --download-only ]; then echo "$dir"; else present "$dir"; fi
