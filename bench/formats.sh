#!/usr/bin/env bash
# The upload formats: each format's LoadFromFile against its bare library in one process
# (formats_bench: a 3-megapixel GIF, and a 12-megapixel WebP, AVIF and HEIC made from a
# photo, the HEIC a 4032x3024 grid of 512x512 tiles as phones write it), the WebP save
# against bare libwebp; ConvertToSRGB of a 12-megapixel Display P3
# photo against a bare lcms2 transform (colour_bench); 160x120 thumbnails of the 12-megapixel WebP and HEIC as whole
# processes against libvips' vipsthumbnail; and the peak memory of
# LoadFromFileMin(..., 160, 120) on a 12000x12000 PNG, a 16000x16000 JPEG and the HEIC
# above the process's baseline, beside the same files loaded whole. Installs what it runs
# when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${KELV_BENCH_DIR:-$root/build/bench-work}/formats
mkdir -p "$work"
source "$root/bench/common.sh"
bench_packages lomiri-wallpapers-16.04 imagemagick webp libavif-bin libvips-tools libheif-examples
bin=$root/build/native/bench
photo=/usr/share/backgrounds/Dragonfly_by_Bolly.jpg

# The files, made once and kept between runs.
if [ ! -f "$work/p12.avif" ]; then
  "$magick" "$photo" -resize '4000x3000!' "$work/p12.png"
  cwebp -quiet -q 80 "$work/p12.png" -o "$work/p12.webp"
  avifenc -s 10 "$work/p12.png" "$work/p12.avif" >/dev/null
  "$magick" "$work/p12.png" -resize 2000x1500 -colors 256 "$work/p3.gif"
fi
if [ ! -f "$work/p12.heic" ]; then
  "$magick" "$photo" -resize '4032x3024!' "$work/p12h.png"
  "$magick" "$work/p12h.png" -crop 512x512 +repage -gravity NorthWest -background black -extent 512x512 \
    "$work/tile%02d.png"
  for t in "$work"/tile*.png; do heif-enc -q 80 "$t" -o "${t%.png}.heic" >/dev/null; done
  "$bin/formats_bench" make-heic 4032 3024 "$work/p12.heic" "$work"/tile*.heic
  rm -f "$work"/tile*.png "$work"/tile*.heic "$work/p12h.png"
fi
[ -f "$work/big.png" ] || "$bin/formats_bench" make-png 12000 12000 "$work/big.png"
[ -f "$work/big.jpg" ] || "$bin/formats_bench" make-jpeg 16000 16000 "$work/big.jpg"

"$bin/formats_bench" compare "$work/p3.gif" "$work/p12.webp" "$work/p12.avif" "$work/p12.heic"
"$bin/colour_bench" "$photo" "$work"

for kind in WebP HEIC; do
  file=$work/p12.$(echo "$kind" | tr 'A-Z' 'a-z')
  ours=$(best "$bin/thumbnail" "$file" "$work/ours.jpg" 160 120)
  vips=$(best vipsthumbnail "$file" -s 160x120 -o "$work/vips.jpg[Q=78]")
  what="thumbnail 12 MP $kind"
  [ "$kind" = HEIC ] && what="thumbnail HEIC (process)"
  printf '%-28s %9.4f s  %-18s %9.4f s  ratio %5.2f  (target <= 1.00)\n' "$what" "$ours" \
    "vipsthumbnail" "$vips" "$(echo "$ours / $vips" | bc -l)"
done

read -r w h reduced < <("$bin/formats_bench" peak "$work/p12.heic" 160 120)
read -r W H whole < <("$bin/formats_bench" peak "$work/p12.heic" 0 0 --whole)
printf '%-28s %7.1f MB above the baseline, for %dx%d; loaded whole (%dx%d): %.1f MB (target <= half)\n' \
  "LoadFromFileMin p12.heic" "$reduced" "$w" "$h" "$W" "$H" "$whole"

for file in big.png big.jpg; do
  read -r w h reduced < <("$bin/formats_bench" peak "$work/$file" 160 120)
  read -r W H whole < <("$bin/formats_bench" peak "$work/$file" 0 0 --whole)
  printf '%-28s %7.1f MB above the baseline, for %dx%d (target <= 32); loaded whole (%dx%d): %.1f MB\n' \
    "LoadFromFileMin $file" "$reduced" "$w" "$h" "$W" "$H" "$whole"
done
rm -f "$work"/*.jpg.tmp "$work/ours.jpg" "$work/vips.jpg"
