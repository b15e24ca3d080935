#!/usr/bin/env bash
# test_window_moved_clock.sh BUILD_DIR
# The real program's window on a clock moved by libfaketime, driven as an
# operator would (Run pressed with the mouse), against the simulated device:
# across midnight, and across the spring and autumn changes of summer time in
# Europe/Berlin. Every row reaches the device exactly once and in order, and
# the as-run log says the same. Runs under with-desktop.sh. Each clock starts
# 12 s before the first row: on a busy machine the window may take several
# seconds to appear, and Run must be pressed before the row is due.
set -euo pipefail
build=$(cd "$1" && pwd)
faketime=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
[ -e "$faketime" ] || { echo "SKIP: libfaketime is not installed"; exit 0; }
failures=0
pids=()
cleanup() { for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

# scenario NAME TZ FAKETIME "DAY FILE..." EXPECTED_OUTPUTS LOG_CHECKS...
# DAY FILE entries are "day|rows", separated by spaces, with rows separated
# by ";" (so no spaces inside rows).
scenario() {
  local name=$1 zone=$2 clock=$3 days=$4 expected=$5
  shift 5
  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/cantrel-moved.XXXXXX")
  local entry day rows
  for entry in $days; do
    day=${entry%%|*}
    rows=${entry#*|}
    printf '%s\r\n' "${rows//;/$'\r\n'}" | sed '/^\r$/d' >"$work/day$day.24h"
    printf '%s %s\r\n' "$day" "$work/day$day.24h" >>"$work/month.31d"
  done
  printf 'file31d=%s\r\nPort=2\r\nDeviceID=0\r\nRunAdvance=0\r\n' "$work/month.31d" >"$work/Cantrel.ini"
  "$build/bin/cantrel-devsim" --link "$work/com1" --log "$work/devsim.log" >/dev/null 2>&1 &
  local sim=$!
  pids+=($sim)
  for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done

  (cd "$work" && TZ=$zone LD_PRELOAD=$faketime FAKETIME=$clock FAKETIME_DONT_FAKE_MONOTONIC=1 \
     FAKETIME_NO_CACHE=1 ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
     CANTREL_COM1="$work/com1" XDG_STATE_HOME="$work/state" CANTREL_OPENER=true \
     exec "$build/bin/cantrel") >"$work/app.log" 2>&1 &
  local app=$!
  pids+=($app)
  local window
  if ! window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Cantrel 1\.18 - Edit mode$' | head -n1); then
    echo "FAIL: $name: no window" >&2; failures=$((failures + 1)); return
  fi
  xdotool windowactivate --sync "$window"
  # The Run button, where the layout puts it in the window.
  xdotool mousemove --window "$window" 590 322 click 1
  timeout 10 xdotool search --sync --name '^Cantrel 1\.18 - Run mode$' >/dev/null ||
    { echo "FAIL: $name: Run mode not entered" >&2; failures=$((failures + 1)); return; }

  local last=${expected##* }
  for _ in $(seq 300); do grep -q "FD 00 $last " "$work/devsim.log" && break; sleep 0.1; done
  sleep 1.5 # a doubled pulse would show by now
  kill -TERM "$app" 2>/dev/null || true
  kill "$sim" 2>/dev/null || true
  wait "$app" 2>/dev/null || true

  local actual
  actual=$(grep -oE ' FD 00 [0-9A-F]{2} ' "$work/devsim.log" | awk '{print $3}' |
    grep -v -x -e 00 -e 01 | tr '\n' ' ' | sed 's/ $//')
  if [ "$actual" = "$expected" ]; then echo "PASS: $name: outputs $actual"
  else echo "FAIL: $name: outputs '$actual', expected '$expected'" >&2; failures=$((failures + 1)); fi
  cat "$work"/state/cantrel/*.log >"$work/as-run.log" 2>/dev/null || true
  local check
  for check in "$@"; do
    if grep -qF -- "$(printf '%b' "$check")" "$work/as-run.log"; then :; else
      echo "FAIL: $name: the as-run log lacks '$check'" >&2; failures=$((failures + 1))
      sed 's/^/  /' "$work/as-run.log" >&2
    fi
  done
  [ "$(grep -c $'\tfired\t' "$work/as-run.log")" = "$(echo "$expected" | wc -w)" ] ||
    { echo "FAIL: $name: fired lines differ from the device" >&2; failures=$((failures + 1)); }
  rm -rf "$work"
}

scenario midnight UTC "@2026-12-10 23:59:46" \
  '10|23:59:58,3,last, 11|00:00:01,5,first,' "03 05" \
  '2026-12-10 23:59:58.' '\tfired\t23:59:58\t3\tlast\t' \
  '2026-12-11 00:00:01.' '\tfired\t00:00:01\t5\tfirst\t'
scenario spring Europe/Berlin "@2027-03-28 01:59:46" \
  '28|01:59:58,3,before,;02:30:00,4,skipped,;03:00:01,5,after,' "03 04 05" \
  '+01:00\tfired\t01:59:58\t3\t' '+02:00\tlate\t02:30:00\t4\t' '+02:00\tfired\t03:00:01\t5\t'
# The start in UTC: 02:59:46 summer time is ambiguous as local time.
offset=$(( $(date -u -d '2027-10-31 00:59:46' +%s) - $(date +%s) ))
scenario autumn Europe/Berlin "+$offset" \
  '31|02:00:02,4,repeated,;02:59:58,3,before,;02:00:05,5,after,' "03 04 05" \
  '+02:00\tfired\t02:59:58\t3\t' '+01:00\tfired\t02:00:02\t4\t' '+01:00\tfired\t02:00:05\t5\t'

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all moved-clock checks passed"
