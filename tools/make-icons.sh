#!/usr/bin/env bash
# Renders the desktop icon's PNG sizes for the hicolor theme from its SVG. The PNGs are
# committed, so building needs no SVG renderer; run this again after changing the drawing.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."

id=io.github.rekkon.Rekkon
icons=dist/icons/hicolor
svg=$icons/scalable/apps/$id.svg

for size in 16 24 32 48 64 128 256; do
    mkdir -p "$icons/${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" --output "$icons/${size}x${size}/apps/$id.png" "$svg"
done
