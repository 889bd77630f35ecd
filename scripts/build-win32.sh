#!/usr/bin/env bash
# Builds the Windows 32-bit DLL, its tools and its tests with MinGW-w64 into build-win32/:
# build-win32/bin/smartdriver.dll beside the runtime DLLs it needs, smartdriver-host.exe and
# smartdriver-emulator.exe. With SD_TOOLCHAIN=mingw64 (and a BUILD_DIR such as build-win64) the same for
# 64-bit Windows, the build whose suite runs where 32-bit programs cannot (scripts/test-win32.sh).
#   scripts/build-win32.sh [cmake --build arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-win32.sh
build_dir="${BUILD_DIR:-build-win32}"
jobs="${JOBS:-$(nproc)}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-${SD_TOOLCHAIN:-mingw32}.cmake" -DSD_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build_dir" -j "$jobs" "$@"
