# SPDX-License-Identifier: MIT
# Read by CMake after its own compiler defaults, before it fills the cache
# (CMAKE_USER_MAKE_RULES_OVERRIDE, set in CMakeLists.txt): the level the
# programs are built and measured at, -O2, where CMake's Release would use
# -O3 (its extra unrolling and inlining grow the code, and the hot loops are
# unrolled by hand already). Only a default: release flags the build sets
# itself, on the command line or in its toolchain file (a firmware's sets
# " -DNDEBUG" so that its own -Os applies), are kept.
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
