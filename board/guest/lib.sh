# SPDX-License-Identifier: MIT
# Shell functions shared by the scripts that build and boot vm-check's
# guests (board/guest/x86_64.sh, board/guest/mips.sh) and the guests' kernel
# and busybox (board/guest/kernel.sh, board/guest/busybox.sh). Sourced, not
# run:  . board/guest/lib.sh
# shellcheck shell=bash

say() { printf 'vm-check: %s\n' "$*"; }
die() { say "$*"; exit 1; }

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
