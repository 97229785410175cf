#!/usr/bin/env bash
# Colour profiles under the script host (tools/colour.vbs), and the JPEG it saved read
# back by exiftool: the file names its Display P3 profile as any other program sees it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/wine-env"
work=$(mktemp -d "$root/build/colour-XXXXXX")
trap 'rm -rf "$work"' EXIT
out=$("$root/scripts/wine-run" script "$here/tools/colour.vbs" "$(winpath "$work")" | tr -d '\r')
rc=$?
printf '%s\n' "$out" | grep -v -E '^[0-9]+ passed, [0-9]+ failed$'
passed=$(printf '%s\n' "$out" | sed -n -E 's/^([0-9]+) passed, [0-9]+ failed$/\1/p' | tail -n 1)
failed=$(printf '%s\n' "$out" | sed -n -E 's/^[0-9]+ passed, ([0-9]+) failed$/\1/p' | tail -n 1)
[ -n "$passed" ] || { echo "colour: the script printed no closing line"; exit 1; }
description=$(exiftool -s3 -ICC_Profile:ProfileDescription "$work/p3.jpg" 2>/dev/null)
if [ "$description" = "Display P3" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAIL: exiftool reads the saved JPEG's profile as '$description'"
fi
echo "$passed passed, $failed failed"
[ "$rc" = 0 ] && [ "$failed" = 0 ]
