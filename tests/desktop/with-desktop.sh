#!/usr/bin/env bash
# with-desktop.sh COMMAND [ARG...]
# Runs COMMAND on a desktop of its own: a virtual X server (Xvfb) on the first
# free display, managed by openbox. The command starts only once openbox has
# taken the screen over, so its windows get frames from the start; both
# servers are stopped when the command ends, whatever way it ends. Exits with
# the command's status.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 2
fi
for tool in Xvfb openbox xprop; do
  if ! command -v "$tool" >/dev/null; then
    echo "with-desktop: $tool is missing (./dev.sh test installs it)" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/cantrel-desktop.XXXXXX")
xvfb_pid=
wm_pid=
command_pid=

stop() {
  local pid
  for pid in $command_pid $wm_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 143' TERM INT HUP

fail() {
  echo "with-desktop: $*" >&2
  [ -s "$work/xvfb.log" ] && sed 's/^/  Xvfb: /' "$work/xvfb.log" >&2
  [ -s "$work/openbox.log" ] && sed 's/^/  openbox: /' "$work/openbox.log" >&2
  exit 1
}

# Xvfb picks a free display itself and writes its number to the pipe once it
# accepts connections, so tests running side by side never share a display.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
  3>"$work/displayfd" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=
read -r -t 30 display <"$work/displayfd" || true
[ -n "$display" ] || fail "Xvfb did not start"
export DISPLAY=":$display"

# openbox with its stock settings: a user's own openbox configuration must not
# change the frames the tests measure.
mkdir -p "$work/config" "$work/cache"
XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!

# openbox has taken over once the root window names it as the window manager
# and lists what it supports; a window mapped after that is framed.
wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
    xprop -root _NET_SUPPORTED 2>/dev/null | grep -q '_NET_FRAME_EXTENTS'
}
for ((i = 0; i < 600; i++)); do
  wm_ready && break
  kill -0 "$wm_pid" 2>/dev/null || fail "openbox ended at start"
  sleep 0.05
done
wm_ready || fail "openbox did not take over the display $DISPLAY"

unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
status=0
"$@" &
command_pid=$!
wait "$command_pid" || status=$?
command_pid=
exit "$status"
