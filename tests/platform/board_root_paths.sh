#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's root is a staging folder, as a firmware build lays one out:
# its files name the paths they have on the board (/usr/lib, /lib), never
# a folder of the machine it was built on (the root itself, the checkout,
# the build folder its parts' sources were unpacked in), or a build
# pointed at the root from anywhere else (another machine, a copy) would
# reach back into it.
# A path counts where it stands whole, neither continuing another (/usr/w
# in /usr/work) nor continued by more of a name (/w in /work); a folder
# below it counts, and so does one given to -I or -L.
# Usage: board_root_paths.sh ROOT FOLDER...   (FOLDER: the checkout and the
#        build folder, which no file in the root may name either)
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
root=$(cd "$1" && pwd -P)
shift

seen=" "
for folder in "$root" "$@"; do
  [ -d "$folder" ] || continue
  for path in "$(cd "$folder" && pwd -P)" "$(cd "$folder" && pwd -L)"; do
    case $seen in *" $path "*) continue ;; esac
    seen="$seen$path "
    # A compiler's or linker's option may run straight into it (-I/x, -L/x,
    # as a .pc or .la file holds them).
    naming=$(LC_ALL=C grep -rlaP -- "(?:(?<![\\w.+~/-])|(?<=-[IL]))\\Q$path\\E(?![\\w.+~-])" "$root" | head -n 20)
    cli_check "no file in the root names $path" [ -z "$naming" ]
    [ -z "$naming" ] || printf 'names %s:\n%s\n' "$path" "$naming"
  done
done
cli_finish
