#!/usr/bin/env bash
# Renders the hicolor PNG icons from desktop/icons/app.velmora.Velmora.svg (needs rsvg-convert, package
# librsvg2-bin). The PNGs are committed, so a build does not need this.
set -euo pipefail
cd "$(dirname "$0")/../desktop/icons"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" app.velmora.Velmora.svg -o "app.velmora.Velmora-$size.png"
done
