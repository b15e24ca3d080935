#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz and runs each one in turn.
#   fuzz/fuzz.sh [seconds] [target...]   seconds per target, default 60;
#                                        every target unless some are named
# FUZZ_FLAGS adds libFuzzer flags, e.g. FUZZ_FLAGS=-runs=10000000.
# Each run starts from a copy of fuzz/corpus/<target>, so the repository's
# corpus only grows by hand. A crashing input is kept in build-fuzz/crashes/
# and the script exits non-zero. The last line says whether every target
# passed: on stdout when they did, on stderr when not.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build-fuzz
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_day_file fuzz_month_file fuzz_settings_file fuzz_ports_file
    fuzz_device_reply fuzz_lossless_text fuzz_time_of_day fuzz_plan_file)
fi

if ! { CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -G Ninja >/dev/null &&
  cmake --build "$build" -- "${targets[@]}"; }; then
  echo "fuzz: FAILED to build: ${targets[*]}" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
crashes=$build/crashes
mkdir -p "$crashes"

failed=()
for target in "${targets[@]}"; do
  corpus=$work/$target
  mkdir -p "$corpus"
  cp -R "$here/corpus/$target/." "$corpus/"
  log=$work/$target.log
  status=0
  # A UBSan report stops the run like a crash; leak detection stays on.
  # Qt is built without frame pointers, so past the first frames of a call
  # into Qt the fast unwinder reads garbage and nearly every allocation stores
  # a new stack: the depot grows by millions a minute and the run slows to a
  # crawl. Two frames keep it flat; replay an input with
  # ASAN_OPTIONS=fast_unwind_on_malloc=0 for whole allocation stacks.
  ASAN_OPTIONS=malloc_context_size=2${ASAN_OPTIONS:+:$ASAN_OPTIONS} \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$crashes/$target-" ${FUZZ_FLAGS:-} "$corpus" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  printf '%-20s %12s executions %10s exec/s\n' "$target" "${runs:-?}" "${speed:-?}"
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    # Either may find nothing (a run that failed without an input to keep):
    # the script still goes on to its verdict.
    grep -v -e '^#' -e '^INFO:' -e '^stat::' "$log" | head -40 || true
    grep -h 'Test unit written to' "$log" | sed 's/.*Test unit written to /  crashing input: /' || true
  fi
done

# The verdict is the last line, whatever the targets printed before it.
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]}" >&2
  exit 1
fi
if [ ${#targets[@]} -eq 1 ]; then
  echo "fuzz: ${targets[0]} passed"
else
  echo "fuzz: all ${#targets[@]} targets passed"
fi
