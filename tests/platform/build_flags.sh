#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The build's own flags win over the project's defaults for the programs,
# and a folder's release flags follow cmake/release-flags.cmake unless the
# build set its own.
#
# Usage: build_flags.sh SOURCE-DIR WORK-DIR   (WORK-DIR is emptied first)
#
# One folder, the programs alone built in it three times: with no flag of
# the build's, then with the opposites of the project's defaults in two
# halves, as the table below gives them. Each default's effect is read
# from the programs and their objects, and must change in its own half
# only: a default left out where the build did not oppose it shows in the
# other half. The count of functions is the exception: either half keeps
# the unused ones. Every build links with the SysV hash table (the
# board's), whose size shows the linker's -O level.
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"
source_dir=$1 work=$2
dir=$work/build
rm -rf "$work" && mkdir -p "$work"

# HALF | WHERE the build gives it (cxx: CMAKE_CXX_FLAGS, which the programs
# are linked with too; link: CMAKE_EXE_LINKER_FLAGS) | OPPOSITE | FACT (see
# facts below) | HOW it differs from the defaults' (more, fewer)
table="
A | cxx  | -fasynchronous-unwind-tables | eh_frame  | more
A | link | -Wl,--build-id=sha1          | build_ids | more
A | cxx  | -fvisibility=default         | exported  | more
A | link | -Wl,--no-gc-sections         | functions | more
B | cxx  | -fno-function-sections       | text_secs | fewer
B | cxx  | -fno-data-sections           | data_secs | fewer
B | cxx  | -Wl,-O0                      | hash      | fewer"
fields() { tr -d ' ' <<<"$1"; }

# facts: one line "FACT VALUE" for each fact, of the last build in $dir.
programs=("$dir/scrambler/obscure" "$dir/flagtool/dorvane")
section_bytes() {
  local p total=0 size
  for p in "${programs[@]}"; do
    size=$(readelf -SW "$p" | sed 's/^ *\[ *[0-9]*\] //' | awk -v s="$1" '$1 == s { print $5 }')
    total=$((total + 0x${size:-0}))
  done
  echo "$total"
}
symbols() { for p in "${programs[@]}"; do readelf -sW "$p"; done; }
sections() { find "$dir/scrambler" "$dir/flagtool" -name '*.o' -exec readelf -SW {} +; }
facts() {
  echo "eh_frame $(section_bytes .eh_frame)"
  echo "hash $(section_bytes .hash)"
  echo "build_ids $(for p in "${programs[@]}"; do readelf -n "$p"; done | grep -c 'Build ID')"
  # Functions of default visibility: with hidden, the linker makes the
  # programs' own local (main included).
  echo "exported $(symbols | awk '$4 == "FUNC" && $5 == "GLOBAL" && $6 == "DEFAULT" && $7 != "UND"' | wc -l)"
  echo "functions $(symbols | awk '$4 == "FUNC" && $7 != "UND"' | wc -l)"
  echo "text_secs $(sections | grep -c ' \.text\.')"
  echo "data_secs $(sections | grep -c ' \.\(rodata\|data\|bss\)\.')"
}
# build HALF: configures the folder with HALF's opposites (none for D, the
# defaults) and builds the programs; the facts in $work/HALF.facts.
build() {
  local cxx=() link=("-Wl,--hash-style=sysv") half where option
  while IFS='|' read -r half where option _; do
    [ "$(fields "$half")" = "$1" ] || continue
    if [ "$(fields "$where")" = cxx ]; then
      cxx+=("$(fields "$option")")
    else
      link+=("$(fields "$option")")
    fi
  done <<<"$table"
  if cmake -S "$source_dir" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_FLAGS="${cxx[*]}" -DCMAKE_EXE_LINKER_FLAGS="${link[*]}" >"$work/$1.log" 2>&1 &&
    cmake --build "$dir" -j 2 --target obscure dorvane >>"$work/$1.log" 2>&1; then
    facts >"$work/$1.facts"
  else
    cli_fail "builds with ${cxx[*]} ${link[*]}" "$(tail -n 20 "$work/$1.log")"
    cli_finish
    exit
  fi
}
build D
build A
build B
fact() { sed -n "s/^$2 //p" "$work/$1.facts"; }

while IFS='|' read -r half where option name how; do
  half=$(fields "$half") option=$(fields "$option") name=$(fields "$name") how=$(fields "$how")
  [ -n "$half" ] || continue
  other=A
  [ "$half" = A ] && other=B
  default=$(fact D "$name") opposed=$(fact "$half" "$name") unopposed=$(fact "$other" "$name")
  if [ "$how" = more ]; then changed=$((opposed > default)); else changed=$((opposed < default)); fi
  if [ "$changed" = 1 ] && { [ "$name" = functions ] || [ "$unopposed" = "$default" ]; }; then
    cli_pass "$option"
  else
    cli_fail "$option ($(fields "$where"))" \
      "$name: $default with the defaults, $opposed with $option, $unopposed with half $other's"
  fi
done <<<"$table"

# The release flags, configured again in the same folder (no build): as a
# folder configured before there was a cmake/release-flags.cmake holds
# them, then with a changed file, then with a level the build set itself.
release() { sed -n "s/^CMAKE_$1_FLAGS_RELEASE:STRING=//p" "$dir/CMakeCache.txt"; }
reconfigure() { cmake -S "$source_dir" -B "$dir" "$@" >"$work/release.log" 2>&1; }
# The file's own, for each language: "C-FLAGS|C++-FLAGS".
defaults=$(for lang in C CXX; do
  sed -n "s/^set(CMAKE_${lang}_FLAGS_RELEASE_INIT \"\(.*\)\")$/\1/p" \
    "$source_dir/cmake/release-flags.cmake"
done | paste -s -d '|')
sed -i -e 's/^\(CMAKE_C\(XX\)\?_FLAGS_RELEASE:STRING=\).*/\1-O3 -DNDEBUG/' \
  -e '/^TOOLS_DEFAULT_/d' "$dir/CMakeCache.txt"
reconfigure
cli_check "a folder configured before the release flags' file takes its flags" \
  [ "$(release C)|$(release CXX)" = "$defaults" ]
printf 'set(CMAKE_%s_FLAGS_RELEASE_INIT "-Os -DCHANGED")\n' C CXX >"$work/changed.cmake"
reconfigure -DCMAKE_USER_MAKE_RULES_OVERRIDE="$work/changed.cmake"
cli_check "a changed release flags' file reaches a folder configured with it" \
  [ "$(release C)|$(release CXX)" = "-Os -DCHANGED|-Os -DCHANGED" ]
reconfigure -DCMAKE_CXX_FLAGS_RELEASE=-O1 \
  -DCMAKE_USER_MAKE_RULES_OVERRIDE="$source_dir/cmake/release-flags.cmake"
cli_check "release flags the build set are kept when the file changes" \
  [ "$(release C)|$(release CXX)" = "${defaults%|*}|-O1" ]
cli_finish
