# The board's cores are MIPS32, many of them release 1 (4Kc) and many without
# a floating-point unit, under kernels that may leave the FPU emulator out:
# one floating-point or release 2 instruction anywhere in a program or in a
# library it loads is a SIGILL waiting for the path that reaches it. Every
# instruction of each program, its loader and the shared libraries it needs
# (found in the target's root, recursively) is disassembled and checked.
# Usage: board_instructions.sh READELF OBJDUMP ROOT PROGRAM...
source "$TOOLS_SUPPORT/cli.sh"
readelf=$1
objdump=$2
root=$3
shift 3

# Decoded as release 2 so that its additions get their names.
isa=mips:isa32r2
# Release 2 additions that a release 1 core does not have. (ehb and pause
# are no-ops there.)
r2='rotrv?|seb|seh|wsbh|ext|ins|di|ei|rdhwr|synci|rdpgpr|wrpgpr|jalr\.hb|jr\.hb'
# The floating-point unit: its loads, stores and moves, its branches, the
# moves on its condition codes, and every arithmetic or conversion format.
fpu='[ls][wdu]x?c1|[ms][ft]h?c1|[cm][ft]c1|bc1[a-z]*|movf|movt'
fpu+='|[a-z0-9.]+\.(s|d|w|l|ps)|c\.[a-z]+\.(s|d|ps)'

# library_path NAME: where the loader finds a needed library in the root.
library_path() {
  local dir
  for dir in lib usr/lib; do
    [ -e "$root/$dir/$1" ] && { echo "$root/$dir/$1"; return; }
  done
}

# The files to check: each program, its interpreter, and what they need.
declare -A seen
queue=()
for program in "$@"; do
  queue+=("$program")
  interp=$("$readelf" -l "$program" |
    sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
  if [ -z "$interp" ]; then
    cli_fail "${program##*/} interpreter" "not a dynamically linked program"
  elif [ -e "$root$interp" ]; then
    queue+=("$(realpath "$root$interp")")
  else
    cli_fail "${program##*/} interpreter" "$interp is not in $root"
  fi
done
while [ ${#queue[@]} -gt 0 ]; do
  file=$(realpath "${queue[0]}")
  queue=("${queue[@]:1}")
  [ -n "${seen[$file]:-}" ] && continue
  seen[$file]=1
  for lib in $("$readelf" -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
    path=$(library_path "$lib")
    if [ -n "$path" ]; then
      queue+=("$path")
    else
      cli_fail "${file##*/} needs $lib" "not in $root/lib or $root/usr/lib"
    fi
  done
done

for file in "${!seen[@]}"; do
  name=${file#"$root"/}
  # One mnemonic a line; a file that cannot be disassembled fails.
  if ! listing=$("$objdump" -d -m "$isa" --no-show-raw-insn "$file" |
    awk -F'\t' '/^ *[0-9a-f]+:\t/ { split($2, word, " "); print word[1] }'); then
    cli_fail "$name" "$objdump could not disassemble it"
    continue
  fi
  if [ -z "$listing" ]; then
    cli_fail "$name" "no instructions found"
    continue
  fi
  found=$(grep -Ex "$r2" <<<"$listing" | sort | uniq -c | tr -s ' \n' ' ')
  if [ -z "$found" ]; then cli_pass "$name: release 1 only"; else
    cli_fail "$name: release 1 only" "release 2 instructions:$found"; fi
  found=$(grep -Ex "$fpu" <<<"$listing" | sort | uniq -c | tr -s ' \n' ' ')
  if [ -z "$found" ]; then cli_pass "$name: no FPU"; else
    cli_fail "$name: no FPU" "floating-point instructions:$found"; fi
done

cli_finish
