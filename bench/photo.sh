#!/usr/bin/env bash
# Photo figures: area averaging, the reduced JPEG decode and PNG load and save in one
# program (photo_bench, against nearest sampling, a pixel copy and bare libpng); then a
# 160x120 thumbnail as whole processes: ours (the `thumbnail` program: reduced decode,
# area average into the framed thumbnail, JPEG save) against ImageMagick's
# `convert -thumbnail` and libvips' `vipsthumbnail`, with the PSNR of ours against the
# same thumbnail from a full-scale decode. Installs what it runs when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${KELV_BENCH_DIR:-$root/build/bench-work}
mkdir -p "$work"
source "$root/bench/common.sh"
bench_packages lomiri-wallpapers-20.04 lomiri-wallpapers-16.04 imagemagick libvips-tools
bin=$root/build/native/bench

"$bin/photo_bench" /usr/share/backgrounds/Dragonfly_by_Bolly.jpg "$work"

ratio() {  # name ours peer-name peer target
  printf '%-28s %9.4f s  %-18s %9.4f s  ratio %5.2f  (target <= %s)\n' "$1" "$2" "$3" "$4" "$(echo "$2 / $4" | bc -l)" "$5"
}
# The photo the thumbnail figures are for (progressive, 4224x3168), and a baseline one.
for photo in /usr/share/backgrounds/Dragonfly_by_Bolly.jpg /usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg; do
  echo "thumbnail 160x120 of $(basename "$photo"):"
  ours=$(best "$bin/thumbnail" "$photo" "$work/ours.jpg" 160 120)
  im=$(best "$magick" "$photo" -thumbnail 160x120 -quality 78 "$work/im.jpg")
  vips=$(best vipsthumbnail "$photo" -s 160x120 -o "$work/vips.jpg[Q=78]")
  ratio "thumbnail (process)" "$ours" "convert -thumbnail" "$im" "0.25: 4x faster"
  ratio "thumbnail (process)" "$ours" "vipsthumbnail" "$vips" "1.00"
  printf '%-28s %9s dB  (target >= 35, against the full-scale decode)\n' "thumbnail PSNR" \
    "$("$bin/thumbnail" --psnr "$photo" 160 120)"
done
rm -f "$work"/*.jpg
