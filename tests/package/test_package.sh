#!/usr/bin/env bash
# test_package.sh BUILD_DIR
# Builds the package from BUILD_DIR, checks what it holds, extracts it into a
# temporary root and uses the program from there as an installed one: its
# settings go to the user's configuration folder, never beside the program.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/cantrel-package.XXXXXX")
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "PASS: $*"; }

# ---- the package and its file list ----------------------------------------
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
deb=$(ls "$work"/out/cantrel_*_amd64.deb 2>/dev/null | head -n1 || true)
[ -n "$deb" ] || { echo "FAIL: no package in $work/out" >&2; exit 1; }

expected='./usr/bin/cantrel -> ../libexec/cantrel/cantrel
./usr/bin/cantrel-devsim
./usr/lib/systemd/user/cantrel-run.service
./usr/libexec/cantrel/Cantrel.ini.location
./usr/libexec/cantrel/cantrel
./usr/libexec/cantrel/libinpout32.so
./usr/share/applications/org.cantrel.Cantrel.desktop
./usr/share/doc/cantrel/README.md
./usr/share/doc/cantrel/changelog.gz
./usr/share/doc/cantrel/copyright
./usr/share/doc/cantrel/docs/beside-service.png
./usr/share/doc/cantrel/docs/guide.md
./usr/share/doc/cantrel/docs/guide/calendar.png
./usr/share/doc/cantrel/docs/guide/editing-row.png
./usr/share/doc/cantrel/docs/guide/failure-box.png
./usr/share/doc/cantrel/docs/guide/run-advance.png
./usr/share/doc/cantrel/docs/guide/run-mode.png
./usr/share/doc/cantrel/docs/guide/setup-port.png
./usr/share/doc/cantrel/docs/guide/window.png
./usr/share/doc/cantrel/docs/screenshot.png
./usr/share/icons/hicolor/128x128/apps/cantrel.png
./usr/share/icons/hicolor/16x16/apps/cantrel.png
./usr/share/icons/hicolor/22x22/apps/cantrel.png
./usr/share/icons/hicolor/24x24/apps/cantrel.png
./usr/share/icons/hicolor/256x256/apps/cantrel.png
./usr/share/icons/hicolor/32x32/apps/cantrel.png
./usr/share/icons/hicolor/48x48/apps/cantrel.png
./usr/share/icons/hicolor/64x64/apps/cantrel.png
./usr/share/icons/hicolor/scalable/apps/cantrel.svg
./usr/share/man/man1/cantrel-devsim.1.gz
./usr/share/man/man1/cantrel.1.gz
./usr/share/metainfo/org.cantrel.Cantrel.metainfo.xml'
# Files and links only, by name; folders follow from them.
actual=$(dpkg-deb -c "$deb" | grep -v '^d' | sed -E 's/^([^ ]+ +){5}//' | LC_ALL=C sort)
if [ "$actual" = "$expected" ]; then pass "file list"; else
  fail "file list differs:"; diff <(echo "$expected") <(echo "$actual") >&2 || true; fi

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6dbus6 libqt6gui6 libqt6widgets6 libqt6serialport6 libc6 qt6-qpa-plugins xdg-utils; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
pass "dependencies: $depends"

# lintian's errors fail the test; its warnings and notes are only shown.
if lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1; then
  pass "lintian: no errors"; else fail "lintian reports errors"; fi
grep -v '^running with root' "$work/lintian.log" | sed 's/^/  lintian: /' || true

# ---- what the package holds, extracted, never installed --------------------
root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.cantrel.Cantrel.desktop" &&
  pass "desktop-file-validate" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.cantrel.Cantrel.metainfo.xml" \
  >"$work/appstream.log" 2>&1 && pass "appstreamcli validate" ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
for page in cantrel cantrel-devsim; do
  warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] && pass "man page $page" || fail "man page $page: $warnings"
done
# The README's and the guide's links to each other and to their pictures
# hold where they are installed.
doc="$root/usr/share/doc/cantrel"
broken=
for page in "$doc/README.md" "$doc/docs/guide.md"; do
  while read -r target; do
    [ -e "$(dirname "$page")/${target%%#*}" ] || broken+=" ${page#"$doc/"}:$target"
  done < <(grep -oE '\]\([^)# ]+(#[^) ]*)?\)' "$page" | sed -E 's/^\]\(//; s/\)$//' | grep -vE '^[a-z]+:')
done
[ -z "$broken" ] && pass "the installed documents' links hold" || fail "links that lead nowhere:$broken"
"$root/usr/bin/cantrel" --version | grep -qx 'cantrel 1.18' && pass "--version" ||
  fail "--version from the package"

# A user of its own, with nothing in any of the user's folders yet.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/.local/state"
mkdir -p "$HOME" "$work/cwd"
cd "$work/cwd"

# ---- the window: start, close, the settings land in ~/.config/cantrel -------
"$root/usr/bin/cantrel" >"$work/app.log" 2>&1 &
app_pid=$!
if window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Cantrel 1\.18 - Edit mode$' | head -n1); then
  pass "window shown"
  xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
else
  fail "no window"; kill "$app_pid"
fi
status=0
timeout 20 tail --pid="$app_pid" -f /dev/null || { fail "the program did not end on close"; kill -9 "$app_pid"; }
wait "$app_pid" || status=$?
app_pid=
[ "$status" = 0 ] || { fail "exit status $status"; cat "$work/app.log" >&2; }
settings="$XDG_CONFIG_HOME/cantrel/Cantrel.ini"
if [ -f "$settings" ] && grep -q $'^Port=0\r$' "$settings"; then pass "settings written to $settings"
else fail "no settings in the configuration folder"; ls -laR "$HOME" >&2; fi
leftovers=$(find "$root" "$work/cwd" -name Cantrel.ini)
[ -z "$leftovers" ] && pass "nothing written beside the program" || fail "written beside: $leftovers"

# ---- the run without a window reads the same file ---------------------------
printf 'file31d=%s\r\nPort=0\r\n' "$work/missing.31d" >"$settings"
status=0
timeout 20 "$root/usr/bin/cantrel" --run >"$work/run.log" 2>&1 || status=$?
# The calendar it names is missing: proof that this file, and no other, was read.
if [ "$status" = 1 ] && grep -q "Can't load .31d file!" "$work/run.log"; then
  pass "cantrel --run reads ~/.config/cantrel/Cantrel.ini"
else fail "cantrel --run (status $status)"; cat "$work/run.log" >&2; fi

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all package checks passed"
