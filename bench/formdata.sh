#!/usr/bin/env bash
# Form-data figures: a body with one 200 MB file part and a body of 2,000 files of
# 10 KB, fed in 64 KiB chunks, all writing to the same folder. The one big file is
# measured against dd copying the body to a file (the limit: the same bytes read and
# written); the many small files against many_files, a C program that creates and
# writes the same number of files of the same size in the same folder (the limit: file
# creation), once with nothing else to do and once also reading the body in 64 KiB
# chunks as the decoder's caller must. Both bodies against the npm package busboy
# (installed here with npm) decoding the same body.
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

# A fresh folder for each program's run. With KEEP set the files stay until the end of
# the measurement: on ext4, creating files soon after as many were deleted costs up to
# ten times as much (the allocator steps over inodes freed in the last minute), which
# would measure the order of the runs, not the programs.
fresh() {
  [ -n "${KEEP:-}" ] || rm -rf "${out:?}"/*
  mktemp -d "$out/run-XXXXXX"
}

run() {  # name body limit-command [second-limit-command] (each gets its folder last)
  local name=$1 body=$2 limit=$3 limit2=${4:-}
  local best=999999 bb=999999 lim=999999 lim2=999999 rss=0 s r b
  for _ in $(seq "$runs"); do
    read -r s r _ _ < <("$bench" decode "$body" "$(fresh)")
    best=$(min "$s" "$best"); rss=$r
    lim=$(min "$($limit "$(fresh)")" "$lim")
    [ -n "$limit2" ] && lim2=$(min "$($limit2 "$(fresh)")" "$lim2")
    if [ -d "$work/node_modules/busboy" ]; then
      read -r b _ < <(NODE_PATH="$work/node_modules" node "$root/bench/busboy-decode.js" "$body" "$(fresh)" "$boundary")
      bb=$(min "$b" "$bb")
    fi
  done
  local mb
  mb=$(echo "$(stat -c %s "$body") / 1048576" | bc -l)
  row() {  # limit-name seconds
    printf '%-22s ours %8.1f MB/s  %-22s %8.1f MB/s  ratio %.2f (target >= 0.90)  peak RSS %d MB\n' "$name" \
      "$(echo "$mb / $best" | bc -l)" "$1" "$(echo "$mb / $2" | bc -l)" "$(echo "$2 / $best" | bc -l)" "$rss"
  }
  row "$limit_name" "$lim"
  [ -n "$limit2" ] && row "$limit2_name" "$lim2"
  [ "$bb" != 999999 ] && printf '%-22s busboy %8.1f MB/s  ours/busboy speed %.2f (target >= %s)\n' "$name" \
    "$(echo "$mb / $bb" | bc -l)" "$(echo "$bb / $best" | bc -l)" "$busboy_target"
  rm -rf "${out:?}"/*
}

# dd's seconds for copying the big body to a file in the folder.
dd_copy() {  # folder
  local t0 t1
  t0=$(date +%s.%N); dd if="$work/big.body" of="$1/dd.bin" bs=64K status=none; t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}

# The C program's seconds for the 2,000 files of 10 KB, without and with the body.
files_only() { "$many" "$1" 2000 10240; }
files_and_body() { "$many" "$1" 2000 10240 "$work/many.body"; }

"$bench" make "$work/big.body" "$size_mb"
limit_name=dd busboy_target=5 run "one ${size_mb} MB file" "$work/big.body" dd_copy
"$bench" make "$work/small.body" 20
read -r _ rss_small _ _ < <("$bench" decode "$work/small.body" "$(fresh)"); rm -rf "${out:?}"/*
echo "peak RSS with a 20 MB file: $rss_small MB (flat memory: independent of the file size)"
"$bench" make-many "$work/many.body" 2000 10
KEEP=1 limit_name="C, files only" limit2_name="C, files and body" busboy_target=4 \
  run "2000 files of 10 KB" "$work/many.body" files_only files_and_body
rm -f "$work"/*.body
