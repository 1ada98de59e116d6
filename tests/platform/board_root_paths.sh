#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's root is a staging folder, as a firmware build lays one out:
# its files name the paths they have on the board (/usr/lib, /lib), never
# the folder they were built in, or a build pointed at the root from
# anywhere else (another machine, a copy) would reach back into it.
# Usage: board_root_paths.sh ROOT
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
root=$(cd "$1" && pwd -P)

naming=$(grep -rlaF -- "$root" "$root" | head -n 20)
cli_check "no file in the root names $root" [ -z "$naming" ]
[ -z "$naming" ] || printf 'names the root:\n%s\n' "$naming"
cli_finish
