# The board: 32-bit big-endian MIPS32 release 1, o32, soft float, with
# uClibc-ng as its C library, programs linked dynamically as installed there.
#
#   cmake -S . -B build-mips -DCMAKE_TOOLCHAIN_FILE=board/toolchain.cmake \
#     -DBOARD_ROOT=$PWD/build-mips/root -DBOARD_SPECS=$PWD/build-mips/root/usr/lib/gcc/board.specs
#
# board/build.sh makes that root (uClibc-ng, a soft-float libgcc, cJSON) and
# the specs file with Debian's mips-linux-gnu- compilers, and configures the
# build so. Debian's cross compiler ignores --sysroot for its own search
# paths (it keeps looking in /usr/mips-linux-gnu, glibc's), so BOARD_SPECS
# names a gcc specs file that sets every include folder, start file and
# library explicitly.
#
# Another board: give its compilers' prefix and its root (the staging folder
# of its firmware build) and leave BOARD_SPECS empty; the compilers are then
# pointed at the root with --sysroot:
#
#   -DBOARD_PREFIX=/opt/board/bin/mips-linux-uclibc- -DBOARD_ROOT=/opt/board/staging
#
# BOARD_CPU_FLAGS changes the processor (default: any MIPS32, tuned for the
# 24Kc, soft float); BOARD_EMULATOR the command that runs the tests (empty to
# build without running them).

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(BOARD_PREFIX "mips-linux-gnu-" CACHE STRING "The target compilers' prefix")
set(BOARD_ROOT "" CACHE PATH "The target's root: its C library, loader and libraries")
set(BOARD_SPECS "" CACHE FILEPATH "A gcc specs file that points the compilers at BOARD_ROOT")
set(BOARD_CPU_FLAGS "-march=mips32 -mtune=24kc -msoft-float" CACHE STRING
    "The processor the code is generated for")
if(NOT BOARD_ROOT)
  message(FATAL_ERROR "BOARD_ROOT: the target's root is needed (board/build.sh makes one)")
endif()
# try_compile projects read this file again and need the same settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BOARD_PREFIX BOARD_ROOT
     BOARD_SPECS BOARD_CPU_FLAGS BOARD_EMULATOR)

set(CMAKE_C_COMPILER ${BOARD_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${BOARD_PREFIX}g++)

# -muclibc names uClibc-ng's loader, /lib/ld-uClibc.so.0, as the programs'
# interpreter.
if(BOARD_SPECS)
  set(board_root_flags "-muclibc -specs=${BOARD_SPECS}")
else()
  set(board_root_flags "--sysroot=${BOARD_ROOT}")
endif()
set(CMAKE_C_FLAGS_INIT "${BOARD_CPU_FLAGS} ${board_root_flags}")
set(CMAKE_CXX_FLAGS_INIT "${BOARD_CPU_FLAGS} ${board_root_flags}")
unset(board_root_flags)

# Headers, libraries and packages come from the target's root only, so a
# host copy of a library can never be linked into a target program; tools
# (the emulator, mandoc, bash) are the host's.
list(APPEND CMAKE_FIND_ROOT_PATH ${BOARD_ROOT})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${BOARD_ROOT}/usr/lib/pkgconfig:${BOARD_ROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

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
