#!/usr/bin/env bash
# Where the time of an upload of many tiny files goes: bodies of 1,000, 4,000 and 20,000
# file parts of one byte (KELV_PARTS sets the counts), decoded under the script host
# (Wine; KELV_WIN_ARCH picks the build, the 32-bit product by default) and natively,
# each next to a program that only creates and writes the same files in the same way
# (create_files.c under Wine, many_files.c natively), and the decoder on as many text
# fields of one byte (its own work, no files made). The decoder's own share should grow
# in step with the number of parts, whatever the host's file creation does.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${KELV_BENCH_DIR:-$root/build/bench-work}/many-parts
counts=${KELV_PARTS:-1000 4000 20000}
source "$root/scripts/wine-env"
make --no-print-directory -C "$root" windows >/dev/null
mkdir -p "$work"
rm -rf "${work:?}"/*
compiler=$KELV_WIN_ARCH-w64-mingw32-gcc
"$compiler" -O2 -o "$work/create_files.exe" "$root/bench/create_files.c"
wine_server_start
trap wine_server_stop EXIT
"$root/scripts/wine-run" register

row() {  # host parts decoder-seconds files-seconds fields-seconds
  printf '%-8s %7s %12.2f %14.2f %14.3f %16.4f\n' "$1" "$2" "$3" "$4" "$5" "$(echo "$5 * 1000 / $2" | bc -l)"
}
printf '%-8s %7s %12s %14s %14s %16s\n' host parts "decoder s" "files alone s" "fields only s" "ms per field"
for n in $counts; do
  # Each run gets a new folder: a folder that held many files is slower to fill again.
  mkdir -p "$work/w$n/body" "$work/w$n/dec" "$work/w$n/c"
  read -r dec _ result files _ < <("$root/scripts/wine-run" script "$root/bench/many_parts.js" \
    "$(winpath "$work/w$n/body")" "$(winpath "$work/w$n/dec")" "$n" 2>/dev/null | tr -d '\r')
  [ "$result" = 0 ] && [ "$files" = "$n" ] || { echo "many_parts: the decode of $n parts failed ($result, $files files)"; exit 1; }
  read -r alone _ < <("$root/scripts/wine-run" exe "$work/create_files.exe" "$(winpath "$work/w$n/c")" "$n" 2>/dev/null |
    tr -d '\r')
  read -r fields _ < <("$root/scripts/wine-run" script "$root/bench/many_parts.js" \
    "$(winpath "$work/w$n/body")" "$(winpath "$work/w$n/dec")" "$n" fields 2>/dev/null | tr -d '\r')
  row "Wine" "$n" "$dec" "$alone" "$fields"
  rm -rf "${work:?}/w$n"
done
export KELVUTIL_REGISTRY=$work/registry
for n in $counts; do
  mkdir -p "$work/n$n/dec" "$work/n$n/c"
  "$root/build/native/bench/formdata_bench" make-parts "$work/n$n/parts.body" "$n"
  read -r dec _ < <("$root/build/native/bench/formdata_bench" decode "$work/n$n/parts.body" "$work/n$n/dec")
  alone=$("$root/build/native/bench/many_files" "$work/n$n/c" "$n" 1)
  "$root/build/native/bench/formdata_bench" make-parts "$work/n$n/fields.body" "$n" fields
  read -r fields _ < <("$root/build/native/bench/formdata_bench" decode "$work/n$n/fields.body" "$work/n$n/dec")
  row "native" "$n" "$dec" "$alone" "$fields"
  rm -rf "${work:?}/n$n"
done
