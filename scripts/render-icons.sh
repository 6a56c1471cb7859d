#!/bin/bash
# Renders the program's icon (resources/icons/kestrelbox.svg) into the PNG
# sizes the hicolor theme installs, resources/icons/hicolor/<n>x<n>.png. The
# PNGs are committed; run this after changing the SVG (needs librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
for n in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$n" -h "$n" resources/icons/kestrelbox.svg -o "resources/icons/hicolor/${n}x${n}.png"
done
