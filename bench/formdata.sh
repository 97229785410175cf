#!/usr/bin/env bash
# Form-data figures: a body with one 200 MB file part and a body of 2,000 files of
# 10 KB, fed in 64 KiB chunks, against dd copying the body and the npm package busboy
# (installed here with npm) decoding it, all writing to the same folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=$root/build/native/bench/formdata_bench
work=${KELV_BENCH_DIR:-$root/build/bench-work}
out=$work/out
mkdir -p "$work" "$out"
export KELVUTIL_REGISTRY=$work/registry
boundary=----kelvbench7MA4YWxkTrZu0gW
size_mb=${KELV_FD_MB:-200}
if [ ! -d "$work/node_modules/busboy" ]; then
  (cd "$work" && npm install --silent --no-audit --no-fund busboy@1 >/dev/null 2>&1) || echo "busboy could not be installed"
fi
echo "writing to $out"

run() {  # name body
  local name=$1 body=$2 best=999999 bb=999999 dd_s=999999 rss=0
  for _ in 1 2 3; do
    rm -rf "$out"/*
    read -r s r _ _ < <("$bench" decode "$body" "$out")
    best=$(echo "if ($s < $best) $s else $best" | bc -l); rss=$r
    rm -rf "$out"/*
    local t0 t1
    t0=$(date +%s.%N); dd if="$body" of="$out/dd.bin" bs=64K status=none; t1=$(date +%s.%N)
    dd_s=$(echo "x = $t1 - $t0; if (x < $dd_s) x else $dd_s" | bc -l)
    if [ -d "$work/node_modules/busboy" ]; then
      rm -rf "$out"/*
      read -r b _ < <(NODE_PATH="$work/node_modules" node "$root/bench/busboy-decode.js" "$body" "$out" "$boundary")
      bb=$(echo "if ($b < $bb) $b else $bb" | bc -l)
    fi
  done
  local mb
  mb=$(echo "$(stat -c %s "$body") / 1048576" | bc -l)
  printf '%-22s ours %8.1f MB/s  dd %8.1f MB/s  ratio %.2f (target >= 0.60)  peak RSS %d MB\n' "$name" \
    "$(echo "$mb / $best" | bc -l)" "$(echo "$mb / $dd_s" | bc -l)" "$(echo "$dd_s / $best" | bc -l)" "$rss"
  [ "$bb" != 999999 ] && printf '%-22s busboy %8.1f MB/s  ours/busboy speed %.2f\n' "$name" "$(echo "$mb / $bb" | bc -l)" "$(echo "$bb / $best" | bc -l)"
  rm -rf "$out"/*
}

"$bench" make "$work/big.body" "$size_mb"
run "one ${size_mb} MB file" "$work/big.body"
"$bench" make "$work/small.body" 20
read -r _ rss_small _ _ < <("$bench" decode "$work/small.body" "$out"); rm -rf "$out"/*
echo "peak RSS with a 20 MB file: $rss_small MB (flat memory: independent of the file size)"
"$bench" make-many "$work/many.body" 2000 10
run "2000 files of 10 KB" "$work/many.body"
rm -f "$work"/*.body
