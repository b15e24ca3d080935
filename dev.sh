#!/usr/bin/env bash
# Cantrel's one entry point for developers and CI.
#   ./dev.sh run     install what is missing, build, start the program
#   ./dev.sh test    install what is missing, build, run every test headless
#   ./dev.sh bench   install what is missing, build, run the benchmarks
#   ./dev.sh package install what is missing, build, make the Debian package
#                    in build/package and check it with lintian
#   ./dev.sh soak [minutes]  build, then run the schedule without a window
#                    against a misbehaving simulated device for that long
#                    (default 60) and account for every row (not in CI);
#                    SOAK_ADVANCE=seconds sets the run advance (default 2)
#   ./dev.sh fuzz [seconds]  install what is missing, run every fuzz target
#                    that long (default 60); `test` runs each for 5 seconds
#   ./dev.sh mutate [options] FILE...  make small faults in the named files one
#                    at a time, rebuild a copy of the tree in build-mutate, run
#                    the tests that cover them, report each as killed or survived
#                    (not in CI; --help lists the options)
#   ./dev.sh screenshots  install what is missing, build, take the operator's
#                    guide's pictures of the real window on a virtual desktop
#                    into docs/guide/
# CANTREL_SANITIZE=address (or 1) builds into build-asan with AddressSanitizer,
# its leak detector and UBSan;
# CANTREL_SANITIZE=thread builds into build-tsan with ThreadSanitizer, and any
# report fails the test that made it.
set -euo pipefail
cd "$(dirname "$0")"

cmd=${1:-}
case "$cmd" in
  run|test|bench|package|fuzz|soak|mutate|screenshots) ;;
  *) echo "usage: $0 run|test|bench|package|fuzz [seconds]|soak [minutes]|mutate [options] FILE...|screenshots" >&2; exit 2 ;;
esac

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libbenchmark-dev
  # the desktop tests: a virtual X server, a window manager, keys and clicks sent through the
  # server, the root window's properties, and the X protocol library the tests ask it with
  xvfb openbox xdotool x11-utils libxcb1-dev
  # the run without a window is tested across midnight on a clock moved by libfaketime
  faketime
  # the run without a window tells systemd it is ready and alive (sd_notify)
  libsystemd-dev
  # the service on the session bus is tested on a private bus of its own (dbus-run-session)
  dbus-daemon
  # the icon's sizes are rendered from its SVG; the Debian package is made, checked and
  # taken apart by the tests
  librsvg2-bin dpkg-dev lintian desktop-file-utils appstream man-db
  # the readers of outside bytes are fuzzed with libFuzzer (fuzz/)
  clang-14 libclang-rt-14-dev
  # the mutation run's script (./dev.sh mutate) and the checks that keep the operator's guide true
  python3
  # the window opens a row's media file with xdg-open, as the installed package does
  xdg-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them as root, then run this again:"
    echo "  apt-get update && apt-get install -y ${missing[*]}"
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

if [ "$cmd" = fuzz ]; then
  exec fuzz/fuzz.sh "${2:-60}"
fi
# It builds a copy of the tree in build-mutate, never build/.
if [ "$cmd" = mutate ]; then
  exec python3 tests/mutate/mutate.py "${@:2}"
fi

build=build
flags=()
if [ "${CANTREL_SANITIZE:-0}" = 1 ] || [ "${CANTREL_SANITIZE:-0}" = address ]; then
  build=build-asan
  flags+=(-DCANTREL_SANITIZE=ON -DCANTREL_BENCH=OFF)
  export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
elif [ "${CANTREL_SANITIZE:-0}" = thread ]; then
  build=build-tsan
  flags+=(-DCANTREL_SANITIZE=thread -DCANTREL_BENCH=OFF)
  # exitcode: a report must fail the process even when everything else passed.
  export TSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/tsan.supp halt_on_error=1 second_deadlock_stack=1 exitcode=66${TSAN_OPTIONS:+ $TSAN_OPTIONS}"
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

case "$cmd" in
  run)
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
      echo "No display to open the window on. Start it under a virtual X server: xvfb-run -a ./dev.sh run" >&2
      exit 1
    fi
    exec "$build/bin/cantrel"
    ;;
  test)
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)")
    # A few seconds of each fuzz target from its corpus, so an input that once
    # crashed (kept there) fails the tests if the fault comes back.
    fuzz/fuzz.sh 5
    ;;
  bench)
    for b in "$build"/bin/bench_*; do "$b"; done
    ;;
  soak)
    exec tests/soak/soak.sh "$build" "${2:-60}"
    ;;
  screenshots)
    QT_QPA_PLATFORM=xcb exec tests/desktop/with-desktop.sh "$build/bin/cantrel-screenshots" docs/guide
    ;;
  package)
    cpack --config "$build/CPackConfig.cmake" -B "$build/package"
    lintian --fail-on error "$build"/package/cantrel_*.deb
    ls -l "$build"/package/cantrel_*.deb
    ;;
esac
