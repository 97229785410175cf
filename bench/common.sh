# Sourced by the benchmark scripts.

# bench_packages PKG...: installs the Debian packages a benchmark compares against, or
# the photographs it runs on, when they are missing.
bench_packages() {
  local sudo="" need=() p
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  for p in "$@"; do
    dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || need+=("$p")
  done
  [ ${#need[@]} -eq 0 ] && return 0
  $sudo apt-get update -qq -o DPkg::Lock::Timeout=600 || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends \
    "${need[@]}" >/dev/null
}

# best CMD...: the best wall time of 5 runs of a whole process, in seconds.
best() {
  local best=999999 t0 t1 s
  for _ in 1 2 3 4 5; do
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    s=$(echo "$t1 - $t0" | bc -l)
    best=$(echo "if ($s < $best) $s else $best" | bc -l)
  done
  echo "$best"
}

# ImageMagick's own convert, whatever else of that name comes first on the PATH.
magick=/usr/bin/convert
