#!/usr/bin/env bash
# BinaryRW figures: copying a 1 GiB file with FRead(16384)/FWrite through the native
# dispatcher against `cat` on the same file system, and the system calls that FReadStr
# and FWriteStrBin make on a file of short strings. Prints "name value limit ratio" rows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=$root/build/native/bench/binaryrw_bench
work=${KELV_BENCH_DIR:-$root/build/bench-work}
mkdir -p "$work"
export KELVUTIL_REGISTRY=$work/registry
size_mb=${KELV_COPY_MB:-1024}

head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/src.bin"
sync
best_ours=999999
best_cat=999999
for run in 1 2 3; do
  rm -f "$work/dst.bin" "$work/cat.bin"
  ours=$("$bench" copy "$work/src.bin" "$work/dst.bin")
  t0=$(date +%s.%N)
  cat "$work/src.bin" > "$work/cat.bin"
  t1=$(date +%s.%N)
  cat_s=$(echo "$t1 - $t0" | bc -l)
  best_ours=$(echo "if ($ours < $best_ours) $ours else $best_ours" | bc -l)
  best_cat=$(echo "if ($cat_s < $best_cat) $cat_s else $best_cat" | bc -l)
done
cmp -s "$work/src.bin" "$work/dst.bin" || { echo "copy differs from the source" >&2; exit 1; }
ours_mbs=$(echo "$size_mb / $best_ours" | bc -l)
cat_mbs=$(echo "$size_mb / $best_cat" | bc -l)
printf 'binaryrw.copy_MBps          %10.1f  cat %10.1f  ratio %.2f (target >= 0.50)\n' \
  "$ours_mbs" "$cat_mbs" "$(echo "$ours_mbs / $cat_mbs" | bc -l)"

# System calls per string: 100,000 short strings (about 1 MB of file).
n=100000
if command -v strace >/dev/null; then
  strace -f -c -e trace=read,write -o "$work/strace.txt" "$bench" strings "$work/strings.bin" $n >/dev/null
  calls=$(awk '$NF=="read" || $NF=="write" { s += $4 } END { print s }' "$work/strace.txt")
  bytes=$(stat -c %s "$work/strings.bin")
  printf 'binaryrw.str_syscalls       %10d  for %d strings, %d bytes: %.5f calls per byte\n' \
    "$calls" $((2 * n)) "$bytes" "$(echo "$calls / $bytes" | bc -l)"
fi
rm -f "$work/src.bin" "$work/dst.bin" "$work/cat.bin" "$work/strings.bin"
