#!/usr/bin/env bash
# Runs a program of a Windows build under Wine, in the build tree's own Wine prefix (created on first
# use, headless, without the Mono and Gecko installers), with Wine's own messages silenced. The 32-bit
# build runs under Wine's 32-bit loader in a win32 prefix; the 64-bit build (scripts/wine-run-win64.sh,
# SD_WINE_ARCH=win64) under Wine's 64-bit loader in a win64 prefix.
#   scripts/wine-run-win32.sh [--prefix DIR] program.exe [arguments...]
# Without --prefix the prefix is WINEPREFIX, or build-win32/wine (build-win64/wine) beside this script.
set -euo pipefail

arch="${SD_WINE_ARCH:-win32}"
prefix="${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build-${arch}/wine}"
if [ "${1:-}" = "--prefix" ]; then
  prefix="$2"
  shift 2
fi
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH="$arch"
wine=wine
if [ "$arch" = win64 ]; then
  # Debian's `wine` starts the 32-bit loader whenever it is installed, even where it cannot run.
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine="$(command -v wine64 || echo wine64)"
  export WINELOADER="$wine"
fi

# The first program creates the prefix; programs started at the same time wait for it under a lock.
if [ ! -f "$WINEPREFIX/.sd-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.sd-ready" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 || true
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.sd-ready"
  fi
  flock -u 9
  exec 9>&-
fi

exec "$wine" "$@"
