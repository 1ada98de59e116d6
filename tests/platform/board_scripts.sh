#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board build's own decisions, checked in throwaway folders with stand-in
# tools, so that none needs the archive or a real build:
#
#   board/debian-source.sh   fetches the archive's newest version in place of
#                            an older tree, fetches nothing when the tree is
#                            current, stops when a newer version cannot be
#                            fetched, keeps the present tree when the archive
#                            cannot be reached, and puts a fetch in place in
#                            one step (a run stopped while putting it in
#                            place leaves nothing the next run accepts)
#   board/build.sh           refuses a C library other than its folder's,
#                            takes the lock of its own folder even under a
#                            lock of another's (and says what it waits for),
#                            not when its caller holds that very lock,
#                            refuses a cross compiler of another major
#                            version than its gcc sources without keeping a
#                            C library for the folder, and refuses a folder
#                            whose path holds a space; each with apt-get and
#                            sudo that fail loudly, never reached
#
# Usage: board_scripts.sh CHECKOUT
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
top=$1
tmp=$CLI_TMP
stubs=$tmp/stubs
mkdir -p "$stubs"

# Stand-ins for apt: the source index lists the versions in STUB_VERSIONS
# (the last one the newest); `apt-get source` logs what it was asked for in
# STUB_LOG and writes a package's files (and its unpacked tree) unless
# STUB_FETCH_FAILS is set; `apt-get update` fails when STUB_OFFLINE is set.
cat >"$stubs/apt-cache" <<'STUB'
#!/usr/bin/env bash
[ "$1" = showsrc ] || exit 1
for v in ${STUB_VERSIONS:-}; do printf 'Package: %s\nVersion: %s\n\n' "${!#}" "$v"; done
STUB
cat >"$stubs/apt-get" <<'STUB'
#!/usr/bin/env bash
case $1 in
indextargets) echo Sources; exit 0 ;;
update) [ -z "${STUB_OFFLINE:-}" ]; exit ;;
esac
only=""
for arg; do
  case $arg in
  --download-only) only=1 ;;
  source | -* | APT::*) ;;
  *) want=$arg ;;
  esac
