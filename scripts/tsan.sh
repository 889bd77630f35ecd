#!/usr/bin/env bash
# Builds the tests that run exchange threads with ThreadSanitizer (in build-tsan/, or BUILD_DIR) and runs
# them: the exchange, the operations and their faults, the library's load and unload, and the settings.
# Any data race or lock-order report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
build_dir="${BUILD_DIR:-build-tsan}"
jobs="${JOBS:-2}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The test programs that hold these tests, and the tests themselves by the names of their suites.
programs=(operations_test library_test codec_test settings_store_test settings_dialog_test platform_test)
suites='^(Operations|Faults|ServerBehaviours/FaultTable|ConcurrentCalls|ExchangeThreads|Entries|Library|Unload|PlatformThreads|Codec|DecodeReply|LinkSettingsTest|ConfigFormTest|HostUi|HostUiTest|Ini[A-Za-z]*)\.'

cmake -S . -B "$build_dir" "${launcher[@]}" -DSD_TSAN=ON -DSD_BUILD_BENCH=OFF >/dev/null
for program in "${programs[@]}"; do
  cmake --build "$build_dir" -j "$jobs" --target "$program"
done
# halt_on_error: the first report fails the test that caused it, with the report in its output.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 300 -R "$suites"
