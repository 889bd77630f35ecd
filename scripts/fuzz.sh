#!/usr/bin/env bash
# Builds the fuzz targets with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer (in
# build-fuzz/, or BUILD_DIR) and runs each for SECONDS (default 60), one after the other.
#   scripts/fuzz.sh [SECONDS]            every target
#   TARGETS="ini_settings" scripts/fuzz.sh 300
# Each run starts from the seed corpus in fuzz/corpus/<target> and grows a working corpus in the build
# folder; the repository is not touched. A failing input is left in <build>/fuzz-failures/<target>/ and
# fails the script: keep it in fuzz/regressions/<target>/, where the ordinary tests run it, and fix it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build_dir="${BUILD_DIR:-build-fuzz}"
jobs="${JOBS:-2}"

cxx="$(scripts/setup-fuzz.sh)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build_dir" -DCMAKE_CXX_COMPILER="$cxx" "${launcher[@]}" -DSD_FUZZ=ON -DSD_BUILD_TESTS=OFF \
  -DSD_BUILD_BENCH=OFF >/dev/null
targets="${TARGETS:-$(sed -n 's/^  XX(\([a-z_]*\), .*/\1/p' fuzz/targets.h)}"
for target in $targets; do
  cmake --build "$build_dir" -j "$jobs" --target "fuzz_$target" >/dev/null
done

# One target's run; prints its verdict and fails when the target found an input that fails.
run_one() {
  local target="$1" work="$build_dir/fuzz-corpus/$1" failures="$build_dir/fuzz-failures/$1"
  local log="$build_dir/fuzz-$1.log"
  mkdir -p "$work" "$failures"
  if "$build_dir/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
      -print_final_stats=1 -artifact_prefix="$failures/" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "fuzz: $target passed, $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") runs in ${seconds}s"
  else
    grep -E "property violated|ERROR|runtime error" "$log" | head -5 || true
    echo "fuzz: $target FAILED; the input is in $failures, the log in $log"
    return 1
  fi
}
export -f run_one
export build_dir seconds

# Two at a time by default: each target still gets its full time on a core of its own.
echo "fuzz: $(echo $targets | wc -w) targets for ${seconds}s each, $jobs at a time"
if printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_one {}'; then
  echo "fuzz: every target ran ${seconds}s without a failure"
else
  echo "fuzz: a target failed"
  exit 1
fi
