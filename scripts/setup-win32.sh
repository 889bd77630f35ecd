#!/usr/bin/env bash
# Installs what the Windows builds need, where it is missing: MinGW-w64 for i686 and x86_64, Wine (32-bit
# and 64-bit), from Debian's packages, and GoogleTest's sources for the cross builds. Does nothing on a
# machine that has them.
set -euo pipefail

source "$(dirname "$0")/packages.sh"
mapfile -t missing < <(missing_packages g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 googletest cmake make)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-win32: installing ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
apt_install "${missing[@]}"
