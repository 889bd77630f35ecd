#!/usr/bin/env bash
# The README's main command: a whole sale through the driver library against the bundled server
# emulator. Builds what is missing, starts smartdriver-emulator on free loopback ports with a temporary
# drive C and settings file, runs the sale with smartdriver-host, prints the records and the operation
# log, checks that every step behaved as expected, and stops the emulator. Exit status 0 means it did.
#   scripts/demo.sh                       build into build/
#   BUILD_DIR=build-x JOBS=2 scripts/demo.sh
#   scripts/demo.sh --win32               the same sale through the Windows DLL (build-win32/) under Wine,
#                                         against the same emulator; the log must get its Cyrillic name
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${BUILD_DIR:-build}"
jobs="${JOBS:-$(nproc)}"
bin="$build_dir/bin"
win32=0
[ "${1:-}" = "--win32" ] && win32=1

# The build's own output is shown only when it fails.
quietly() {
  local out
  if ! out="$("$@" 2>&1)"; then
    printf '%s\n' "$out" >&2
    echo "demo: FAILED: $*" >&2
    exit 1
  fi
}
scripts/setup.sh
echo "demo: building smartdriver, smartdriver-host, smartdriver-emulator and smartdriver-log in $build_dir/"
quietly cmake -S . -B "$build_dir"
quietly cmake --build "$build_dir" -j "$jobs" --target smartdriver smartdriver-host smartdriver-emulator smartdriver-log
if [ "$win32" -eq 1 ] && ! why="$(scripts/win32-runnable.sh --why)"; then
  quietly env JOBS="$jobs" scripts/build-win32.sh --target smartdriver smartdriver-host
  echo "demo: smartdriver.dll and smartdriver-host.exe built, but the sale NOT RUN under Wine: $why" >&2
  exit 0
fi
if [ "$win32" -eq 1 ]; then
  echo "demo: building smartdriver.dll and smartdriver-host.exe in build-win32/"
  quietly env JOBS="$jobs" scripts/build-win32.sh --target smartdriver smartdriver-host
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/smartdriver-demo.XXXXXX")"
emulator_pid=""
cleanup() {
  if [ -n "$emulator_pid" ] && kill -0 "$emulator_pid" 2>/dev/null; then
    kill -TERM "$emulator_pid" 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "demo: FAILED: $*" >&2
  if [ -f "$work/emulator.out" ]; then
    echo "--- what the emulator printed ---" >&2
    cat "$work/emulator.out" >&2
  fi
  exit 1
}

# The emulator's rules: every reply for wallet 9 refuses the operation, the server hangs up on wallet 8
# without answering and stays silent to wallet 7. A reply to a return carries the unit price 47.50.
cat >"$work/scenario.txt" <<'SCENARIO'
wallet 9 approval=0
wallet 8 fault=close
wallet 7 fault=silent
SCENARIO
"$bin/smartdriver-emulator" --price 4750 --scenario "$work/scenario.txt" >"$work/emulator.out" 2>&1 &
emulator_pid=$!
for _ in $(seq 100); do
  grep -q '^discount-port=' "$work/emulator.out" 2>/dev/null && break
  kill -0 "$emulator_pid" 2>/dev/null || fail "the emulator did not start"
  sleep 0.1
done
ports="$(head -n 1 "$work/emulator.out")"
discount_port="$(sed -n 's/^discount-port=\([0-9]*\) cashless-port=\([0-9]*\)$/\1/p' <<<"$ports")"
cashless_port="$(sed -n 's/^discount-port=\([0-9]*\) cashless-port=\([0-9]*\)$/\2/p' <<<"$ports")"
[ -n "$discount_port" ] && [ -n "$cashless_port" ] || fail "no ports in the emulator's first line: $ports"

# Drive C of the driver, with its settings file (Windows line ends) and its log directory.
drive="$work/drive_c"
mkdir -p "$drive/ZEMO/LogFiles"
printf '[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=%s\r\nPortbn=%s\r\nbWaitTimeOut=2000\r\nbEnableLog=1\r\n' \
  "$discount_port" "$cashless_port" >"$drive/ZEMO/Kestmark.INI"

echo "demo: emulator on 127.0.0.1, discount server port $discount_port, cashless server port $cashless_port"
echo "demo: drive C is $drive"
echo

