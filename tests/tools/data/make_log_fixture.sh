#!/usr/bin/env bash
# Writes the fixture logs of the smartdriver-log tests with the real library: smartdriver-host runs a
# sale with faults against smartdriver-emulator under a Russian locale (day.month.year dates, decimal
# comma), built with localedef. The log is first filled to just under its 1 MiB limit so that it is
# rotated during the sale; the filler is then cut from the front of the rotated file, which keeps the
# lines of the sale only. A second load of the library meets a cashless port where nothing listens.
#   tests/tools/data/make_log_fixture.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$(cd "${1:-build}" && pwd)/bin"
work="$(mktemp -d)"
trap 'kill "$emulator_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

localedef -i ru_RU -f UTF-8 "$work/ru_RU.UTF-8"
export LOCPATH="$work" LC_ALL=ru_RU.UTF-8 SMARTDRIVER_DRIVE_C="$work/drive_c"

cat >"$work/scenario.txt" <<'SCENARIO'
wallet 9 approval=0
wallet 8 fault=close
wallet 7 fault=silent
wallet 6 fault=badcrc
wallet 5 fault=garbage
wallet 4 delay=600
wallet 3 fault=reset
SCENARIO
"$bin/smartdriver-emulator" --price 4750 --scenario "$work/scenario.txt" >"$work/emulator.out" &
emulator_pid=$!
sleep 0.5
read -r discount cashless < <(sed -n 's/^discount-port=\([0-9]*\) cashless-port=\([0-9]*\)$/\1 \2/p' "$work/emulator.out")
logs="$work/drive_c/ZEMO/LogFiles"
mkdir -p "$logs"
settings() {
  printf '[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=%s\r\nPortbn=%s\r\nbWaitTimeOut=1000\r\nbEnableLog=1\r\n' \
    "$1" "$2" >"$work/drive_c/ZEMO/Kestmark.INI"
}
settings "$discount" "$cashless"

filler=$((1048576 - 1200))
head -c "$filler" /dev/zero | tr '\0' '.' >"$logs/Орвелина.log"
"$bin/smartdriver-host" run - >/dev/null <<'SALE' || true
card-info 1
discount - 1 1.5 99.99 "Покупатель 1"
discount M 1 1.5 99.99
cashless-sale 1 3 150
cashless-sale 9 1 50
cashless-return 0012345678 1 1 50
discount + 1 1.5 99.99
discount M 8 1 10
discount M 6 1 10
cashless-sale 5 1 10
discount M 7 1 10
discount M 4 2 20
cashless-sale 3 1 10
cashless-sale 1 0 0
SALE
# A port that was free a moment ago, where nothing listens now.
closed="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
settings "$discount" "$closed"
printf 'card-info 2\ndiscount M 2 1 10\n' | "$bin/smartdriver-host" run - >/dev/null || true

rotated="$(ls "$logs" | grep -v '\.log$')"
mkdir -p "$here/ru"
rm -f "$here/ru/"*
tail -c +$((filler + 1)) "$logs/$rotated" >"$here/ru/$rotated"
cp "$logs/Орвелина.log" "$here/ru/"
ls -l "$here/ru"
