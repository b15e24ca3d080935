#!/usr/bin/env bash
# test_guide_screenshots.sh BUILD_DIR: cantrel-screenshots takes every picture
# the guide shows, into a temporary folder, and each is a PNG.
set -euo pipefail
build=$1
guide=$(cd "$(dirname "$0")/../.." && pwd)/docs/guide.md
out=$(mktemp -d "${TMPDIR:-/tmp}/cantrel-shots.XXXXXX")
trap 'rm -rf "$out"' EXIT
XDG_CONFIG_HOME=$out/config "$build/bin/cantrel-screenshots" "$out/guide"
status=0
for picture in $(grep -o '](guide/[a-z-]*\.png)' "$guide" | sed 's/^](guide\///; s/)$//' | sort -u); do
  if [ "$(head -c 8 "$out/guide/$picture" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; then
    echo "PASS: $picture"
  else
    echo "FAIL: $picture was not taken" >&2
    status=1
  fi
done
exit $status
