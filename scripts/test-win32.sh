#!/usr/bin/env bash
# Builds the Windows 32-bit DLL, its tools and its tests (scripts/build-win32.sh) and runs the tests with
# ctest under Wine, in the build tree's own Wine prefix (build-win32/wine).
# On a machine that cannot run 32-bit x86 programs (scripts/win32-runnable.sh) but runs 64-bit Wine, it
# builds the 32-bit DLL and checks its export, then builds the same suite for 64-bit Windows
# (build-win64/) and runs that under 64-bit Wine (build-win64/wine); the i386 stack balance is then not
# run. Where neither Wine runs, it builds and says loudly that nothing ran.
#   scripts/test-win32.sh [ctest arguments...]     e.g. -R Codec
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${JOBS:-$(nproc)}"
build_dir="${BUILD_DIR:-build-win32}"

# The prefix's Wine server outlives the programs by a few seconds; it is ended with the run.
# Now and then, about once in a hundred programs and only while others run beside it, Wine leaves a
# program hanging at its exit after it has done its work and written its result: ctest's own time limit
# then ends a test program, or a test's limit on its child (a copy of itself, or a tool) makes it fail.
# Such a test is run once more; a test that fails twice fails the suite. The hang has been seen only with
# several programs running at once, so the programs run one at a time (WINE_JOBS=N to change that).
run_suite() {
  export WINEPREFIX="$PWD/$build_dir/wine"
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  ctest --test-dir "$build_dir" --output-on-failure -j "${WINE_JOBS:-1}" --timeout 180 --repeat until-pass:2 "$@"
}

# The DLL of a build (its directory, its binutils' prefix) exports GeTDriver alone, undecorated.
check_export() {
  local exports
  exports="$("$2-objdump" -p "$1/bin/smartdriver.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')"
  if [ "$exports" != "GeTDriver" ]; then
    echo "test-win32: FAILED: $1/bin/smartdriver.dll must export GeTDriver alone, undecorated; it exports:" >&2
    printf '%s\n' "${exports:-(nothing)}" >&2
    exit 1
  fi
  echo "test-win32: $1/bin/smartdriver.dll built; it exports GeTDriver alone, undecorated"
}

if why="$(scripts/win32-runnable.sh --why)"; then
  scripts/build-win32.sh
  check_export "$build_dir" i686-w64-mingw32
  echo "test-win32: running the 32-bit build ($build_dir/) under 32-bit Wine"
  run_suite "$@"
  exit 0
fi

# The shipped DLL is built and inspected even where it cannot run.
scripts/build-win32.sh --target smartdriver smartdriver-host
check_export "$build_dir" i686-w64-mingw32

if ! scripts/win64-runnable.sh; then
  echo "test-win32: built, but NOT RUN under Wine: $why; and 64-bit Wine does not run either" >&2
  exit 0
fi
echo "test-win32: the 32-bit build cannot run here ($why);"
echo "test-win32: running the 64-bit build (build-win64/) under 64-bit Wine instead"
build_dir=build-win64
BUILD_DIR="$build_dir" SD_TOOLCHAIN=mingw64 scripts/build-win32.sh
check_export "$build_dir" x86_64-w64-mingw32
run_suite "$@"
echo "test-win32: the 64-bit build's suite passed under 64-bit Wine (the 32-bit build was built, not run)"
