#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, in the build tree's own Wine prefix (created on first
# use, headless, without the Mono and Gecko installers), with Wine's own messages silenced.
#   scripts/wine-run-win32.sh [--prefix DIR] program.exe [arguments...]
# Without --prefix the prefix is WINEPREFIX, or build-win32/wine beside this script.
set -euo pipefail

prefix="${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build-win32/wine}"
if [ "${1:-}" = "--prefix" ]; then
  prefix="$2"
  shift 2
fi
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win32

# The first program creates the prefix; programs started at the same time wait for it under a lock.
if [ ! -f "$WINEPREFIX/.sd-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.sd-ready" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.sd-ready"
  fi
  flock -u 9
  exec 9>&-
fi

exec wine "$@"
