#!/usr/bin/env bash
# Form-data figures: a body with one 200 MB file part and a body of 2,000 files of
# 10 KB, fed in 64 KiB chunks, all writing to the same folder. The one big file is
# measured against dd copying the body to a file (the limit: the same bytes read and
# written); the many small files against many_files, a C program that creates and
# writes the same number of files of the same size in the same folder (the limit: file
# creation). Both against the npm package busboy (installed here with npm) decoding the
# same body.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=$root/build/native/bench/formdata_bench
many=$root/build/native/bench/many_files
work=${KELV_BENCH_DIR:-$root/build/bench-work}
out=$work/out
mkdir -p "$work" "$out"
export KELVUTIL_REGISTRY=$work/registry
boundary=----kelvbench7MA4YWxkTrZu0gW
size_mb=${KELV_FD_MB:-200}
runs=${KELV_FD_RUNS:-5}
if [ ! -d "$work/node_modules/busboy" ]; then
  (cd "$work" && npm install --silent --no-audit --no-fund busboy@1 >/dev/null 2>&1) || echo "busboy could not be installed"
fi
echo "writing to $out"

min() { echo "if ($1 < $2) $1 else $2" | bc -l; }

run() {  # name body limit-command...
  local name=$1 body=$2
  shift 2
  local best=999999 bb=999999 lim=999999 rss=0 s r b
  for _ in $(seq "$runs"); do
    rm -rf "${out:?}"/*
    read -r s r _ _ < <("$bench" decode "$body" "$out")
    best=$(min "$s" "$best"); rss=$r
    rm -rf "${out:?}"/*
    lim=$(min "$("$@")" "$lim")
    if [ -d "$work/node_modules/busboy" ]; then
      rm -rf "${out:?}"/*
      read -r b _ < <(NODE_PATH="$work/node_modules" node "$root/bench/busboy-decode.js" "$body" "$out" "$boundary")
      bb=$(min "$b" "$bb")
    fi
  done
  local mb
  mb=$(echo "$(stat -c %s "$body") / 1048576" | bc -l)
  printf '%-22s ours %8.1f MB/s  %-10s %8.1f MB/s  ratio %.2f (target >= 0.80)  peak RSS %d MB\n' "$name" \
    "$(echo "$mb / $best" | bc -l)" "$limit_name" "$(echo "$mb / $lim" | bc -l)" "$(echo "$lim / $best" | bc -l)" "$rss"
  [ "$bb" != 999999 ] && printf '%-22s busboy %8.1f MB/s  ours/busboy speed %.2f (target >= %s)\n' "$name" \
    "$(echo "$mb / $bb" | bc -l)" "$(echo "$bb / $best" | bc -l)" "$busboy_target"
  rm -rf "${out:?}"/*
}

# dd's seconds for copying the body to a file in the output folder.
dd_copy() {
  local t0 t1
  t0=$(date +%s.%N); dd if="$1" of="$out/dd.bin" bs=64K status=none; t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}

"$bench" make "$work/big.body" "$size_mb"
limit_name=dd busboy_target=5 run "one ${size_mb} MB file" "$work/big.body" dd_copy "$work/big.body"
"$bench" make "$work/small.body" 20
read -r _ rss_small _ _ < <("$bench" decode "$work/small.body" "$out"); rm -rf "${out:?}"/*
echo "peak RSS with a 20 MB file: $rss_small MB (flat memory: independent of the file size)"
"$bench" make-many "$work/many.body" 2000 10
limit_name="C program" busboy_target=4 run "2000 files of 10 KB" "$work/many.body" "$many" "$out" 2000 10240
rm -f "$work"/*.body
