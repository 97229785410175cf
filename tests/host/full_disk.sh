#!/usr/bin/env bash
# Every writer of the module on a full disk, under the script host: a 2 MB tmpfs is
# mounted for the run (which needs root) and tools/full_disk.js writes onto it. Where no
# tmpfs can be mounted the test says so and passes without checks. A writer that hangs
# fails the test by the time limit.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/wine-env"
work=$(mktemp -d "$root/build/full-disk-XXXXXX")
mkdir -p "$work/full" "$work/scratch"
finish() {
  mountpoint -q "$work/full" && umount "$work/full"
  rm -rf "$work"
}
trap finish EXIT
if [ "$(id -u)" != 0 ] || ! mount -t tmpfs -o size=2m tmpfs "$work/full" 2>/dev/null; then
  echo "full_disk: skipped: a 2 MB tmpfs could not be mounted (this test needs root)"
  echo "0 passed, 0 failed"
  exit 0
fi
timeout 300 "$root/scripts/wine-run" script "$here/tools/full_disk.js" "$(winpath "$work/full")" \
  "$(winpath "$work/scratch")"
rc=$?
[ "$rc" = 124 ] && echo "full_disk: a writer hung (no result after 300 s)"
exit "$rc"
