#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's defconfig in the project's BR2_EXTERNAL tree, loaded by
# Buildroot's own Kconfig: every setting it makes must survive (Kconfig
# drops a symbol it does not know, or whose dependencies are unmet, with
# no error), and the firmware must get both packages, cJSON and the
# control node. Then Buildroot reads the packages' recipes (make
# show-info, offline): each package is the checkout's version, under the
# licence its sources declare, with licence files the checkout has, and
# depends on what it is built against.
#
# Usage: buildroot_defconfig.sh TARBALL TREE WORK-DIR
#   TARBALL   Buildroot's release; absent, the test fails under CI
#             (CI=true) and is skipped elsewhere
#   TREE      the BR2_EXTERNAL tree (buildroot/ of the checkout)
#   WORK-DIR  where the release is unpacked, once, and the output folder is
set -euo pipefail

tarball=$1 tree=$2 work=$3
mkdir -p "$work"
if [ ! -f "$tarball" ]; then
  echo "no Buildroot release at $tarball"
  [ "${CI:-}" = true ] && exit 1
  echo "skipped"
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

# What the recipes must say: the version the checkout's project() names.
checkout=$(realpath "$tree/..")
project_version=$(sed -n 's/^project([a-z]* VERSION \([0-9.]*\).*/\1/p' "$checkout/CMakeLists.txt")

# package NAME SOURCE DEPENDENCY...: the package NAME built from the
# checkout's SOURCE folder, as show-info in $out describes it.
package() {
  local pkg=$1 source=$2 version licence files deps file dep want
  shift 2
  IFS=$'\t' read -r version licence files deps < <(jq -r --arg p "$pkg" \
    '.[$p] | [.version, .licenses, (.license_files | join(" ")),
      (.dependencies | join(" "))] | @tsv' "$out/show-info.json") ||
    { echo "FAIL: $name: $pkg: not in show-info"; status=1; return; }
  [ "$version" = "$project_version" ] ||
    { echo "FAIL: $name: $pkg: version $version, the checkout's is $project_version"; status=1; }
  want=$(grep -rhom1 'SPDX-License-Identifier: [^ ]*' "$checkout/$source" |
    sed 's/.*: //' | sort -u)
  [ "$licence" = "$want" ] ||
    { echo "FAIL: $name: $pkg: licence $licence, its sources declare ${want:-none}"; status=1; }
  [ -n "$files" ] || { echo "FAIL: $name: $pkg: no licence file"; status=1; }
  for file in $files; do
    [ -s "$checkout/$file" ] ||
      { echo "FAIL: $name: $pkg: licence file $file is not in the checkout"; status=1; }
  done
  for dep in "$@"; do
    [[ " $deps " == *" $dep "* ]] ||
      { echo "FAIL: $name: $pkg: does not depend on $dep (depends on: $deps)"; status=1; }
  done
}

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

  # Every recipe parsed, as a build would parse it; nothing is fetched.
  if ! env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL \
    make -s --no-print-directory -C "$release" BR2_EXTERNAL="$(realpath "$tree")" \
    O="$(realpath -m "$out")" show-info >"$out/show-info.json" 2>"$out/show-info.log"; then
    cat "$out/show-info.log"
    echo "FAIL: $name: Buildroot could not read the recipes"
    status=1
    continue
  fi
  package devicetools flagtool cjson toolchain
  package devicetools scrambler cjson toolchain
  package flagctl driver linux toolchain
  [ $status -ne 0 ] || echo "ok: $name: the packages' recipes, as Buildroot reads them"
done
exit $status
