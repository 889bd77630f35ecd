#!/usr/bin/env bash
# Builds everything and runs the whole suite RUNS times in a row (3 unless given) while `stress-ng --cpu 2`
# keeps two processors busy beside it, so that a test that holds only on an idle machine shows itself.
# Installs Debian's stress-ng when it is missing.
#   scripts/test-under-load.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
source scripts/packages.sh
mapfile -t missing < <(missing_packages stress-ng)
[ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"
runs="${1:-3}"
build_dir="${BUILD_DIR:-build}"
jobs="${JOBS:-$(nproc)}"

cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j "$jobs"

stress-ng --cpu 2 --quiet &
stress_pid=$!
trap 'kill "$stress_pid" 2>/dev/null; wait "$stress_pid" 2>/dev/null || true' EXIT
for run in $(seq 1 "$runs"); do
  echo "test-under-load: run $run of $runs"
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 180
done
echo "test-under-load: $runs runs in a row passed beside stress-ng --cpu 2"
