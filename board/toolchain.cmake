# SPDX-License-Identifier: MIT
# The board: 32-bit big-endian MIPS32 release 1, o32, soft float, with
# uClibc-ng (or musl, BOARD_LIBC) as its C library, programs linked
# dynamically as installed there.
#
# BOARD_ROOT is the target's root, laid out as a firmware build's staging
# folder: everything installed with prefix /usr (the loader and C library in
# /lib), the compiler's run-time files in usr/lib/gcc/TRIPLE/VERSION. It
# becomes CMAKE_SYSROOT, and every header, library and package is looked up
# there only, never on the build machine.
#
# This project's own board build (board/build.sh) makes such a root with
# Debian's mips-linux-gnu- compilers and configures with cmake -C
# build-mips/board.cmake. Debian's cross gcc keeps searching glibc's folders
# even with --sysroot, so there BOARD_SPECS names a gcc specs file that sets
# every include folder, start file and library explicitly.
#
# Another board: its compilers and its staging folder; with a compiler that
# honours --sysroot (a vendor SDK's, or clang) no specs file is needed:
#
#   -DBOARD_PREFIX=/opt/board/bin/mips-linux-uclibc- -DBOARD_ROOT=/opt/board/staging
#   -DBOARD_CC=clang-14 -DBOARD_CXX=clang++-14 -DBOARD_TARGET=mips-linux-gnu \
#     -DBOARD_LINK_FLAGS="-fuse-ld=lld -static-libgcc" -DBOARD_ROOT=...
#
# BOARD_CPU_FLAGS changes the processor (default: board/board.env's);
# BOARD_LIBC names the root's C library, uclibc or musl (the tests allow
# for what differs between them); BOARD_LOADER the programs' interpreter
# (default: BOARD_LIBC's, and with neither the compiler's own, which must
# then be the board's); BOARD_EMULATOR the command that runs the tests
# (empty to build without running them).
#
# The board's settings are applied afresh at every configure, as options
# of the folder, not through CMAKE_<LANG>_FLAGS: those belong to the build
# (a firmware's -Os, its own CFLAGS) and CMake keeps them from a folder's
# first configure, so a changed BOARD_* setting would otherwise be ignored.
# But CMake looks at the compilers once, at a folder's first configure, and
# keeps what it found (their paths, what they search in the root): the
# project's cmake/kept-settings.cmake refuses a changed BOARD_CC, BOARD_CXX
# or BOARD_ROOT, asking for a new folder.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/board.env board_env
     REGEX "^BOARD_CPU_FLAGS=")
string(REGEX REPLACE "^BOARD_CPU_FLAGS=\"(.*)\"$" "\\1" board_env "${board_env}")
set(BOARD_CPU_FLAGS "${board_env}" CACHE STRING
    "The processor the code is generated for")
unset(board_env)
set(BOARD_PREFIX "mips-linux-gnu-" CACHE STRING "The target compilers' prefix")
set(BOARD_CC "${BOARD_PREFIX}gcc" CACHE STRING "The target's C compiler")
set(BOARD_CXX "${BOARD_PREFIX}g++" CACHE STRING "The target's C++ compiler")
set(BOARD_TARGET "" CACHE STRING "The target triple, for a compiler that takes --target (clang)")
set(BOARD_ROOT "" CACHE PATH "The target's root: its staging folder")
set(BOARD_SPECS "" CACHE FILEPATH "A gcc specs file that points the compilers at BOARD_ROOT")
set(BOARD_LIBC "" CACHE STRING "The C library in BOARD_ROOT: uclibc, musl, or empty")
set_property(CACHE BOARD_LIBC PROPERTY STRINGS "" uclibc musl)
set(BOARD_LOADER "" CACHE STRING
    "The programs' interpreter on the board (empty: BOARD_LIBC's, or the compiler's own)")
set(BOARD_LINK_FLAGS "" CACHE STRING "More options for linking on the target")
if(NOT BOARD_ROOT)
  message(FATAL_ERROR "BOARD_ROOT: the target's root is needed (board/build.sh makes one)")
