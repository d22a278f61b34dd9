#!/bin/sh
# Makes app/res/Tavrin.ico (128, 64, 48, 32, 24 and 16 px, 32 bits per pixel)
# from the artwork in app/res/tavrin.svg. ImageMagick here has no SVG reader,
# so the same shapes are drawn with its own primitives at 1024 px (the SVG's
# 256-unit coordinates times 4) and scaled down for each size.
# Needs ImageMagick 6 (`convert`). The generated .ico is committed, so the
# build itself does not need this script.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
out="$here/app/res/Tavrin.ico"
# Prefer the distribution's ImageMagick over any wrapper earlier in PATH.
magick=/usr/bin/convert
[ -x "$magick" ] || magick=convert

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

s() { echo "$(( $1 * 4 ))"; }  # 256-unit coordinate to the 1024 px canvas

"$magick" -size 1024x1024 xc:none \
  -fill '#24324a' -draw "roundrectangle $(s 56),$(s 12) $(s 200),$(s 244) $(s 26),$(s 26)" \
  -fill '#3fa9f5' -draw "roundrectangle $(s 68),$(s 40) $(s 188),$(s 204) $(s 8),$(s 8)" \
  -fill '#7f93ad' -draw "roundrectangle $(s 108),$(s 23) $(s 148),$(s 30) 14,14" \
  -fill '#7f93ad' -draw "circle $(s 128),$(s 224) $(s 128),$(s 234)" \
  -fill '#ffffff' -stroke '#16202f' -strokewidth 28 -draw "stroke-linejoin round polygon \
      $(s 100),$(s 62) $(s 100),$(s 176) $(s 126),$(s 152) $(s 143),$(s 190) \
      $(s 163),$(s 181) $(s 146),$(s 144) $(s 180),$(s 144)" \
  "PNG32:$work/master.png"

list=""
for size in 128 64 48 32 24 16; do
  "$magick" "$work/master.png" -filter Lanczos -resize "${size}x${size}" \
    -define png:color-type=6 "PNG32:$work/icon-$size.png"
  list="$list $work/icon-$size.png"
done

# Each image is stored as a 32-bpp bitmap with its alpha channel (not as PNG),
# which every version of Windows and Wine reads.
# shellcheck disable=SC2086
"$magick" $list -compress None "ICO:$out"
echo "wrote $out"
