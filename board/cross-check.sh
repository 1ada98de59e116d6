#!/usr/bin/env bash
# Builds both programs and the whole test suite for the board (board/build.sh)
# and runs every test under user-mode emulation of a 4Kc, a MIPS32 release 1
# core without a floating-point unit.
#
# Usage: board/cross-check.sh [BUILD-DIR]   (default build-mips)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-mips}
jobs=$(nproc 2>/dev/null || echo 2)

bash board/build.sh "$build"
cd "$build" && ctest --output-on-failure -j "$jobs"
