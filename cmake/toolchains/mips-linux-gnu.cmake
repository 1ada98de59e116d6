# Cross build for the board's processor: 32-bit big-endian MIPS, with
# Debian's mips-linux-gnu compilers, and the programs and tests run under
# user-mode emulation so that ctest runs the cross-built tests itself.
#
#   cmake -S . -B build-mips \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mips-linux-gnu.cmake
#
# Libraries built for the target outside the system root (such as a static
# cJSON staged under DIR/usr) are found with -DCMAKE_FIND_ROOT_PATH=DIR: this
# file appends the system root to that list rather than replacing it.
#
# Another board: copy this file and change the triplet, the system root and
# the emulator (or leave CMAKE_CROSSCOMPILING_EMULATOR unset to build only).

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(TOOLS_TARGET_TRIPLET mips-linux-gnu)
set(TOOLS_TARGET_SYSROOT /usr/${TOOLS_TARGET_TRIPLET})

set(CMAKE_C_COMPILER ${TOOLS_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLS_TARGET_TRIPLET}-g++)

# Appended, not set: the cache value given on the command line (staged
# target libraries) must survive, and this file is read again for every
# try_compile.
list(APPEND CMAKE_FIND_ROOT_PATH ${TOOLS_TARGET_SYSROOT})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)

# Headers, libraries and packages come from the target's roots only, so a
# host copy of a library can never be linked into a target program; tools
# (the emulator, mandoc, bash) are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config falls back to the host's .pc files unless told where the
# target's are; these paths hold only the target's.
set(tools_pc_dirs "")
foreach(root IN LISTS CMAKE_FIND_ROOT_PATH)
  list(APPEND tools_pc_dirs ${root}/usr/lib/pkgconfig ${root}/lib/pkgconfig
       ${root}/usr/share/pkgconfig)
endforeach()
list(JOIN tools_pc_dirs ":" tools_pc_dirs)
set(ENV{PKG_CONFIG_LIBDIR} "${tools_pc_dirs}")
set(ENV{PKG_CONFIG_PATH} "")
unset(tools_pc_dirs)

# qemu's default CPU for this binary: the CPU models without a floating-point
# unit stop with SIGILL in the hard-float C library. -L makes the emulated
# dynamic loader find the target's libraries.
find_program(TOOLS_QEMU_MIPS qemu-mips)
if(TOOLS_QEMU_MIPS)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TOOLS_QEMU_MIPS} -L ${TOOLS_TARGET_SYSROOT})
endif()
