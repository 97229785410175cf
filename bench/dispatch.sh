#!/usr/bin/env bash
# Calls per second through the real script host (Wine's cscript and its type-library
# dispatcher) for the 32-bit product: GetColor, a member of number arguments, and
# FExists, one that takes a file name. The best of three rounds of each.
#   bench/dispatch.sh [--against OTHER.dll]   also times another build of the module in
#                                             the same run (registered in turn)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export KELV_WIN_ARCH=i686
source "$root/scripts/wine-env"
make --no-print-directory -C "$root" windows >/dev/null
calls=${DISPATCH_BENCH_CALLS:-200000}
wine_server_start
trap wine_server_stop EXIT
name=$(winpath "$root/README.md")
run() {  # "GetColor N FExists N" for the module registered now
  "$WINE" "$KELV_WIN_SYSTEM\\cscript.exe" //nologo "$(winpath "$root/bench/dispatch.js")" "$calls" "$name" | tr -d '\r'
}
register() { "$WINE" "$KELV_WIN_SYSTEM\\regsvr32.exe" /s "$(winpath "$1")"; }
max() { [ "$1" -gt "$2" ] && echo "$1" || echo "$2"; }
# Three rounds; with another module, each round times both, one after the other, so that
# other work on the machine weighs on both alike. The best round of each counts.
g=0 f=0 og=0 of=0
for _ in 1 2 3; do
  register "$KELV_WIN_BUILD/kelvutil.dll"
  read -r _ a _ b < <(run)
  g=$(max "$a" "$g") f=$(max "$b" "$f")
  if [ "${1:-}" = "--against" ]; then
    register "$2"
    read -r _ a _ b < <(run)
    og=$(max "$a" "$og") of=$(max "$b" "$of")
  fi
done
register "$KELV_WIN_BUILD/kelvutil.dll"
printf '%-28s %9s calls/s\n' "GetColor (cscript, x86)" "$g"
printf '%-28s %9s calls/s\n' "FExists (cscript, x86)" "$f"
if [ "${1:-}" = "--against" ]; then
  printf '%-28s %9s calls/s  ratio %5.2f  (target >= 0.95)\n' "GetColor, $(basename "$(dirname "$2")")" "$og" "$(echo "$g / $og" | bc -l)"
  printf '%-28s %9s calls/s  ratio %5.2f\n' "FExists, $(basename "$(dirname "$2")")" "$of" "$(echo "$f / $of" | bc -l)"
fi
