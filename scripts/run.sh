#!/usr/bin/env bash
# Starts the program from the release build. Until the window exists, runs the batch front end
# over the bundled sample photos.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release/src/app
out=build/run-output
mkdir -p "$out"
"$bin/velmora-batch" --size 1280 tests/data/samples "$out" \
  canon_ixus_v3.jpg sanyo_sr662.jpg nikon_coolpix_p6000_gps.jpg synthetic_exif_little_endian.jpg synthetic_progressive.jpg
echo "Results written to $(pwd)/$out"
