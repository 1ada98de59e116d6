#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# board/toolchain.cmake as another board's build uses it: no loader forced
# on the programs, a loader that is not in the root refused at configure
# time with the setting to change named, and a changed BOARD_* setting
# taking effect in a folder configured before, but for the compilers and
# the root, which CMake keeps: a change to those refused, naming it.
#
# Usage: toolchain_file.sh SOURCE-DIR WORK-DIR READELF SETTING...
#        (SETTING: the board build's -DBOARD_...=... options, which every
#        configure here starts from; WORK-DIR is emptied first)
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
source_dir=$1 work=$2 readelf=$3
shift 3
settings=("$@")
root="" cc="" cxx=""
for setting in "${settings[@]}"; do
  case $setting in
    -DBOARD_ROOT=*) root=${setting#-DBOARD_ROOT=} ;;
    -DBOARD_CC=*) cc=${setting#-DBOARD_CC=} ;;
    -DBOARD_CXX=*) cxx=${setting#-DBOARD_CXX=} ;;
  esac
done
rm -rf "$work" && mkdir -p "$work"

# configure DIR SETTING...: configures the programs alone in DIR, from the
# board build's settings with these after them; output in DIR.log.
configure() {
  local dir=$1
  shift
  cmake -S "$source_dir" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$source_dir/board/toolchain.cmake" \
    -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    "${settings[@]}" "$@" >"$dir.log" 2>&1
}
# said DIR TEXT: CMake's message in DIR.log, its lines wrapped, holds TEXT.
said() { tr -s '\n ' '  ' <"$1.log" | grep -q -- "$2"; }
interpreter() {
  "$readelf" -l "$1" | sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p'
}

# Neither a C library nor a loader named: the compiler's own loader, which
# this root (the board's) does not have, and the message says what to set.
if configure "$work/own" -DBOARD_LIBC= -DBOARD_LOADER=; then
  cli_fail "the compiler's own loader, absent, refused" "configured: $(tail -n 5 "$work/own.log")"
else
  cli_check "the compiler's own loader, absent, refused naming BOARD_LOADER" \
    said "$work/own" "BOARD_LOADER: the programs would ask for /[^ ]*, which is not in BOARD_ROOT"
fi
if configure "$work/absent" -DBOARD_LOADER=/lib/ld-absent.so.1; then
  cli_fail "an absent BOARD_LOADER refused" "configured"
else
  cli_check "an absent BOARD_LOADER refused" \
    said "$work/absent" "BOARD_LOADER: the programs would ask for /lib/ld-absent.so.1,"
fi

# The board's settings, then two of them changed in the same folder: the
# loader (any other file of the root's lib/ serves, as nothing runs) and
# the processor flags, with a definition that shows in the compile commands.
dir=$work/changed
if configure "$dir" && cmake --build "$dir" --target obscure >/dev/null 2>&1; then
  first=$(interpreter "$dir/scrambler/obscure")
  other=$(cd "$root" && find lib -maxdepth 1 -type f ! -path "lib/${first##*/}" | sort | head -n 1)
  flags=$(sed -n 's/^BOARD_CPU_FLAGS:STRING=//p' "$dir/CMakeCache.txt")
  if configure "$dir" -DBOARD_LOADER="/$other" \
    -DBOARD_CPU_FLAGS="$flags -DBOARD_FLAGS_CHANGED=1" &&
    cmake --build "$dir" --target obscure >/dev/null 2>&1; then
    cli_check "a changed BOARD_LOADER takes effect ($first, then /$other)" \
      [ "$(interpreter "$dir/scrambler/obscure")" = "/$other" ]
    cli_check "changed BOARD_CPU_FLAGS take effect" \
      grep -q -- "-DBOARD_FLAGS_CHANGED=1 .*scrambler/obscure.cpp" "$dir/compile_commands.json"
  else
    cli_fail "reconfigured with changed settings" "$(tail -n 10 "$dir.log")"
  fi
  # The same compilers and root, each under another name (a link), which
  # CMake would take for others: refused, each naming its setting.
  ln -s "$(command -v "$cc")" "$work/cc"
  ln -s "$(command -v "$cxx")" "$work/cxx"
  ln -s "$root" "$work/root"
  for change in BOARD_CC="$work/cc" BOARD_CXX="$work/cxx" BOARD_ROOT="$work/root"; do
    if configure "$dir" -D"$change"; then
      cli_fail "a changed ${change%%=*} refused" "configured"
    else
      cli_check "a changed ${change%%=*} refused, asking for a new folder" \
        said "$dir" "${change%%=*}: this folder was configured .* configure a new folder for ${change#*=}"
    fi
  done
else
  cli_fail "configured with the board's settings" "$(tail -n 10 "$dir.log")"
fi
cli_finish
