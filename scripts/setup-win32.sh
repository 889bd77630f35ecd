#!/usr/bin/env bash
# Installs what the Windows build needs, where it is missing: MinGW-w64 for i686 and Wine (32-bit), from
# Debian's packages, and GoogleTest's sources for the cross build. Does nothing on a machine that has them.
set -euo pipefail

needed=(g++-mingw-w64-i686 wine wine32:i386 googletest cmake make)
missing=()
for pkg in "${needed[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-win32: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
