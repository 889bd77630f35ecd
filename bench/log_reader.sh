#!/usr/bin/env bash
# The log reader's memory and speed on a large log: repeats the committed Russian log, which the real
# library wrote with faults and late exchanges, to SIZE_MB megabytes, then reads it with smartdriver-log
# (a summary, and JSON of every operation) under /usr/bin/time. The figures to hold: resident memory
# under 64 MB whatever the size, and 50 MB/s or better. Both the time on the clock and the processor
# time are shown: on a machine busy with other work only the second says what the reader costs.
#   bench/log_reader.sh [BUILD_DIR] [SIZE_MB]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tool="$(cd "${1:-build}" && pwd)/bin/smartdriver-log"
size_mb="${2:-200}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

sample="$here/../tests/tools/data/ru/Орвелина.log"
log="$work/Орвелина.log"
cat "$sample" "$sample" "$sample" "$sample" "$sample" "$sample" "$sample" "$sample" >"$work/chunk"
while [ "$(stat -c %s "$log" 2>/dev/null || echo 0)" -lt $((size_mb * 1048576)) ]; do
  cat "$work/chunk" "$work/chunk" "$work/chunk" "$work/chunk" >>"$log"
done
bytes="$(stat -c %s "$log")"
cat "$log" >/dev/null  # from the page cache, as a log read twice is

for mode in --summary --json; do
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$tool" "$mode" "$log" >/dev/null 2>"$work/err"
  read -r seconds user system kilobytes <"$work/time"
  awk -v m="$mode" -v b="$bytes" -v s="$seconds" -v u="$user" -v y="$system" -v k="$kilobytes" 'BEGIN {
    mb = b / 1048576; c = u + y
    printf "%s: %.0f MB in %.2f s = %.0f MB/s (processor %.2f s = %.0f MB/s), max resident %.1f MB\n",
           m, mb, s, mb / (s > 0 ? s : 0.01), c, mb / (c > 0 ? c : 0.01), k / 1024 }'
done
