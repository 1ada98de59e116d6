#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's defconfig in the project's BR2_EXTERNAL tree, loaded by
# Buildroot's own Kconfig: every setting it makes must survive (Kconfig
# drops a symbol it does not know, or whose dependencies are unmet, with
# no error), and the firmware must get both packages, cJSON and the
# control node.
#
# Usage: buildroot_defconfig.sh TARBALL TREE WORK-DIR
#   TARBALL   Buildroot's release; absent, the test is skipped
#   TREE      the BR2_EXTERNAL tree (buildroot/ of the checkout)
#   WORK-DIR  where the release is unpacked, once, and the output folder is
set -euo pipefail

tarball=$1 tree=$2 work=$3
mkdir -p "$work"
if [ ! -f "$tarball" ]; then
  echo "skipped: no Buildroot release at $tarball"
  exit 77
fi

# Unpacked whole once: Kconfig reads every package's Config.in.
release=$work/$(basename "$tarball" .tar.xz)
if [ ! -f "$release/Makefile" ]; then
  rm -rf "$release.part" && mkdir -p "$release.part"
  tar -xJf "$tarball" -C "$release.part" --strip-components=1
  rm -rf "$release" && mv "$release.part" "$release"
fi

# What the firmware must get, whatever the defconfig spells out itself:
# cJSON comes from the programs' package selecting it.
required=(
  'BR2_PACKAGE_DEVICETOOLS=y'
  'BR2_PACKAGE_DEVICETOOLS_FLAG_CONTROL_NODE="/dev/flagctl"'
  'BR2_PACKAGE_FLAGCTL=y'
  'BR2_PACKAGE_CJSON=y'
  'BR2_INSTALL_LIBSTDCPP=y'
  'BR2_TOOLCHAIN_USES_UCLIBC=y'
  'BR2_ENDIAN="BIG"'
  'BR2_GCC_TARGET_ARCH="mips32"'
  'BR2_SOFT_FLOAT=y'
)

status=0
shopt -s nullglob
defconfigs=("$tree"/configs/*_defconfig)
[ ${#defconfigs[@]} -gt 0 ] || { echo "FAIL: no defconfig in $tree/configs"; exit 1; }
for defconfig in "${defconfigs[@]}"; do
  name=$(basename "$defconfig")
  out=$work/${name%_defconfig}
  rm -f "$out/.config"
  # Run by make check's make: its flags and command-line variables are not
  # Buildroot's.
  if ! env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL \
    make -C "$release" BR2_EXTERNAL="$(realpath "$tree")" O="$(realpath -m "$out")" \
    "$name" >"$out.log" 2>&1; then
    cat "$out.log"
    echo "FAIL: $name: Buildroot could not load it"
    status=1
    continue
  fi
  mapfile -t settings < <(grep -E '^BR2_' "$defconfig")
  for line in "${settings[@]}" "${required[@]}"; do
    grep -qxF -- "$line" "$out/.config" ||
      { echo "FAIL: $name: not in .config: $line"; status=1; }
  done
  [ $status -ne 0 ] || echo "ok: $name: ${#settings[@]} settings and ${#required[@]} required lines in .config"
done
exit $status
