#!/usr/bin/env bash
# The module without kelvheif.dll beside it: HEIC and AVIF loads and probes give 0 and
# everything else works. The DLL is moved out of the build folder for the run, into the
# folder the script host runs in, where a module that looked it up by the search path
# would find it; the module must not load it from there.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/wine-env"
dll=$KELV_WIN_BUILD/kelvheif.dll
[ -f "$dll" ] || { echo "heif_missing: no $dll: build it with scripts/build-windows"; exit 1; }
work=$(mktemp -d "$root/build/heif-missing-XXXXXX")
finish() {
  [ -f "$work/kelvheif.dll" ] && mv "$work/kelvheif.dll" "$dll"
  rm -rf "$work"
}
trap finish EXIT
mv "$dll" "$work/kelvheif.dll"
cd "$work" && "$root/scripts/wine-run" script "$here/tools/heif_missing.vbs" "$(winpath "$root/tests/inputs")"
