#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# vm-check's x86-64 guest: builds its image and boots it. One of Debian's
# own kernels (Linux 6.1, the one matching the installed
# linux-headers-amd64, or 6.12, the one matching linux-headers-6.12-amd64)
# under software emulation on two processors, so that concurrent callers of
# the driver really run at once, with the reference flag driver built
# against those headers, busybox, the real dorvane, flagctl-steer, the
# raw-request checker both as a 64-bit and as a 32-bit (i386) program, and
# the guest's test cases (tests/kernel/) as its /init. The 32-bit checker's
# requests reach the driver through the kernel's compat path
# (compat_ptr_ioctl), as a 32-bit userland's on a 64-bit kernel would. Request 2 is also the kernel's own
# FIGETBSZ there, which it answers itself for every file; the driver answers
# the encoded alias of request 2 as well, and /usr/bin/flagctl-steer
# (tests/kernel/flagctl_steer.c) runs a program with its request 2 on the
# node rewritten into that alias, so every dorvane case runs through it.
# The console is left in BUILD/SERIES/serial.log and the kernel's release
# in BUILD/SERIES/release for tests/kernel/vm-check.sh to judge; the kernel
# image is fetched once into BUILD/SERIES/kernel/ and kept there.
#
# Usage, from the repository root: bash board/guest/x86_64.sh [SERIES]
# (SERIES: the Linux series, 6.1 (the default) or 6.12; make vm-check runs
# it through tests/kernel/vm-check.sh, once for each).
# Environment: VM_BUILD (default build-vm), VM_TIMEOUT (seconds, default 600).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${VM_BUILD:-build-vm}
series=${1:-6.1}
timeout_s=${VM_TIMEOUT:-600}
. board/guest/lib.sh

# The meta-package whose headers name the series' kernel.
case $series in
6.1) headers_meta=linux-headers-amd64 ;;
6.12) headers_meta=linux-headers-6.12-amd64 ;;
*) die "no x86-64 guest kernel for Linux '$series' (6.1 or 6.12)" ;;
esac

[ "$(dpkg --print-architecture)" = amd64 ] ||
  die "the guest kernel comes from linux-headers-amd64: an amd64 host is needed"

# The headers the module is built against name the kernel to boot: the
# meta-package (linux-headers-amd64, linux-headers-6.12-amd64) depends on
# exactly one linux-headers-RELEASE, the newest of its series, and
# linux-image-RELEASE of the same version is that kernel.
headers_pkg=$(dpkg-query -W -f='${Depends}' "$headers_meta" |
  sed -n 's/^\(linux-headers-[^ ,]*\).*/\1/p')
release=${headers_pkg#linux-headers-}
kdir=/usr/src/$headers_pkg
if [ -z "$release" ] || [ ! -d "$kdir" ]; then
  die "cannot find the headers $headers_meta depends on"
fi
case $release in
"$series".*) ;;
*) die "$headers_meta names kernel $release, not one of Linux $series" ;;
esac
version=$(dpkg-query -W -f='${Version}' "$headers_pkg")
# The headers were configured with their own compiler; kbuild must use it.
cc=$(sed -n 's/^CONFIG_CC_VERSION_TEXT="\{0,1\}\([^ ]*\).*/\1/p' \
  "$kdir/include/config/auto.conf")
command -v "$cc" >/dev/null || die "the headers' compiler $cc is missing"
say "x86-64 guest: kernel $release ($version), module compiler $cc"

mkdir -p "$build/$series"
build=$(cd "$build" && pwd)
dir=$build/$series

# The kernel image, fetched once: the package is downloaded, never installed
# for this. The 6.12 headers depend on their image, though, so where that
# very package is installed its /boot/vmlinuz-RELEASE is taken instead.
kernel=$dir/kernel/vmlinuz-$release
image_pkg=linux-image-$release
if [ ! -s "$kernel" ] && [ -r "/boot/vmlinuz-$release" ] &&
  [ "$(dpkg-query -W -f='${Status} ${Version}' "$image_pkg" 2>/dev/null)" = \
    "install ok installed $version" ]; then
  rm -rf "$dir/kernel" && mkdir -p "$dir/kernel"
  cp "/boot/vmlinuz-$release" "$kernel.part"
  mv "$kernel.part" "$kernel"
fi
if [ ! -s "$kernel" ]; then
  rm -rf "$dir/kernel" && mkdir -p "$dir/kernel"
  fetch() {
    (cd "$dir/kernel" &&
      apt-get download -qq -o APT::Sandbox::User=root "$image_pkg=$version")
  }
  if ! fetch; then
    # A fresh machine may have no package lists yet.
    if [ "$(id -u)" -ne 0 ]; then sudo apt-get update -qq; else apt-get update -qq; fi
    fetch || die "cannot download $image_pkg $version; if the archive has moved on, upgrade $headers_meta"
  fi
  dpkg-deb --fsys-tarfile "$dir/kernel/${image_pkg}_"*.deb |
    tar -x -O "./boot/vmlinuz-$release" >"$kernel.part"
  mv "$kernel.part" "$kernel"
  rm -f "$dir/kernel/"*.deb
fi

# dorvane as the project builds it; only the program is needed.
cmake -S . -B "$build/tools" -DCMAKE_BUILD_TYPE=Release \
  -DTOOLS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build/tools" --target dorvane -j "$(nproc)" >/dev/null
dorvane=$build/tools/flagtool/dorvane

# The module, built out of tree in its own folder so the sources stay clean.
rm -rf "$dir/module" && mkdir -p "$dir/module"
cp driver/Kbuild driver/flagctl.c driver/flagctl.h "$dir/module/"
make -s -C "$kdir" M="$dir/module" CC="$cc" modules >"$dir/module.log" 2>&1 ||
  { cat "$dir/module.log"; die "the module did not build"; }

# The raw-request checker and flagctl-steer: static, so they need nothing
# in the guest. The checker also as a 32-bit i386 program, with Debian's
# i686 cross compiler and its C library.
cflags=(-std=gnu11 -O2 -Wall -Wextra -Wshadow -Wformat=2 -Werror -static -Idriver)
for program in raw_requests flagctl_steer; do
  gcc "${cflags[@]}" -o "$build/${program//_/-}" "tests/kernel/$program.c"
done
i686-linux-gnu-gcc "${cflags[@]}" -o "$build/raw-requests-i386" \
  tests/kernel/raw_requests.c

# The initramfs: busybox, the init script, the module, both checkers,
# flagctl-steer, and dorvane with the shared libraries it names, at the
# paths the loader uses.
root=$dir/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,usr/bin,usr/sbin,lib/modules}
cp /bin/busybox "$root/bin/busybox"
cp tests/kernel/init.sh "$root/init"
chmod 755 "$root/init"
cp "$dir/module/flagctl.ko" "$root/lib/modules/"
cp "$build/raw-requests" "$build/raw-requests-i386" "$root/bin/"
cp "$build/flagctl-steer" "$root/usr/bin/"
cp "$dorvane" "$root/usr/sbin/dorvane"
for lib in $(ldd "$dorvane" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
pack_initramfs "$root" "$dir/initramfs.cpio.gz"

# Software emulation only, so the result does not depend on the host's
# virtualisation support.
boot_guest "$dir/serial.log" "$timeout_s" qemu-system-x86_64 -accel tcg \
  -m 256 -smp 2 -nodefaults -display none -no-reboot -nic none \
  -kernel "$kernel" -initrd "$dir/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 quiet"
echo "$release" >"$dir/release"
