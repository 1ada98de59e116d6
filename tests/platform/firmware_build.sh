#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The project as a firmware's build takes it: the build's own flags and
# optimisation level, no test dependency, only the programs installed.
#
# Usage: firmware_build.sh configure SOURCE-DIR WORK-DIR
#          configures and builds the project in WORK-DIR as a firmware's
#          package build does (a toolchain file giving Release " -DNDEBUG"
#          as its release flags and -Os as its own, tests off), with GoogleTest hidden, installs
#          it, and checks it; then configures it with the tests on and no
#          GoogleTest, which must work and say that the unit tests are out.
#        firmware_build.sh check BUILD-DIR DESTDIR [LEVEL]
#          checks a folder so built and installed (board/firmware-build.sh)
#          at LEVEL (default -Os)
#
# What is checked: every source of the programs is compiled at the build's
# level, the last -O on its command line (the project adds no level after the
# build's); the install holds the two programs and their manual pages.
# What the programs need at run time is imported_symbols' check, which the
# callers run on the installed programs.
# shellcheck source=../support/cli.sh
source "$TOOLS_SUPPORT/cli.sh"

# check_build BUILD-DIR DESTDIR LEVEL
check_build() {
  local destdir=$2 want=$3 commands=$1/compile_commands.json line level src
  local compiled=0 wrong=()
  if [ ! -f "$commands" ]; then
    cli_fail "compile commands" "no $commands"
    return
  fi
  # One "command" line a source, in CMake's layout of the file.
  while read -r line; do
    case $line in
      *'"command"'*/flagtool/*.cpp* | *'"command"'*/scrambler/*.cpp*) ;;
      *) continue ;;
    esac
    compiled=$((compiled + 1))
    level=$(grep -o -- ' -O[0-9sgz]*' <<<"$line" | tail -n 1)
    src=${line##* }
    [ "$level" = " $want" ] || wrong+=("${src%\",}:${level:- none}")
  done <"$commands"
  if [ "$compiled" -gt 0 ] && [ ${#wrong[@]} = 0 ]; then
    cli_pass "programs compiled at $want"
  else
    cli_fail "programs compiled at $want" "$compiled sources; last level: ${wrong[*]}"
  fi

  local installed
  installed=$(cd "$destdir" && find . -type f -o -type l | sort | tr '\n' ' ')
  cli_check "installs the programs and manual pages only" \
    [ "$installed" = "./usr/bin/obscure ./usr/sbin/dorvane ./usr/share/man/man1/obscure.1 ./usr/share/man/man8/dorvane.8 " ]
}

# The flags a firmware's cmake package build gives, the way it gives them:
# in its toolchain file, into the cache unless already there, so that they
# are set before the project's CMakeLists.txt is read; the release flags are
# " -DNDEBUG" so that its own -Os applies, and it links keeping every
# library given.
firmware_toolchain() {
  local lang
  for lang in C CXX; do
    cat <<TOOLCHAIN
if(NOT DEFINED CMAKE_${lang}_FLAGS_RELEASE)
  set(CMAKE_${lang}_FLAGS_RELEASE " -DNDEBUG" CACHE STRING "")
endif()
if(NOT DEFINED CMAKE_${lang}_FLAGS)
  set(CMAKE_${lang}_FLAGS "-Os" CACHE STRING "")
endif()
TOOLCHAIN
  done
  cat <<TOOLCHAIN
if(NOT DEFINED CMAKE_EXE_LINKER_FLAGS)
  set(CMAKE_EXE_LINKER_FLAGS "-Wl,--no-as-needed" CACHE STRING "")
endif()
TOOLCHAIN
}
firmware_flags=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
# A machine without GoogleTest, as far as CMake can tell.
no_gtest=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DTOOLS_GTEST_SOURCE=/nonexistent)

case $1 in
  configure)
    source_dir=$2 work=$3
    rm -rf "$work" && mkdir -p "$work"
    firmware_toolchain >"$work/firmware.cmake"
    if cmake -S "$source_dir" -B "$work/build" "${firmware_flags[@]}" \
      -DCMAKE_TOOLCHAIN_FILE="$work/firmware.cmake" \
      "${no_gtest[@]}" -DBUILD_TESTING=OFF >"$work/configure.log" 2>&1 &&
      cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 &&
      DESTDIR=$work/root cmake --install "$work/build" >/dev/null; then
      cli_pass "builds with the tests off and no GoogleTest"
      check_build "$work/build" "$work/root" -Os
      # The checker the suite runs on its own programs, on these.
      if out=$(bash "$(dirname "$0")/imported_symbols.sh" nm objdump \
        "$work/root/usr/bin/obscure" "$work/root/usr/sbin/dorvane"); then
        cli_pass "programs need the C library and cJSON only"
      else
        cli_fail "programs need the C library and cJSON only" "$out"
      fi
    else
      cli_fail "builds with the tests off and no GoogleTest" \
        "$(tail -n 20 "$work/configure.log" "$work/build.log" 2>/dev/null)"
    fi

    # The tests on, GoogleTest missing: configures, with one message, and
    # ctest then fails on the unit tests' absence instead of passing.
    if cmake -S "$source_dir" -B "$work/tests" "${no_gtest[@]}" \
      >"$work/tests.log" 2>&1; then
      cli_pass "configures with the tests on and no GoogleTest"
      cli_check "says the unit tests are left out" \
        grep -q "GoogleTest was not found: the unit tests are left out" "$work/tests.log"
      listed=$(cd "$work/tests" && ctest -N)
      cli_check "ctest has the command-line tests" grep -q ' obscure_cli$' <<<"$listed"
      cli_check "ctest has no unit test" test -z "$(grep '_test$' <<<"$listed")"
      cli_check "ctest fails for the missing unit tests" \
        grep -q ' unit_tests_not_built$' <<<"$listed"
    else
      cli_fail "configures with the tests on and no GoogleTest" \
        "$(tail -n 20 "$work/tests.log")"
    fi
    ;;
  check)
    check_build "$2" "$3" "${4:--Os}"
    ;;
  *)
    echo "usage: firmware_build.sh configure SOURCE-DIR WORK-DIR | check BUILD-DIR DESTDIR [LEVEL]"
    exit 2
    ;;
esac
cli_finish
