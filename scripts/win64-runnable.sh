#!/usr/bin/env bash
# Exits 0 when this machine can run the 64-bit Windows build under Wine's 64-bit loader, the fallback
# where 32-bit x86 programs cannot run (scripts/win32-runnable.sh).
#   scripts/win64-runnable.sh
set -uo pipefail
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader="$(command -v wine64)" || exit 1
timeout 60 "$loader" --version >/dev/null 2>&1
