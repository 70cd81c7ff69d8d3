#!/usr/bin/env bash
# Renders the hicolor PNG sizes of the application icon from quillon.svg with
# ImageMagick. The PNGs are committed, so the build does not need ImageMagick;
# run this again after editing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  convert -background none -density 192 quillon.svg -resize "${size}x${size}" \
    -depth 8 -strip -define png:exclude-chunks=date,time "PNG32:quillon-${size}.png"
done
