#!/usr/bin/env bash
# Builds the driver, its tools and its tests, and runs every test.
#   scripts/test.sh                 the ordinary build in build/
#   BUILD_DIR=build-asan SANITIZE=ON scripts/test.sh
#                                   the same with AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
build_dir="${BUILD_DIR:-build}"
sanitize="${SANITIZE:-OFF}"
jobs="${JOBS:-$(nproc)}"

cmake -S . -B "$build_dir" -DSD_SANITIZE="$sanitize" >/dev/null
cmake --build "$build_dir" -j "$jobs"
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 180
