#!/usr/bin/env bash
# vm-check's MIPS guest: the board's processor, a big-endian MIPS32 release 2
# core (qemu's Malta board with a 24Kc, software emulation), running Linux
# 6.1 built from Debian's sources (board/guest/kernel.sh), busybox built
# from Debian's sources (board/guest/busybox.sh), the reference flag driver built
# against that kernel (there it is the plain misc device: request 2 is not
# the kernel's own) and dorvane as the board build installs it, with its
# shared libraries, with the guest's test cases (tests/kernel/) as its
# /init. The console is left in BUILD/serial.log and the kernel's release
# in BUILD/release for tests/kernel/vm-check.sh to judge.
#
# Usage, from the repository root: bash board/guest/mips.sh
# (make vm-check runs it through tests/kernel/vm-check.sh).
# Environment: VM_MIPS_BUILD (default build-vm-mips), VM_TIMEOUT (seconds,
# default 600).
#
# Leaves the guest's root tree in VM_MIPS_BUILD/initramfs/ and its kernel in
# VM_MIPS_BUILD/vmlinux, so that other checks can boot the same guest with an
# /init of their own.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${VM_MIPS_BUILD:-build-vm-mips}
timeout_s=${VM_TIMEOUT:-600}
board=build-mips
. board/guest/lib.sh

bash board/guest/kernel.sh "$build"
bash board/guest/busybox.sh "$build"
mkdir -p "$build"
build=$(cd "$build" && pwd)
kdir=$build/kernel
release=$(cat "$kdir/include/config/kernel.release")
say "MIPS guest: kernel $release (Debian's linux-source-6.1, qemu Malta 24Kc)"

# The module, built out of tree in its own folder so the sources stay clean.
rm -rf "$build/module" && mkdir -p "$build/module"
cp driver/Kbuild driver/flagctl.c driver/flagctl.h "$build/module/"
make -s -C "$build/linux" O="$kdir" M="$build/module" ARCH=mips \
  CROSS_COMPILE=mips-linux-gnu- modules >"$build/module.log" 2>&1 ||
  { cat "$build/module.log"; die "the module did not build"; }

# The raw-request checker: static, so it needs nothing in the guest.
mips-linux-gnu-gcc -std=gnu11 -O2 -Wall -Wextra -Wshadow -Wformat=2 -Werror \
  -static -Idriver -o "$build/raw-requests" tests/kernel/raw_requests.c

# dorvane exactly as the board build installs it, and what it loads.
bash board/build.sh "$board"
dorvane=$board/flagtool/dorvane

root=$build/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,usr/sbin,lib/modules}
cp "$build/busybox/busybox" "$root/bin/busybox"
cp tests/kernel/init.sh "$root/init"
chmod 755 "$root/init"
cp "$build/module/flagctl.ko" "$root/lib/modules/"
cp "$build/raw-requests" "$root/bin/"
cp "$dorvane" "$root/usr/sbin/dorvane"

# Its loader and the shared libraries it needs, from the board's root to the
# same paths.
loaded=$(bash board/loads.sh mips-linux-gnu-readelf "$board/root" \
  "$root/usr/sbin/dorvane") || die "dorvane needs what $board/root does not hold"
for path in $loaded; do
  mkdir -p "$root/$(dirname "$path")"
  cp -L "$board/root/$path" "$root/$path"
done
pack_initramfs "$root" "$build/initramfs.cpio.gz"

# -no-reboot turns the guest's final "reboot -f" into qemu's exit.
boot_guest "$build/serial.log" "$timeout_s" qemu-system-mips -M malta \
  -cpu 24Kc -m 256 -nodefaults -display none -no-reboot -nic none \
  -kernel "$build/vmlinux" -initrd "$build/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 quiet"
echo "$release" >"$build/release"
