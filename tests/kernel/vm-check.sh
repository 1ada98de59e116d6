#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make vm-check: the reference flag driver and the real dorvane in real
# kernels under software emulation, one guest per processor, each booted on
# every kernel series tested: Linux 6.1 and 6.12. Each guest's image is
# built and booted by board/guest/; its /init runs this folder's cases
# (init.sh, raw_requests.c) and prints a tally naming the kernel's release
# on the console, which is all that is judged here:
#
#   x86_64  Debian's own kernels on two processors (board/guest/x86_64.sh,
#           in build-vm/SERIES/): request 2 is also the kernel's FIGETBSZ
#           there, so the driver also answers an encoded alias of it, and
#           dorvane runs under flagctl-steer (flagctl_steer.c), which
#           rewrites its request 2 on the node into the alias; the checker
#           also runs as a 32-bit program, through the compat path
#   mips    the board as it ships: a 4Kc (release 1, no FPU) under Linux
#           built from Debian's sources without the FPU emulator, every
#           program built on the board's root, dorvane and obscure as its
#           install rule puts them, and every ELF file checked before boot
#           (mips_image.sh); request 2 reaches the driver as it is
#           (board/guest/mips.sh, in build-vm-mips/SERIES/)
#
# Usage, from the repository root: bash tests/kernel/vm-check.sh
# Environment: VM_GUEST (x86_64 or mips; default both), VM_KERNEL (6.1 or
# 6.12; default both), VM_BUILD and VM_MIPS_BUILD (the guests' folders).
# Passes only when every guest passes on every kernel.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1

say() { printf 'vm-check: %s\n' "$*"; }

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

guests=${VM_GUEST:-x86_64 mips}
kernels=${VM_KERNEL:-6.1 6.12}
failed=""
for guest in $guests; do
  case $guest in
  x86_64 | mips) ;;
  *)
    echo "vm-check: VM_GUEST must be x86_64 or mips, not '$guest'" >&2
    exit 2
    ;;
  esac
done
for kernel in $kernels; do
  case $kernel in
  6.1 | 6.12) ;;
  *)
    echo "vm-check: VM_KERNEL must be 6.1 or 6.12, not '$kernel'" >&2
    exit 2
    ;;
  esac
done
bash scripts/need.sh vm-check || exit 1
# Every guest's tally, "GUEST SERIES: its tally line", for the summary.
tallies=""
for guest in $guests; do
  case $guest in
  x86_64) build=${VM_BUILD:-build-vm} ;;
  mips) build=${VM_MIPS_BUILD:-build-vm-mips} ;;
  esac
  for kernel in $kernels; do
    say "$guest guest on Linux $kernel"
    dir=$build/$kernel
    rm -f "$dir/release" "$dir/serial.log" "$dir/serial.log.txt"
    if ! bash "board/guest/$guest.sh" "$kernel"; then
      failed="$failed $guest/$kernel"
    elif ! judge "$dir/serial.log" "$(cat "$dir/release")"; then
      failed="$failed $guest/$kernel"
    fi
    tally=$(grep -a '^vm-check: [0-9]* passed, ' "$dir/serial.log.txt" 2>/dev/null |
      tail -n 1)
    tallies="$tallies$guest $kernel: ${tally#vm-check: }
"
  done
done
say "tallies:"
printf '%s' "$tallies" | sed 's/: $/: no tally/; s/^/  /'
if [ -n "$failed" ]; then
  echo "vm-check: failed:$failed"
  exit 1
fi
