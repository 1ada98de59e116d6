#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's C library is uClibc-ng or musl, not glibc: a program that imports a glibc
# extension (strchrnul, asprintf, a fortified __*_chk function on the board)
# links here and fails to load there. Each program's imports must be ISO C or POSIX, and it
# may need no shared library besides the C library (and cJSON's, where cJSON
# is not linked in statically; and uClibc-ng's loader, where the program
# takes the stack protector's guard from it).
# Usage: imported_symbols.sh NM OBJDUMP PROGRAM...
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
nm=$1
objdump=$2
shift 2

# What a program may import, by the standard that defines it. Absent on
# purpose: stderr and perror (the programs never write to standard error)
# and getenv (they read no environment).
allowed=(
  # ISO C11 7.21, <stdio.h>
  stdout printf fprintf snprintf sprintf vprintf vfprintf vsnprintf vsprintf
  puts fputs putchar fputc putc fwrite fread fflush ferror feof clearerr
  fopen fclose fgets fgetc getc getchar sscanf
  # ISO C11 7.22, <stdlib.h>
  malloc calloc realloc free strtol strtoul strtoll strtoull strtod atoi atol
  abs labs exit abort qsort bsearch
  # ISO C11 7.24, <string.h>
  memcpy memmove memset memcmp memchr strlen strcmp strncmp strcpy strncpy
  strcat strncat strchr strrchr strstr strspn strcspn strerror
  # ISO C11 7.4, <ctype.h>
  isalnum isalpha isdigit islower isprint isspace isupper isxdigit tolower
  toupper
  # ISO C11 7.11, <locale.h> (cJSON's decimal point)
  localeconv
  # POSIX.1-2008, <fcntl.h> and <unistd.h>
  open close read write
  # POSIX.1-2008 <stropts.h>; on Linux the device interface, in uClibc too
  ioctl
  # POSIX.1-2008, <string.h>
  strnlen
  # Names the C library's own headers give standard facilities: errno, the
  # <ctype.h> tables behind the classification macros. The board's headers
  # generate their own.
  __errno_location __ctype_b_loc __ctype_tolower_loc __ctype_toupper_loc
  # The same in uClibc-ng's headers (the board's, built without threads):
  # errno as a variable, putc and putchar through its unlocked function.
  errno __fputc_unlocked
  # The stack protector's guard and its failure call, from the C library
  # (uClibc-ng keeps the guard in its loader)
  __stack_chk_fail __stack_chk_guard
  # Program start-up, from the C library's own start files
  __libc_start_main __uClibc_main __gmon_start__ __cxa_finalize _ITM_registerTMCloneTable
  _ITM_deregisterTMCloneTable
)
declare -A is_allowed
for name in "${allowed[@]}"; do is_allowed[$name]=1; done

# A build with the large-file interface (_FILE_OFFSET_BITS=64, as firmware
# builds compile; TOOLS_FILE_OFFSET_BITS=64 says so): uClibc-ng's headers
# then rename open to its 64-bit call, and a plain open would show that the
# setting never reached the source. musl's open is 64-bit already, and keeps
# its name.
if [ "${TOOLS_FILE_OFFSET_BITS:-}" = 64 ] && [ "${TOOLS_LIBC:-}" = uclibc ]; then
  unset 'is_allowed[open]'
  is_allowed[open64]=1
fi

# The shared libraries a program needs: the C library (musl's is libc.so,
# with no version), cJSON's where it imports cJSON, and uClibc-ng's loader
# where it imports the stack protector's guard (uClibc-ng keeps it there),
# each once and nothing else. uClibc-ng's libc.so names the loader "as
# needed", and the linker decides that before it drops unused sections: a
# library member with a protected function the program never calls still
# brings the loader in, so on uClibc-ng it may be there without the guard.
# The build links keeping every library it is given (no
# --as-needed), so one on the link line that the program never uses (the C++
# run time, libm) shows here.

for program in "$@"; do
  name=${program##*/}
  if ! imports=$("$nm" -D --undefined-only --format=posix "$program"); then
    cli_fail "$name" "$nm could not read it"
    continue
  fi
  bad=()
  while read -r symbol _; do
    [ -n "$symbol" ] || continue
    symbol=${symbol%%@*} # the symbol version
    # glibc's name for the standard scanf family; the source calls sscanf.
    symbol=${symbol#__isoc99_}
    # On the build machine, glibc's fortified headers (_FORTIFY_SOURCE) call
    # the same standard function with a bound, as __NAME_chk: allowed where
    # NAME is. The board's C libraries have no such headers, so there the
    # name would not load.
    if [ -z "${TOOLS_LIBC:-}" ] && [[ $symbol =~ ^__([a-z0-9]+)_chk$ ]]; then
      symbol=${BASH_REMATCH[1]}
    fi
    case $symbol in
      cJSON_*) continue ;; # cJSON as a shared library
    esac
    [ -n "${is_allowed[$symbol]:-}" ] || bad+=("$symbol")
  done <<<"$imports"
  [ -n "$imports" ] || bad+=("(none: not a dynamically linked program)")
  if [ ${#bad[@]} = 0 ]; then
    cli_pass "$name imports"
  else
    cli_fail "$name imports" "not ISO C or POSIX: ${bad[*]}"
  fi

  needed=$("$objdump" -p "$program" | awk '$1 == "NEEDED" { print $2 }')
  libc=0 cjson=0 loader=0 other=0 want_cjson=0 want_loader=0 most_loader=0
  grep -q '^cJSON_' <<<"$imports" && want_cjson=1
  if [ "${TOOLS_LIBC:-}" = uclibc ]; then
    most_loader=1
    grep -q '^__stack_chk_guard ' <<<"$imports" && want_loader=1
  fi
  for lib in $needed; do
    if [[ $lib =~ ^libc\.so(\.[0-9]+)?$ ]]; then
      libc=$((libc + 1))
    elif [ "$lib" = ld-uClibc.so.1 ]; then
      loader=$((loader + 1))
    elif [[ $lib =~ ^libcjson\.so\.[0-9]+$ ]]; then
      cjson=$((cjson + 1))
    else
      other=$((other + 1))
    fi
  done
  if [ $libc = 1 ] && [ $cjson = $want_cjson ] && [ $loader -ge $want_loader ] &&
    [ $loader -le $most_loader ] && [ $other = 0 ]; then
    cli_pass "$name libraries"
  else
    cli_fail "$name libraries" "needs $(tr '\n' ' ' <<<"$needed")"
  fi
done

cli_finish
