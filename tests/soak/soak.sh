#!/usr/bin/env bash
# soak.sh BUILD_DIR [minutes]
# A long run of `cantrel --run` against the simulated device: a row every
# second for the whole time (default 60 minutes), media files opened by a real
# opener (some missing, so some rows fail), a run advance of 2 s (or
# SOAK_ADVANCE seconds: the rows then begin that much later, so that each is
# opened after the run has begun, and as many workers wait at once), and the
# device misbehaving at random (silent, late, garbage, hang-up) between spells
# of normal answers. At the end it reports rows fired, late, failed and missed,
# the device's count of output requests and the process's memory at start and
# end, and fails when a due row is not accounted for exactly once or the
# memory grew.
set -euo pipefail
build=$(cd "$1" && pwd)
minutes=${2:-60}
work=$(mktemp -d "${TMPDIR:-/tmp}/cantrel-soak.XXXXXX")
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
echo "soak: $minutes min in $work"

# ---- the schedule: a row every second from 20 s on, over midnight too -----
advance=${SOAK_ADVANCE:-2}
end=$(( $(date +%s) + 20 + minutes * 60 ))
start=$(( $(date +%s) + 20 + advance ))
(( start < end )) || { echo "soak: an advance of $advance s leaves no rows in $minutes min" >&2; exit 1; }
mkdir -p "$work/media"
printf 'x' >"$work/media/present.mp3"
# printf's own time format, not date: a fork per row would take longer than
# the 20 s head start, and rows passed before Run are rightly never fired.
for ((t = start; t < end; t++)); do
  printf -v day '%(%Y-%m-%d)T' "$t"
  printf -v hms '%(%H:%M:%S)T' "$t"
  n=$(( t - start ))
  media="$work/media/present.mp3"
  (( n % 97 == 0 )) && media="$work/media/missing.mp3"
  printf '%s,%d,"row %d","%s"\r\n' "$hms" $(( n % 16 + 1 )) "$n" "$media" >>"$work/day-$day.24h"
done
(( $(date +%s) < start - advance - 5 )) || { echo "soak: the schedule took too long to write" >&2; exit 1; }
for f in "$work"/day-*.24h; do
  d=${f##*/day-}; d=${d%.24h}
  printf '%d %s\r\n' "$(date -d "$d" +%-d)" "$f" >>"$work/month.31d"
done
printf 'file31d=%s\r\nPort=2\r\nDeviceID=0\r\nRunAdvance=%d\r\n' "$work/month.31d" "$advance" >"$work/Cantrel.ini"
printf '#!/bin/sh\n[ -e "$1" ]\n' >"$work/opener.sh"
chmod +x "$work/opener.sh"

# ---- the device, and its moods -------------------------------------------
echo normal >"$work/mode"
"$build/bin/cantrel-devsim" --link "$work/com1" --control "$work/mode" --log "$work/devsim.log" \
  >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done
(
  moods=(silent late garbage hangup wrong short)
  while :; do
    sleep $(( RANDOM % 20 + 10 ))
    echo "${moods[RANDOM % ${#moods[@]}]}" >"$work/mode"
    sleep $(( RANDOM % 4 + 1 ))
    echo normal >"$work/mode"
  done
) &
pids+=($!)

# ---- the run ----------------------------------------------------------------
# No session bus: every 97th row fails, which must not reach the desktop of
# whoever runs the soak as notifications.
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
CANTREL_COM1="$work/com1" CANTREL_OPENER="$work/opener.sh" XDG_STATE_HOME="$work/state" \
  "$build/bin/cantrel" --run --settings "$work/Cantrel.ini" >/dev/null 2>"$work/run.err" &
run=$!
pids+=($run)
rss() { awk '/^VmRSS/ {print $2}' "/proc/$run/status"; }
sleep 60
rss_start=$(rss)
# The most threads and open descriptors seen, every 30 s: with a long advance
# thousands of workers wait at once, and must not hold a descriptor each.
threads_max=0 fds_max=0
while (( $(date +%s) < end + 5 )); do
  threads=$(awk '/^Threads/ {print $2}' "/proc/$run/status")
  fds=$(ls "/proc/$run/fd" | wc -l)
  (( threads > threads_max )) && threads_max=$threads
  (( fds > fds_max )) && fds_max=$fds
  left=$(( end + 5 - $(date +%s) ))
  sleep $(( left < 30 ? (left > 0 ? left : 0) : 30 ))
done
rss_end=$(rss)
kill -TERM "$run"
wait "$run" || true

# ---- the account --------------------------------------------------------------
cat "$work"/state/cantrel/as-run-*.log >"$work/as-run.log"
count() { awk -F'\t' -v e="$1" '$2 == e' "$work/as-run.log" | wc -l; }
fired=$(count fired) failed=$(count failed) late=$(count late) missed=$(count missed)
entered=$(awk -F'\t' '$2 == "run entered" {print $1; exit}' "$work/as-run.log")
requests=$(grep -c -E ' FD 00 (0[1-9A-F]|10) ' "$work/devsim.log" || true)
# Every row is one line of fired, failed or missed, and none twice.
rows_told=$(awk -F'\t' '$2 == "fired" || $2 == "failed" || $2 == "missed" {print $5}' \
  "$work/as-run.log" | sort | uniq -d | wc -l)
total=$(( end - start ))
told=$(( fired + failed + missed ))
echo "rows due $total, fired $fired, failed $failed, missed $missed, late $late"
echo "run advance $advance s; device output requests $requests; run entered $entered"
echo "memory (VmRSS) after 1 min ${rss_start} kB, at the end ${rss_end} kB"
echo "at most $threads_max threads and $fds_max open descriptors"
status=0
[ "$told" = "$total" ] || { echo "FAIL: $told rows told for $total due" >&2; status=1; }
[ "$rows_told" = 0 ] || { echo "FAIL: $rows_told rows told twice" >&2; status=1; }
(( rss_end <= rss_start + rss_start / 10 + 2048 )) ||
  { echo "FAIL: memory grew from $rss_start kB to $rss_end kB" >&2; status=1; }
[ "$status" = 0 ] && echo "soak passed; files in $work"
exit $status
