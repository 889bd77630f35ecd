#!/usr/bin/env bash
# Installs what the fuzzing build needs, where it is missing: clang with its sanitizer and libFuzzer
# runtimes, from Debian's packages. clang 16 is the oldest that compiles the tree (clang 14 crashes on
# the compile-time Windows-1251 literals). Prints the compiler to use.
set -euo pipefail

needed=(clang-16 libclang-rt-16-dev)
missing=()
for pkg in "${needed[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-fuzz: installing ${missing[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
echo clang++-16
