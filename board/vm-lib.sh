# Shell functions shared by the scripts that build and boot vm-check's
# guests (board/vm-*.sh) and the guests' kernel and busybox (board/kernel.sh,
# board/busybox.sh). Sourced, not run:  . board/vm-lib.sh

if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi

say() { printf 'vm-check: %s\n' "$*"; }
die() { say "$*"; exit 1; }

# need PACKAGE...: installs the named Debian packages that are not installed.
need() {
  local missing="" p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' ||
      missing="$missing $p"
  done
  [ -z "$missing" ] && return 0
  say "installing:$missing"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
    --no-install-recommends $missing >/dev/null
}

# pack_initramfs ROOT ARCHIVE: the tree ROOT as a gzip'd newc archive, every
# file owned by root.
pack_initramfs() {
  (cd "$1" && find . | LC_ALL=C sort | cpio -o -H newc --quiet -R 0:0) |
    gzip -1 >"$2"
}

# boot_guest LOG TIMEOUT QEMU ARGS...: runs a guest with its serial console
# in LOG, for at most TIMEOUT seconds. qemu exits 0 whatever the guest did
# (a panic included), so its status only reports a time-out or qemu's own
# failure; the console is the evidence.
boot_guest() {
  local log=$1 timeout_s=$2 status=0
  shift 2
  rm -f "$log"
  say "booting (at most ${timeout_s} s)"
  timeout "$timeout_s" "$@" -serial "file:$log" </dev/null || status=$?
  [ "$status" -eq 124 ] && say "the guest did not finish within ${timeout_s} s"
  [ "$status" -ne 0 ] && [ "$status" -ne 124 ] && say "qemu exited with status $status"
  return 0
}

# judge LOG RELEASE: passes when the guest's console shows its tally line,
# naming kernel RELEASE, with something passed and nothing failed; prints
# the guest's vm-check lines, or the end of the console when it fails.
judge() {
  local log=$1 release=$2 passed failed guest
  tr -d '\r' <"$log" >"$log.txt"
  read -r passed failed guest < <(sed -n \
    's/^vm-check: \([0-9]*\) passed, \([0-9]*\) failed on Linux \([^ ]*\) .*$/\1 \2 \3/p' \
    "$log.txt") || true
  if [ "${guest:-}" = "$release" ] && [ "${failed:-}" = 0 ] &&
    [ "${passed:-0}" -gt 0 ]; then
    grep -a '^vm-check: ' "$log.txt"
    return 0
  fi
  say "the guest's console ($log), last lines:"
  tail -n 80 "$log.txt"
  if [ -z "${failed:-}" ]; then
    say "the guest printed no tally"
  elif [ "$guest" != "$release" ]; then
    say "the guest ran kernel '$guest', not $release"
  fi
  return 1
}
