#!/usr/bin/env bash
# Installs what the fuzzing build needs, where it is missing: clang with its sanitizer and libFuzzer
# runtimes, from Debian's packages. clang 16 is the oldest that compiles the tree (clang 14 crashes on
# the compile-time Windows-1251 literals). Prints the compiler to use.
set -euo pipefail

source "$(dirname "$0")/packages.sh"
mapfile -t missing < <(missing_packages clang-16 libclang-rt-16-dev)
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-fuzz: installing ${missing[*]}" >&2
  apt_install --no-install-recommends "${missing[@]}" >&2
fi
echo clang++-16
