#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make lint: the habits the code follows, each checked by its own tool, every
# finding a failure. Runs every check and reports each one that failed.
#
#   format      clang-format --dry-run --Werror, C and C++ outside driver/
#               (.clang-format; tests/kernel/ has its own, the kernel's style)
#   shell       shellcheck over every shell script (.shellcheckrc)
#   tidy        clang-tidy over the programs and tests (.clang-tidy), with
#               the compile commands of a build in BUILD (default build-lint)
#   cppcheck    the programs' sources
#   man         mandoc -Tlint on both manual pages
#   checkpatch  the kernel's scripts/checkpatch.pl (from linux-source-6.1)
#               on the module
#   licence     an SPDX-License-Identifier line at the top of every source
#               file: MIT, and GPL-2.0 in driver/ (the module's licence)
#   buildroot   Buildroot's utils/check-package -b on every file of the
#               BR2_EXTERNAL tree buildroot/, from the release in
#               ../shared/buildroot (without it: failed under CI,
#               CI=true, skipped elsewhere)
#
# Usage: scripts/lint.sh [BUILD-DIR]   (make lint installs the tools first)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

build=${1:-build-lint}
jobs=$(nproc 2>/dev/null || echo 2)
failed=""
mkdir -p "$build"

# run NAME COMMAND...: one check; its output is shown only when it fails.
run() {
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then
    echo "lint: $name: ok"
  else
    printf '%s\n' "$out"
    echo "lint: $name: FAILED"
    failed="$failed $name"
  fi
}

mapfile -t c_sources < <(git ls-files '*.c' '*.cpp' '*.h' | grep -v '^driver/')
# Shell scripts: by their ending, or by a shell on their first line.
mapfile -t scripts < <(git ls-files | while read -r f; do
  case $f in
  *.sh) echo "$f" ;;
  *.md | *.cpp | *.h | *.c | *.txt | *.1 | *.8 | fuzz/corpus/*) ;;
  *) [ -f "$f" ] && head -n 1 "$f" | grep -qE '^#!.*(ba|da|busybox )?sh\b' && echo "$f" ;;
  esac
done)

format() { clang-format --dry-run --Werror "${c_sources[@]}"; }

tidy() {
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    # The tests include headers the build generates; clang-tidy reads them.
    cmake --build "$build" -j "$jobs" >/dev/null &&
    git ls-files 'flagtool/*.cpp' 'scrambler/*.cpp' 'tests/*.cpp' |
    xargs -P "$jobs" -n 2 clang-tidy -p "$build" --quiet 2>/dev/null
}

cppcheck_sources() {
  cppcheck --error-exitcode=1 --enable=warning,performance,portability,style \
    --inline-suppr --std=c++17 --language=c++ -q -I flagtool -I scrambler \
    flagtool/*.cpp scrambler/*.cpp
}

man_pages() {
  local page status=0
  for page in flagtool/dorvane.8 scrambler/obscure.1; do
    # mandoc's exit status ignores style notes; any line is a finding.
    [ -z "$(mandoc -Tlint "$page" 2>&1)" ] || { mandoc -Tlint "$page"; status=1; }
  done
  return $status
}

# checkpatch.pl and the word lists it reads, from Debian's kernel source.
checkpatch() {
  local dir=$build/checkpatch top=linux-source-6.1
  if [ ! -f "$dir/scripts/checkpatch.pl" ]; then
    rm -rf "$dir.part" && mkdir -p "$dir.part" &&
      tar -xJf /usr/src/$top.tar.xz -C "$dir.part" --strip-components=1 \
        $top/scripts/checkpatch.pl $top/scripts/spelling.txt \
        $top/scripts/const_structs.checkpatch &&
      rm -rf "$dir" && mv "$dir.part" "$dir" || return 1
  fi
  perl "$dir/scripts/checkpatch.pl" --no-tree --terse --show-types \
    -f driver/flagctl.c driver/flagctl.h
}

# Buildroot's own style checker, from its release beside the checkout.
buildroot_tarball=../shared/buildroot/buildroot-2026.02.3.tar.xz
buildroot_package() {
  local dir=$build/buildroot-check top
  top=$(basename "$buildroot_tarball" .tar.xz)
  if [ ! -f "$dir/utils/check-package" ]; then
    rm -rf "$dir.part" && mkdir -p "$dir.part" &&
      tar -xJf "$buildroot_tarball" -C "$dir.part" --strip-components=1 \
        "$top/utils" &&
      rm -rf "$dir" && mv "$dir.part" "$dir" || return 1
  fi
  # Debian's python, whose modules need.sh installs, whatever python3 comes
  # first in PATH.
  git ls-files -z buildroot | xargs -0 /usr/bin/python3 "$dir/utils/check-package" -b
}

# Source files: C, C++, headers, shell (by ending or shebang), CMake, make
# and Kbuild files, manual pages, configuration fragments, the Buildroot
# tree. The line is the first, or the second after a shebang; in a
# Buildroot .mk it follows the package's banner, which check-package wants
# on the first lines.
licence() {
  local f want line lines status=0
  while read -r f; do
    lines=2
    case $f in
    *.c | *.cpp | *.h | *.sh | *.cmake | CMakeLists.txt | */CMakeLists.txt | \
      Makefile | */Makefile | */Kbuild | *.[18] | *.config | *.env) ;;
    buildroot/*.mk) lines=8 ;;
    buildroot/*) ;;
    *) printf '%s\n' "${scripts[@]}" | grep -qxF -- "$f" || continue ;;
    esac
    want=MIT
    case $f in driver/*) want=GPL-2.0 ;; esac
    line=$(head -n "$lines" "$f" | grep -m 1 'SPDX-License-Identifier:')
    if ! grep -qE "SPDX-License-Identifier: $want( |\*|$)" <<<"$line"; then
      echo "$f: no 'SPDX-License-Identifier: $want' line at the top"
      status=1
    fi
  done < <(git ls-files)
  return $status
}

run format format
run shell shellcheck "${scripts[@]}"
run tidy tidy
run cppcheck cppcheck_sources
run man man_pages
run checkpatch checkpatch
run licence licence
if [ -f "$buildroot_tarball" ]; then
  run buildroot buildroot_package
elif [ "${CI:-}" = true ]; then
  echo "lint: buildroot: FAILED (no $buildroot_tarball)"
  failed="$failed buildroot"
else
  echo "lint: buildroot: skipped (no $buildroot_tarball)"
fi

if [ -n "$failed" ]; then
  echo "lint: failed:$failed"
  exit 1
fi
