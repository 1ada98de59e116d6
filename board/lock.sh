# SPDX-License-Identifier: MIT
# The lock of a board build's folder: BUILD.lock beside BUILD covers
# everything that builds or reads BUILD's root (board/build.sh, and through
# board/with-root.sh the tests, the guests' images, the benchmarks).
# Sourced by board/build.sh and board/with-root.sh.
#
# BOARD_LOCKED lists, separated by colons, the folders (physical paths)
# whose locks this process's callers hold, so that board/build.sh run under
# board/with-root.sh for the same folder does not wait for its own caller,
# while a build of any other folder, even one started from a shell under
# board/with-root.sh, takes that folder's own lock.
# shellcheck shell=bash

# board_holds BUILD: true when BUILD's lock is held by this process's callers.
board_holds() {
  local key
  key=$(cd "$1" 2>/dev/null && pwd -P) || return 1
  case ":${BOARD_LOCKED:-}:" in
  *":$key:"*) return 0 ;;
  esac
  return 1
}

# board_lock BUILD WHAT: holds BUILD's lock until this process ends, unless
# its callers hold it, and adds BUILD to BOARD_LOCKED for the commands it
# starts. A run that has to wait says for which folder and whom, as the
# holder wrote it into the lock file (WHAT: what this run does, written in
# turn); without that it would look hung.
#
# A folder or checkout (the working folder) whose path holds white space is
# refused here, at the start of every script that builds or reads a root:
# the specs file and the compiler wrappers made from it name those paths,
# and gcc splits a specs file's options at white space.
board_lock() {
  local key lock fd path
  key=$(cd "$1" && pwd -P)
  for path in "$PWD" "$(cd "$1" && pwd)" "$key"; do
    case $path in
    *[[:space:]]*)
      echo "board: '$path' holds white space, which the specs file would" \
        "split: use a board build folder and a checkout whose paths have none" >&2
      exit 2
      ;;
    esac
  done
  board_holds "$key" && return 0
  lock=$key.lock
  exec {fd}>>"$lock"
  if ! flock -n "$fd"; then
    echo "board: waiting for the lock on $key ($lock), held by: $(head -n 1 "$lock")" >&2
    flock "$fd"
  fi
  # One line, however the command was written (make's continued lines).
  printf 'pid %s: %s\n' "$$" "$(tr -s '\\\n\t ' ' ' <<<"$2" | cut -c1-300)" >"$lock"
  export BOARD_LOCKED=${BOARD_LOCKED:+$BOARD_LOCKED:}$key
}
