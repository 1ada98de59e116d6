#!/usr/bin/env bash
# make vm-check: the reference flag driver and the real dorvane in real
# kernels under software emulation, one guest per processor:
#
#   x86_64  Debian's own kernel (board/vm-x86_64.sh): request 2 is also the
#           kernel's FIGETBSZ there, so the module carries its probe
#   mips    the board's processor, Linux built from Debian's sources, with
#           dorvane from the board build (board/vm-mips.sh)
#
# Usage, from the repository root: bash board/vm-check.sh
# Environment: VM_GUEST (x86_64 or mips; default both). Each guest prints
# its own tally; this passes only when every guest run passes.
set -uo pipefail
cd "$(dirname "$0")/.."

guests=${VM_GUEST:-x86_64 mips}
failed=""
for guest in $guests; do
  case $guest in
  x86_64|mips) ;;
  *) echo "vm-check: VM_GUEST must be x86_64 or mips, not '$guest'" >&2; exit 2 ;;
  esac
done
for guest in $guests; do
  bash "board/vm-$guest.sh" || failed="$failed $guest"
done
if [ -n "$failed" ]; then
  echo "vm-check: failed:$failed"
  exit 1
fi
