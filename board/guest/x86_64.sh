#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# vm-check's x86-64 guest: builds its image and boots it. Debian's own
# kernel (the one matching the installed linux-headers-amd64) under software
# emulation on two processors, so that concurrent callers of the driver
# really run at once, with the reference flag driver built against those
# headers, busybox, the real dorvane, flagctl-steer and the guest's test
# cases (tests/kernel/) as its /init. Request 2 is also the kernel's own
# FIGETBSZ there, which it answers itself for every file; the driver answers
# the encoded alias of request 2 as well, and /usr/bin/flagctl-steer
# (tests/kernel/flagctl_steer.c) runs a program with its request 2 on the
# node rewritten into that alias, so every dorvane case runs through it.
# The console is left in BUILD/serial.log and the kernel's release in
# BUILD/release for tests/kernel/vm-check.sh to judge.
#
# Usage, from the repository root: bash board/guest/x86_64.sh
# (make vm-check runs it through tests/kernel/vm-check.sh).
# Environment: VM_BUILD (default build-vm), VM_TIMEOUT (seconds, default 600).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${VM_BUILD:-build-vm}
timeout_s=${VM_TIMEOUT:-600}
. board/guest/lib.sh

[ "$(dpkg --print-architecture)" = amd64 ] ||
  die "the guest kernel comes from linux-headers-amd64: an amd64 host is needed"

# The headers the module is built against name the kernel to boot:
# linux-headers-amd64 depends on exactly one linux-headers-RELEASE, and
# linux-image-RELEASE of the same version is that kernel.
headers_pkg=$(dpkg-query -W -f='${Depends}' linux-headers-amd64 |
  sed -n 's/^\(linux-headers-[^ ,]*\).*/\1/p')
release=${headers_pkg#linux-headers-}
kdir=/usr/src/$headers_pkg
if [ -z "$release" ] || [ ! -d "$kdir" ]; then
  die "cannot find the headers linux-headers-amd64 depends on"
fi
version=$(dpkg-query -W -f='${Version}' "$headers_pkg")
# The headers were configured with their own compiler; kbuild must use it.
cc=$(sed -n 's/^CONFIG_CC_VERSION_TEXT="\{0,1\}\([^ ]*\).*/\1/p' \
  "$kdir/include/config/auto.conf")
command -v "$cc" >/dev/null || die "the headers' compiler $cc is missing"
say "x86-64 guest: kernel $release ($version), module compiler $cc"

mkdir -p "$build"
build=$(cd "$build" && pwd)

# The kernel image, fetched once: the package is downloaded, never installed.
kernel=$build/kernel/vmlinuz-$release
if [ ! -s "$kernel" ]; then
  rm -rf "$build/kernel" && mkdir -p "$build/kernel"
  image_pkg=linux-image-$release
  fetch() {
    (cd "$build/kernel" &&
      apt-get download -qq -o APT::Sandbox::User=root "$image_pkg=$version")
  }
  if ! fetch; then
    # A fresh machine may have no package lists yet.
    if [ "$(id -u)" -ne 0 ]; then sudo apt-get update -qq; else apt-get update -qq; fi
    fetch || die "cannot download $image_pkg $version; if the archive has moved on, upgrade linux-headers-amd64"
  fi
  dpkg-deb --fsys-tarfile "$build/kernel/${image_pkg}_"*.deb |
    tar -x -O "./boot/vmlinuz-$release" >"$kernel.part"
  mv "$kernel.part" "$kernel"
  rm -f "$build/kernel/"*.deb
fi

# dorvane as the project builds it; only the program is needed.
cmake -S . -B "$build/tools" -DCMAKE_BUILD_TYPE=Release \
  -DTOOLS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build/tools" --target dorvane -j "$(nproc)" >/dev/null
dorvane=$build/tools/flagtool/dorvane

# The module, built out of tree in its own folder so the sources stay clean.
rm -rf "$build/module" && mkdir -p "$build/module"
cp driver/Kbuild driver/flagctl.c driver/flagctl.h "$build/module/"
make -s -C "$kdir" M="$build/module" CC="$cc" modules >"$build/module.log" 2>&1 ||
  { cat "$build/module.log"; die "the module did not build"; }

# The raw-request checker and flagctl-steer: static, so they need nothing
# in the guest.
for program in raw_requests flagctl_steer; do
  gcc -std=gnu11 -O2 -Wall -Wextra -Wshadow -Wformat=2 -Werror -static \
    -Idriver -o "$build/${program//_/-}" "tests/kernel/$program.c"
done

# The initramfs: busybox, the init script, the module, the checker,
# flagctl-steer, and dorvane with the shared libraries it names, at the
# paths the loader uses.
root=$build/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,usr/bin,usr/sbin,lib/modules}
cp /bin/busybox "$root/bin/busybox"
cp tests/kernel/init.sh "$root/init"
chmod 755 "$root/init"
cp "$build/module/flagctl.ko" "$root/lib/modules/"
cp "$build/raw-requests" "$root/bin/"
cp "$build/flagctl-steer" "$root/usr/bin/"
cp "$dorvane" "$root/usr/sbin/dorvane"
for lib in $(ldd "$dorvane" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
pack_initramfs "$root" "$build/initramfs.cpio.gz"

# Software emulation only, so the result does not depend on the host's
# virtualisation support.
boot_guest "$build/serial.log" "$timeout_s" qemu-system-x86_64 -accel tcg \
  -m 256 -smp 2 -nodefaults -display none -no-reboot -nic none \
  -kernel "$kernel" -initrd "$build/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 quiet"
echo "$release" >"$build/release"
