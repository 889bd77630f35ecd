#!/usr/bin/env bash
# Builds the Windows 32-bit DLL, its tools and its tests (scripts/build-win32.sh) and runs the tests with
# ctest under Wine, in the build tree's own Wine prefix (build-win32/wine).
#   scripts/test-win32.sh [ctest arguments...]     e.g. -R Codec
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build-win32.sh
build_dir="${BUILD_DIR:-build-win32}"
jobs="${JOBS:-$(nproc)}"
export WINEPREFIX="$PWD/$build_dir/wine"

if ! why="$(scripts/win32-runnable.sh --why)"; then
  echo "test-win32: built, but NOT RUN under Wine: $why" >&2
  exit 0
fi

# The prefix's Wine server outlives the programs by a few seconds; it is ended with the run.
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Now and then, about once in a few hundred programs and only while others run beside it, Wine leaves a
# test program hanging at its exit after it has printed its result. Such a test is run once more; a test
# that times out twice fails.
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 180 --repeat after-timeout:2 "$@"
