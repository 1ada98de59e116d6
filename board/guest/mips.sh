#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# vm-check's MIPS guest: the board as it ships. Its oldest core, a
# big-endian MIPS32 release 1 4Kc with no FPU (qemu's Malta board, software
# emulation), runs Linux 6.1 or 6.12 built from Debian's sources without the
# FPU emulator (board/guest/kernel.sh). Every program in the image is built on
# the board's root (board/build.sh: uClibc-ng, soft float, release 1):
# busybox (board/guest/busybox.sh) and the raw-request checker statically,
# dorvane and obscure as the board build's install rule puts them, less the
# manual pages, with the loader and libraries they load. The reference flag
# driver is built against that kernel; request 2 is not the kernel's own
# there, so it reaches the driver as it is and the module is the plain misc
# device. The guest's test cases (tests/kernel/) are its /init.
#
# Before it boots, every ELF file of the image is checked on the host
# (tests/kernel/mips_image.sh); the report goes into the image as
# /etc/image-check, and the guest adds it to its tally. The console is left
# in BUILD/SERIES/serial.log and the kernel's release in BUILD/SERIES/release
# for tests/kernel/vm-check.sh to judge.
#
# Usage, from the repository root: bash board/guest/mips.sh [SERIES]
# (SERIES: the Linux series, 6.1 (the default) or 6.12; make vm-check runs
# it through tests/kernel/vm-check.sh, once for each).
# Environment: VM_MIPS_BUILD (default build-vm-mips), VM_TIMEOUT (seconds,
# default 600).
#
# Each series has its own folder, VM_MIPS_BUILD/SERIES/, where its kernel is
# built once and kept; busybox and the checker, which do not depend on the
# kernel, are shared. Leaves the guest's root tree in
# VM_MIPS_BUILD/SERIES/initramfs/ and its kernel in
# VM_MIPS_BUILD/SERIES/vmlinux, so that other checks can boot the same guest
# with an /init of their own.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${VM_MIPS_BUILD:-build-vm-mips}
series=${1:-6.1}
timeout_s=${VM_TIMEOUT:-600}
board="build-mips"
# Busybox, the checker and the image are made from the board's root: the
# whole run holds the root's lock, with the root brought up to date first.
. board/lock.sh
if ! board_holds "$board"; then
  exec bash board/with-root.sh "$board" bash board/guest/mips.sh "$@"
fi
. board/guest/lib.sh
. board/board.env

bash board/guest/kernel.sh "$build/$series" "$series"
bash board/guest/busybox.sh "$build" "$board"
mkdir -p "$build"
build=$(cd "$build" && pwd)
dir=$build/$series
kdir=$dir/kernel
release=$(cat "$kdir/include/config/kernel.release")
say "MIPS guest: kernel $release (Debian's linux-source-$series, qemu Malta 4Kc)"

# The module, built out of tree in its own folder so the sources stay clean.
rm -rf "$dir/module" && mkdir -p "$dir/module"
cp driver/Kbuild driver/flagctl.c driver/flagctl.h "$dir/module/"
make -s -C "$dir/linux" O="$kdir" M="$dir/module" ARCH=mips \
  CROSS_COMPILE=mips-linux-gnu- modules >"$dir/module.log" 2>&1 ||
  { cat "$dir/module.log"; die "the module did not build"; }

# The raw-request checker, static on the board's C library.
read -ra cpu_flags <<<"$BOARD_CPU_FLAGS"
mips-linux-gnu-gcc -muclibc -specs="$PWD/$board/board.specs" \
  "${cpu_flags[@]}" -std=gnu11 -O2 -Wall -Wextra -Wshadow -Wformat=2 -Werror \
  -static -Idriver -o "$build/raw-requests" tests/kernel/raw_requests.c

root=$dir/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,dev,etc,proc,sys,tmp,lib/modules}
cp "$build/busybox/busybox" "$root/bin/busybox"
cp tests/kernel/init.sh "$root/init"
chmod 755 "$root/init"
cp "$dir/module/flagctl.ko" "$root/lib/modules/"
cp "$build/raw-requests" "$root/bin/"

# The programs as the board build installs them (/usr/sbin/dorvane,
# /usr/bin/obscure), less the manual pages a board leaves out.
DESTDIR=$root cmake --install "$board" --prefix /usr >/dev/null
rm -rf "$root/usr/share/man"
rmdir --ignore-fail-on-non-empty "$root/usr/share"

# Their loader and the shared libraries they need, from the board's root to
# the same paths.
programs=$(find "$root/usr/bin" "$root/usr/sbin" -type f | sort)
# shellcheck disable=SC2086 # one path a word: the build's paths have no blanks
loaded=$(bash board/loads.sh mips-linux-gnu-readelf "$board/root" $programs) ||
  die "the programs need what $board/root does not hold"
for path in $loaded; do
  mkdir -p "$root/$(dirname "$path")"
  cp -L "$board/root/$path" "$root/$path"
done

# Every ELF file of the image, checked before it boots; the report travels
# in the image, to be counted with the guest's own cases.
bash tests/kernel/mips_image.sh "$root" >"$dir/image-check" || true
cp "$dir/image-check" "$root/etc/image-check"
pack_initramfs "$root" "$dir/initramfs.cpio.gz"
say "image: $(stat -c %s "$dir/initramfs.cpio.gz") bytes packed," \
  "$(sed -n '$p' "$dir/image-check") in its ELF files' check"

# -no-reboot turns the guest's final "reboot -f" into qemu's exit.
boot_guest "$dir/serial.log" "$timeout_s" qemu-system-mips -M malta \
  -cpu 4Kc -m 256 -nodefaults -display none -no-reboot -nic none \
  -kernel "$dir/vmlinux" -initrd "$dir/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 quiet"
echo "$release" >"$dir/release"