endif()
# try_compile projects read this file again and need the same settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BOARD_PREFIX BOARD_CC BOARD_CXX
     BOARD_TARGET BOARD_ROOT BOARD_SPECS BOARD_CPU_FLAGS BOARD_LIBC BOARD_LOADER
     BOARD_LINK_FLAGS BOARD_EMULATOR)

set(board_loader "${BOARD_LOADER}")
if(board_loader)
elseif(BOARD_LIBC STREQUAL "musl")
  # musl's loader for big-endian MIPS with soft float.
  set(board_loader /lib/ld-musl-mips-sf.so.1)
elseif(BOARD_LIBC STREQUAL "uclibc")
  set(board_loader /lib/ld-uClibc.so.0)
elseif(BOARD_LIBC)
  message(FATAL_ERROR "BOARD_LIBC: uclibc, musl or empty, not '${BOARD_LIBC}'")
endif()

set(CMAKE_C_COMPILER ${BOARD_CC})
set(CMAKE_CXX_COMPILER ${BOARD_CXX})
if(BOARD_TARGET)
  set(CMAKE_C_COMPILER_TARGET ${BOARD_TARGET})
  set(CMAKE_CXX_COMPILER_TARGET ${BOARD_TARGET})
endif()
set(CMAKE_SYSROOT ${BOARD_ROOT})

separate_arguments(board_compile UNIX_COMMAND "${BOARD_CPU_FLAGS}")
if(BOARD_SPECS)
  list(APPEND board_compile -specs=${BOARD_SPECS})
endif()
separate_arguments(board_link UNIX_COMMAND "${BOARD_LINK_FLAGS}")
add_compile_options(${board_compile})
add_link_options(${board_compile} ${board_link})
if(board_loader)
  add_link_options("$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:LINKER:--dynamic-linker=${board_loader}>")
endif()

get_property(board_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT board_in_try_compile)
  # The interpreter the programs will ask for must be on the board: with
  # none named, the compiler's own, read from the link it would run.
  if(NOT board_loader)
    set(board_driver ${BOARD_CC} ${board_compile} ${board_link})
    if(BOARD_TARGET)
      list(APPEND board_driver --target=${BOARD_TARGET})
    endif()
    execute_process(COMMAND ${board_driver} --sysroot=${BOARD_ROOT} "-###"
                            board.o -o board
                    ERROR_VARIABLE board_link_line OUTPUT_QUIET
                    RESULT_VARIABLE board_status)
    if(board_link_line MATCHES "-dynamic-linker\"? \"?([^\" ]+)")
      set(board_loader "${CMAKE_MATCH_1}")
    endif()
  endif()
  if(NOT board_loader)
    message(FATAL_ERROR "BOARD_LOADER: cannot tell which interpreter ${BOARD_CC} "
      "gives programs; name the board's loader with BOARD_LOADER or BOARD_LIBC")
  elseif(NOT EXISTS "${BOARD_ROOT}${board_loader}")
    message(FATAL_ERROR "BOARD_LOADER: the programs would ask for "
      "${board_loader}, which is not in BOARD_ROOT (${BOARD_ROOT}); set "
      "BOARD_LOADER to the board's loader, or BOARD_LIBC (uclibc, musl) to "
      "its C library's")
  endif()
endif()
unset(board_loader)
unset(board_compile)
unset(board_link)

# Headers, libraries and packages come from the target's root only (CMake
# prefixes the sysroot to every folder it searches, /usr included), so a
# host copy of a library can never be linked into a target program; tools
# (the emulator, mandoc, bash) are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config likewise: the root's package files, their /usr folders read
# inside the root.
set(ENV{PKG_CONFIG_LIBDIR} "${BOARD_ROOT}/usr/lib/pkgconfig:${BOARD_ROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${BOARD_ROOT}")

# The tests run under user-mode emulation on a 4Kc: MIPS32 release 1 with no
# floating-point unit, like the board's cores; -L makes the emulated loader
# find the root's libraries.
if(NOT DEFINED BOARD_EMULATOR)
  find_program(BOARD_QEMU_MIPS qemu-mips)
  if(BOARD_QEMU_MIPS)
    set(BOARD_EMULATOR ${BOARD_QEMU_MIPS} -cpu 4Kc -L ${BOARD_ROOT})
  endif()
endif()
if(BOARD_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BOARD_EMULATOR})
endif()
