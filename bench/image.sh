#!/usr/bin/env bash
# Image figures on real photographs: the members against bare libjpeg, fread/fwrite and
# memcpy in one program (image_bench), and against the djpeg/cjpeg processes.
# Installs the photographs' packages (Debian's lomiri wallpapers) and libjpeg-turbo's
# tools when missing; the photographs stay where the packages put them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${KELV_BENCH_DIR:-$root/build/bench-work}
mkdir -p "$work"
source "$root/bench/common.sh"
bench_packages lomiri-wallpapers-20.04 lomiri-wallpapers-16.04 libjpeg-turbo-progs imagemagick
photos=(/usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg /usr/share/backgrounds/Dragonfly_by_Bolly.jpg)

for photo in "${photos[@]}"; do
  out=$("$root/build/native/bench/image_bench" "$photo" "$work")
  echo "$out"
  ours_load=$(echo "$out" | awk '/^LoadFromJpg/ { print $2 }')
  ours_save=$(echo "$out" | awk '/^SaveToJpg/ { print $3 }')
  djpeg_s=$(best djpeg -dct float -bmp -outfile "$work/d.bmp" "$photo")
  djpeg -bmp -outfile "$work/in.bmp" "$photo"
  cjpeg_s=$(best cjpeg -quality 78 -outfile "$work/c.jpg" "$work/in.bmp")
  printf '%-28s %9.4f s  %-18s %9.4f s  ratio %5.2f  (target < 1)\n' LoadFromJpg "$ours_load" "djpeg process" "$djpeg_s" "$(echo "$ours_load / $djpeg_s" | bc -l)"
  printf '%-28s %9.4f s  %-18s %9.4f s  ratio %5.2f  (target < 1)\n' "SaveToJpg q78" "$ours_save" "cjpeg process" "$cjpeg_s" "$(echo "$ours_save / $cjpeg_s" | bc -l)"
  ours_thumb=$(echo "$out" | awk '/^thumbnail pipeline/ { print $3 }')
  if "$magick" -version 2>/dev/null | grep -q ImageMagick; then
    im_s=$(best "$magick" "$photo" -sample 160x120 -quality 78 "$work/im.jpg")
    printf '%-28s %9.4f s  %-18s %9.4f s  ratio %5.2f  (target <= 0.40: 2.5x faster)\n' "thumbnail pipeline" "$ours_thumb" "ImageMagick" "$im_s" "$(echo "$ours_thumb / $im_s" | bc -l)"
  fi
done
rm -f "$work"/*.bmp "$work"/*.jpg "$work"/raw.bin
