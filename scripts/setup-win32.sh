#!/usr/bin/env bash
# Installs what the Windows builds need, where it is missing: MinGW-w64 for i686 and x86_64, Wine (32-bit
# and 64-bit), from Debian's packages, and GoogleTest's sources for the cross builds. Does nothing on a
# machine that has them.
set -euo pipefail

needed=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 googletest cmake make)
missing=()
for pkg in "${needed[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-win32: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq || true
if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"; then
  # A mirror whose i386 security indexes lag behind the others offers packages of two versions that
  # cannot be installed together; preferring the main release's packages for this install resolves it.
  pin=/etc/apt/preferences.d/smartdriver-setup-win32
  echo "setup-win32: retrying with the security archive's packages held back"
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' | $sudo tee "$pin" >/dev/null
  trap '$sudo rm -f "$pin"' EXIT
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
