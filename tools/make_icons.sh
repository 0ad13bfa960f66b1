#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG into the hicolor
# tree under resources/linux/icons (needs rsvg-convert, Debian package
# librsvg2-bin). The PNGs are checked in, so that building needs no renderer.
set -euo pipefail
cd "$(dirname "$0")/../resources/linux/icons/hicolor"
name=org.quembrastella.switch
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "scalable/apps/$name.svg" -o "${size}x${size}/apps/$name.png"
done
