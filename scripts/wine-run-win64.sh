#!/usr/bin/env bash
# Runs a program of the 64-bit Windows build (build-win64/) under Wine's 64-bit loader, in that build
# tree's own win64 prefix: scripts/wine-run-win32.sh with SD_WINE_ARCH=win64.
#   scripts/wine-run-win64.sh [--prefix DIR] program.exe [arguments...]
SD_WINE_ARCH=win64 exec "$(dirname "$0")/wine-run-win32.sh" "$@"
