# SPDX-License-Identifier: MIT
# What a folder keeps from its first configure, checked at every configure
# (CMakeLists.txt, after project()), so that a changed setting is never
# silently ignored.

# The release flags. CMake fills a folder's cache once, so a folder keeps
# the flags of the cmake/release-flags.cmake it was first configured with,
# or CMake's own -O3 -DNDEBUG when it was configured before there was one.
# The default each value came from is recorded beside it: a value still
# equal to it is the project's, and becomes the file's of today; a value
# the build set itself (on the command line, in its toolchain file)
# differs from it and is kept.
foreach(lang C CXX)
  set(name CMAKE_${lang}_FLAGS_RELEASE)
  string(STRIP "${${name}_INIT}" default)
  if(DEFINED CACHE{TOOLS_DEFAULT_${name}})
    set(old "$CACHE{TOOLS_DEFAULT_${name}}")
  elseif(tools_configured_before)
    set(old "-O3 -DNDEBUG")
  else()
    set(old "${default}")
  endif()
  if("$CACHE{${name}}" STREQUAL old AND NOT old STREQUAL default)
    get_property(help CACHE ${name} PROPERTY HELPSTRING)
    set(${name} "${default}" CACHE STRING "${help}" FORCE)
    message(STATUS "${name}: ${default}, the default of cmake/release-flags.cmake "
      "(was ${old})")
  endif()
  set(TOOLS_DEFAULT_${name} "${default}" CACHE INTERNAL
      "The default ${name} was last set from")
endforeach()

# A cross build's compilers and root. CMake looks at a folder's compilers
# once, at its first configure, and keeps what it found: their paths, and
# what they search in the target's root (include and link folders,
# libgcc's path). The board's toolchain file names them afresh at every
# configure (BOARD_CC, BOARD_CXX, BOARD_ROOT), and a change there would be
# ignored: configure stops instead, naming the setting. The compilers are
# found as CMake finds them; the root is recorded at the first configure.
if(DEFINED BOARD_CC)
  if(NOT DEFINED CACHE{TOOLS_BOARD_ROOT})
    set(TOOLS_BOARD_ROOT "${BOARD_ROOT}" CACHE INTERNAL
        "The root the compilers were first looked at with")
  endif()
  find_program(tools_board_cc NAMES "${BOARD_CC}" NO_CACHE)
  find_program(tools_board_cxx NAMES "${BOARD_CXX}" NO_CACHE)
  foreach(kept "BOARD_CC;${CMAKE_C_COMPILER};${tools_board_cc}"
          "BOARD_CXX;${CMAKE_CXX_COMPILER};${tools_board_cxx}"
          "BOARD_ROOT;${TOOLS_BOARD_ROOT};${BOARD_ROOT}")
    list(GET kept 0 name)
    list(GET kept 1 old)
    if(NOT "${kept}" STREQUAL "${name};${old};${old}")
      message(FATAL_ERROR "${name}: this folder was configured with ${old}, "
        "which CMake keeps; configure a new folder for ${${name}} (or delete "
        "${CMAKE_BINARY_DIR}/CMakeCache.txt and ${CMAKE_BINARY_DIR}/CMakeFiles)")
    endif()
  endforeach()
endif()