done
# Without a version, apt fetches the newest.
case $want in *=*) ;; *) v=(${STUB_VERSIONS:-}) && want=$want=${v[-1]} ;; esac
echo "source $want" >>"$STUB_LOG"
[ -z "${STUB_FETCH_FAILS:-}" ] || exit 100
package=${want%%=*} version=${want#*=}
upstream=${version%-*}
printf 'Version: %s\n' "$version" >"${package}_$version.dsc"
echo debian >"${package}_$version.debian.tar.xz"
echo orig >"${package}_$upstream.orig.tar.gz"
if [ -z "$only" ]; then
  mkdir -p "$package-$upstream/debian"
  printf '%s (%s) unstable; urgency=medium\n\n  * Stand-in.\n\n -- A <a@example.org>  Mon, 01 Jan 2024 00:00:00 +0000\n' \
    "$package" "$version" >"$package-$upstream/debian/changelog"
fi
STUB
printf '#!/usr/bin/env bash\n"$@"\n' >"$stubs/sudo"
chmod +x "$stubs"/*
export STUB_LOG=$tmp/fetches
src() { PATH=$stubs:$PATH bash "$top/board/debian-source.sh" "$@" 2>"$tmp/err"; }
# version_of TREE: the version on the first line of its changelog.
version_of() { sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$1/debian/changelog"; }
fetches() { if [ -f "$STUB_LOG" ]; then wc -l <"$STUB_LOG"; else echo 0; fi; }
# printed VERSION: the tree printed is of VERSION.
printed() { [ -f "$tree/debian/changelog" ] && [ "$(version_of "$tree")" = "$1" ]; }
# one_tree VERSION: one tree of pkg is left in the folder, of VERSION.
one_tree() {
  local trees
  mapfile -t trees < <(find "$s" -path '*/pkg-*/debian/changelog')
  [ ${#trees[@]} = 1 ] && [ "$(version_of "${trees[0]%/debian/changelog}")" = "$1" ]
}

# Each row: the archive's versions | what it does (ok, fails, offline) |
# the tree's version afterwards | fetches made by the run.
s=$tmp/src
for row in "1.0-1|ok|1.0-1|1" \
  "1.0-1|ok|1.0-1|0" \
  "0.9-1 1.0-1 1.0-1+deb12u1|ok|1.0-1+deb12u1|1" \
  "1.0-1+deb12u1 1.0-2|fails|1.0-1+deb12u1|1" \
  "|offline|1.0-1+deb12u1|0"; do
  IFS='|' read -r versions how after fetched <<<"$row"
  before=$(fetches)
  unset STUB_FETCH_FAILS STUB_OFFLINE
  [ "$how" = fails ] && export STUB_FETCH_FAILS=1
  [ "$how" = offline ] && export STUB_OFFLINE=1
  tree=$(STUB_VERSIONS=$versions src pkg "$s")
  status=$?
  [ "$how" = fails ] || cli_check "[$versions] $how: succeeds" [ "$status" = 0 ]
  [ "$how" != fails ] || cli_check "[$versions] $how: fails, naming both" \
    grep -q "1.0-2.*1.0-1+deb12u1" "$tmp/err"
  cli_check "[$versions] $how: one tree, $after" one_tree "$after"
  [ "$how" = fails ] || cli_check "[$versions] $how: prints the tree" printed "$after"
  cli_check "[$versions] $how: $fetched fetch(es)" [ $(($(fetches) - before)) = "$fetched" ]
done
unset STUB_FETCH_FAILS STUB_OFFLINE
STUB_VERSIONS='' src other "$s" >/dev/null
cli_check "nothing present and no sources listed: fails" [ $? != 0 ]

# A stop while the fetched files are put in place: this mv renames all but
# the last of what it is given, then stops the script that ran it.
mkdir -p "$tmp/stop"
cat >"$tmp/stop/mv" <<'STUB'
#!/usr/bin/env bash
args=("$@")
for ((i = 0; i < ${#args[@]} - 2; i++)); do /bin/mv "${args[i]}" "${args[-1]}"; done
kill -9 "$PPID"
STUB
chmod +x "$tmp/stop/mv"
d=$tmp/dl
(STUB_VERSIONS=2.0-1 PATH=$tmp/stop:$stubs:$PATH bash "$top/board/debian-source.sh" big "$d" \
  --download-only || true) >/dev/null 2>&1
got=$(STUB_VERSIONS=2.0-1 src big "$d" --download-only)
complete() { [ -f "$got/big_2.0-1.dsc" ] && [ -f "$got/big_2.0.orig.tar.gz" ]; }
cli_check "after a stop, the next run has the .dsc and its tarballs" complete

# board/build.sh in a throwaway folder that was built with musl. Each
# refusal comes at once: the time limits only stop a build that went on,
# and apt-get and sudo, which a build that went on would run, say so and
# fail (PATH=$loud:...).
loud=$tmp/loud
mkdir -p "$loud"
for tool in apt-get sudo; do
  printf '#!/bin/sh
echo "%s $*" >>"%s"
echo "stub %s: not to be run here" >&2
exit 99
' \
    "$tool" "$tmp/loud.log" "$tool" >"$loud/$tool"
done
chmod +x "$loud"/*
export PATH=$loud:$PATH
b=$tmp/board
mkdir -p "$b" && echo musl >"$b/libc"
cd "$top" || exit 1
timeout 30 bash board/build.sh "$b" uclibc >/dev/null 2>"$tmp/err"
cli_check "another C library: refused" [ $? = 1 ]
cli_check "the refusal names both" grep -q "musl.*uclibc" "$tmp/err"
timeout 30 bash board/with-root.sh --libc=uclibc "$b" touch "$tmp/ran" >/dev/null 2>&1
cli_check "with-root.sh: refused, command not run" [ ! -e "$tmp/ran" ]

# The folder's lock held elsewhere: a build of it started under another
# folder's lock waits, and says for what; under its own, it does not wait.
(exec 8>>"$b.lock" && flock 8 && exec sleep 60) &
holder=$!
for _ in $(seq 100); do flock -n "$b.lock" true || break; sleep 0.1; done
BOARD_LOCKED=$tmp/elsewhere setsid bash board/build.sh "$b" uclibc >/dev/null 2>"$tmp/err" &
waiter=$!
for _ in $(seq 200); do grep -q waiting "$tmp/err" && break; sleep 0.1; done
cli_check "under another folder's lock: waits for its own, saying so" \
  grep -q "waiting for the lock on $(cd "$b" && pwd -P)" "$tmp/err"
cli_check "and is still waiting" kill -0 "$waiter"
kill -- -"$waiter" 2>/dev/null
BOARD_LOCKED=$tmp/elsewhere:$(cd "$b" && pwd -P) timeout 30 bash board/build.sh "$b" uclibc \
  >/dev/null 2>"$tmp/err"
cli_check "under its own lock: goes on (to the C library's refusal)" [ $? = 1 ]
kill "$holder"
wait "$holder" 2>/dev/null

# A cross compiler of another major version than the gcc sources.
cat >"$stubs/mips-linux-gnu-gcc" <<'STUB'
#!/usr/bin/env bash
echo 13
STUB
chmod +x "$stubs/mips-linux-gnu-gcc"
PATH=$loud:$stubs:$PATH timeout 30 bash board/build.sh "$tmp/gcc13" >/dev/null 2>"$tmp/err"
cli_check "gcc 13 with gcc-12's sources: refused" [ $? = 1 ]
cli_check "the refusal names both" grep -q "gcc 13.*gcc-12" "$tmp/err"
cli_check "nothing was fetched or built" [ -z "$(ls -A "$tmp/gcc13/src" 2>/dev/null)" ]
cli_check "no C library kept for the folder" [ ! -e "$tmp/gcc13/libc" ]

timeout 30 bash board/build.sh "$tmp/with space" >/dev/null 2>"$tmp/err"
cli_check "a folder whose path holds a space: refused" [ $? = 2 ]
cli_check "the refusal names the path" grep -qF "'$tmp/with space' holds white space" "$tmp/err"
cli_check "apt-get and sudo were never run" [ ! -e "$tmp/loud.log" ]
cli_finish
