#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Lists what programs load from a target's root: the interpreter each names
# and every shared library that they and those libraries need, as the
# board's loader finds them (in /lib, then /usr/lib). One path a line,
# relative to the root, each once.
#
# Usage: board/loads.sh READELF ROOT PROGRAM...
#
# Exits 1, after listing what it found, when a program names no interpreter
# (it is not a dynamically linked program) or something needed is not in
# the root; what is missing goes to standard error.
set -uo pipefail

readelf=$1
root=$2
shift 2
status=0
missing() { echo "$1" >&2; status=1; }

declare -A seen
queue=()
# Each program's interpreter, then each file's needed libraries.
for program in "$@"; do
  interp=$("$readelf" -l "$program" |
    sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
  if [ -z "$interp" ]; then
    missing "$program: not a dynamically linked program"
  elif [ -e "$root$interp" ]; then
    queue+=("${interp#/}")
  else
    missing "$program: its interpreter $interp is not in $root"
  fi
done
files=("$@")
while [ ${#files[@]} -gt 0 ]; do
  for lib in $("$readelf" -d "${files[0]}" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
    if [ -e "$root/lib/$lib" ]; then
      queue+=("lib/$lib")
    elif [ -e "$root/usr/lib/$lib" ]; then
      queue+=("usr/lib/$lib")
    else
      missing "${files[0]}: needs $lib, which is not in $root/lib or $root/usr/lib"
    fi
  done
  files=("${files[@]:1}")
  while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}
    queue=("${queue[@]:1}")
    [ -n "${seen[$path]:-}" ] && continue
    seen[$path]=1
    echo "$path"
    files+=("$root/$path")
  done
done
exit $status
