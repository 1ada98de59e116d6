#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Counts the MIPS instructions a whole run of a program executes under
# qemu's user-mode emulator, exactly and the same on every run.
#
# qemu translates guest code a block at a time (straight-line code up to a
# branch and its delay slot, or a system call) and, with -d in_asm, prints
# each block's instructions when it translates it; with -d exec it prints
# one "Trace" line, naming the block, every time it runs one; nochain makes
# every run of a block pass by that line. The count is the sum, over the
# Trace lines, of the block's instructions as last translated (a block may
# be translated again, after its code cache was flushed).
#
# Usage: bench/mips_count.sh [-r LOW-HIGH] -- QEMU-COMMAND...
#   prints the instructions executed; with -r also, after a space, those of
#   them in the program's code at offsets LOW <= offset < HIGH (hexadecimal,
#   from the start of its code segment as loaded), such as one function's.
#   QEMU-COMMAND is the emulator and its options, the program and its
#   arguments (for example /usr/bin/qemu-mips -cpu 4Kc -L ROOT prog arg),
#   run in an empty environment so that every run starts alike. The
#   program's output is discarded; the exit status is the count's, non-zero
#   when the log held no block.
set -euo pipefail

range=
if [ "${1:-}" = -r ]; then
  range=$2
  shift 2
fi
[ "${1:-}" = -- ] && shift

# The log goes to descriptor 3, a pipe into awk; the program's own output
# to /dev/null. The program's status is not the count's concern (`-h` may
# exit non-zero): a run that goes wrong shows in the counts. -d page adds
# where the program was loaded ("start_code 0x...").
{ env -i "$1" -d in_asm,exec,nochain,page -D /dev/fd/3 "${@:2}" 3>&1 \
  >/dev/null 2>&1 || true; } | awk -v range="$range" '
  # hex("0x1f"): the value of a hexadecimal number (mawk has no strtonum).
  function hex(s,   v, i) {
    s = tolower(s); sub(/^0x/, "", s); v = 0
    for (i = 1; i <= length(s); i++)
      v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
    return v
  }
  BEGIN { low = high = -1 }
  $1 == "start_code" && range != "" {
    split(range, r, "-")
    low = hex($2) + hex(r[1]); high = hex($2) + hex(r[2])
  }
  # A translation: "IN:" then one "0xADDRESS:  instruction" line each.
  /^IN:/ { n = 0; in_range = 0; reading = 1; next }
  reading && /^0x[0-9a-f]+:/ {
    n++
    if (low >= 0) {
      pc = hex(substr($1, 1, length($1) - 1))
      if (pc >= low && pc < high) in_range++
    }
    next
  }
  reading && /^$/ { reading = 0; pending = 1; next }
  # "Trace CPU: HOST [CS_BASE/PC/FLAGS/CFLAGS]": a block runs. The first one
  # after a translation is that translation running; its key (address and
  # flags: a delay slot run on its own differs from the same address in line)
  # names it from then on.
  /^Trace / {
    key = $4
    if (pending) { size[key] = n; inside[key] = in_range; pending = 0 }
    if (!(key in size)) {
      print "mips_count: block " key " ran untranslated" > "/dev/stderr"
      exit 2
    }
    total += size[key]; total_in += inside[key]; blocks++
  }
  END {
    if (!blocks) { print "mips_count: no block ran" > "/dev/stderr"; exit 1 }
    if (range != "" && low < 0) {
      print "mips_count: the program'"'"'s load address is not in the log" > "/dev/stderr"
      exit 1
    }
    if (range != "") print total, total_in; else print total
  }'
