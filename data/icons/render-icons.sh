#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG (needs rsvg-convert from
# librsvg2-bin). The PNGs are committed, so a build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/hicolor"
for size in 16 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" scalable/apps/org.corvane.Corvane.svg \
    -o "${size}x${size}/apps/org.corvane.Corvane.png"
done