cat >"$work/sale.txt" <<'SALE'
# Which card is presented for wallet 1?
card-info 1
# A line of 2 items for 100.00: start the sale, then ask for its discount.
discount - 1 2 100 "Покупатель 1"
discount M 1 2 100
# Pay for 3 items at 150.00 from the card's cashless account.
cashless-sale 1 3 150
# The server refuses a payment for wallet 9.
cashless-sale 9 1 50
# Give one item at 50.00 back to the card.
cashless-return 0012345678 1 1 50
# Cancel the sale.
discount + 1 2 100
# The discount server hangs up on wallet 8 without an answer.
discount M 8 1 10
# It stays silent to wallet 7: the operation gives up after bWaitTimeOut (2 seconds here).
discount M 7 1 10
SALE

set +e
if [ "$win32" -eq 1 ]; then
  # Wine sees this machine's root as drive Z:; the Windows host makes the temporary drive its drive C.
  scripts/wine-run-win32.sh build-win32/bin/smartdriver-host.exe --drive-c "Z:${drive//\//\\}" --log run - \
    <"$work/sale.txt" 2>&1 | tee "$work/host.out"
else
  SMARTDRIVER_DRIVE_C="$drive" "$bin/smartdriver-host" --log run - <"$work/sale.txt" 2>&1 | tee "$work/host.out"
fi
host_status=${PIPESTATUS[0]}
set -e

# What the sale must have shown: the records, the two expected failures and the log's lines.
missing=0
expect() {
  grep -qF -- "$1" "$work/host.out" || { echo "demo: missing from the output: $1" >&2; missing=$((missing + 1)); }
}
expect "CardInfo.CardHead = 0012"
expect "CardInfo.CardTail = 345678"
expect "DiscountResult.TypeOper = -"
expect "DiscountResult.TypeOper = M"
expect "DiscountResult.NumberCard = 0012345678"
expect "DiscountResult.SummaSk = 95"
expect "DiscountResult.CosteSk = 47.5"
expect "CashlessResult.SummaSk = 142.5"
expect "CashlessResult.PriceSk = 47.5"
expect "DiscountResult.TypeOper = +"
expect 'error: Сервер "Вельтор" отменил операцию'
expect "error: Ошибка связи с сервером: Connection Closed Gracefully."
expect "error: Не удалось получить скидку: TimeOut"
expect "Драйвер загружен"
expect "Старт продажи: TypeOper=45 Koshel=1 Kolvo=2 Summa=100 карта=Покупатель 1"
expect "Операция ЗУЛ проведена: TypeOper=77"
expect "Операция б/н проведена: Koshel=1 Kolvo=3 Summa=150 NumberCard=0012345678 SummaSk=142.5"
expect "Операция возврат проведена: Koshel=1 Kolvo=1 Summa=50 NumberCard=0012345678"
expect "Отмена продажи: TypeOper=43"
errors="$(grep -c '^error:' "$work/host.out" || true)"

echo
echo "demo: the operation log, read back by smartdriver-log --summary:"
"$bin/smartdriver-log" --summary "$drive/ZEMO/LogFiles" | tee "$work/summary.out"
for line in '9 operations' '  done              6' '  refused           1' '  comm-failure      1' '  time-out          1'; do
  grep -qxF -- "$line" "$work/summary.out" || { echo "demo: missing from the summary: $line" >&2; missing=$((missing + 1)); }
done

# Whatever the system's code page, the log has its Cyrillic name, which reads as UTF-8 here.
[ -f "$drive/ZEMO/LogFiles/Орвелина.log" ] || { echo "demo: no Орвелина.log in $drive/ZEMO/LogFiles" >&2; missing=$((missing + 1)); }

echo
[ "$missing" -eq 0 ] || fail "$missing expected lines are missing"
[ "$errors" -eq 3 ] || fail "expected exactly 3 error lines (refusal, hang-up, time-out), saw $errors"
[ "$host_status" -eq 1 ] || fail "smartdriver-host should end with status 1 after the three failures, ended with $host_status"
kill -0 "$emulator_pid" 2>/dev/null || fail "the emulator stopped during the sale"
echo "demo: the whole sale behaved as expected: 6 operations done, 1 refused by the server, 1 cut off, 1 timed out."
