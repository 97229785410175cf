#!/usr/bin/env bash
# Uploads through the page host under Wine at 1, 2, 4 and 8 workers: the same photos
# (1 KB to 13 MP) posted by 16 clients at once to upload.asp, each answered with its
# thumbnail. Prints uploads/s, MB/s of request bodies, and the speed-up over one worker
# next to its limit on this machine (the number of cores, or of workers if fewer), and
# the host process's CPU time over the run's wall time (cores kept busy by the host).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${KELV_BENCH_DIR:-$root/build/bench-work}/pagehost
uploads=${PAGEHOST_BENCH_UPLOADS:-400}
source "$root/tests/pagehost/host.sh"
make --no-print-directory -C "$root" windows >/dev/null
bash "$root/tests/pagehost/make-photos" "$root/build/pagehost-test/photos"
mkdir -p "$work"
cores=$(nproc)
printf '%-8s %10s %10s %10s %8s %10s\n' workers uploads/s MB/s speed-up limit "host CPU"
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
one=""
for w in 1 2 4 8; do
  rm -rf "$work/site"
  mkdir -p "$work/site"
  cp "$root/examples/upload.asp" "$root/examples/thumb.inc" "$work/site/"
  start_host "$work/site" "$w"
  t0=$(cpu_ticks "$HOST_PID")
  s0=$(date +%s.%N)
  node "$root/tests/pagehost/load.js" --port "$HOST_PORT" --photos "$root/build/pagehost-test/photos" \
    --uploads "$uploads" --clients 16 --mix bench --json "$work/w$w.json" >"$work/w$w.log" 2>&1 ||
    { stop_host || true; cat "$work/w$w.log"; exit 1; }
  busy=$(echo "scale=2; ($(cpu_ticks "$HOST_PID") - $t0) / $(getconf CLK_TCK) / ($(date +%s.%N) - $s0)" | bc -l)
  stop_host >/dev/null 2>&1 || true
  read -r ups mbs < <(node -e "const r=require('$work/w$w.json'); console.log(r.uploads_per_s.toFixed(2), r.mb_per_s.toFixed(2))")
  [ -z "$one" ] && one=$ups
  limit=$(( w < cores ? w : cores ))
  printf '%-8s %10s %10s %10s %8s %10s\n' "$w" "$ups" "$mbs" "$(echo "scale=2; $ups / $one" | bc -l)" "$limit" "$busy"
done
