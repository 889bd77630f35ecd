#!/usr/bin/env bash
# Exits 0 when this machine can run the 32-bit Windows build under Wine. Wine's 32-bit side is itself a
# 32-bit x86 Linux program, and some virtual machines cannot execute those at all (the kernel answers
# "Exec format error"); there the Windows build can be made and inspected, but not run.
#   scripts/win32-runnable.sh [--why]      --why prints the reason when it cannot
set -uo pipefail

why=0
[ "${1:-}" = "--why" ] && why=1
if ! command -v wine >/dev/null 2>&1; then
  [ "$why" -eq 1 ] && echo "Wine is not installed"
  exit 1
fi
if ! out="$(timeout 60 wine --version 2>&1)"; then
  [ "$why" -eq 1 ] && echo "this machine cannot execute 32-bit x86 programs, which Wine's 32-bit side is (wine --version: ${out##*: })"
  exit 1
fi
exit 0
