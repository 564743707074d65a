#!/usr/bin/env bash
# Starts Velmora's window from the release build. The window needs a display; without one, the batch
# front end runs over a few bundled sample photos instead, so the program still shows what it does.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release/src/app
cli=build/release/src/cli
# Qt wants a private runtime folder; a fresh login may not have one.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="/tmp/velmora-runtime-$(id -u)"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/velmora" "$@"
fi
echo "Velmora's window needs a display (neither DISPLAY nor WAYLAND_DISPLAY is set)."
echo "Running the batch front end velmora-batch over bundled sample photos instead."
out=build/run-output
mkdir -p "$out"
"$cli/velmora-batch" --size 1280 --caption tests/data/samples "$out" \
  canon_ixus_v3.jpg sanyo_sr662.jpg nikon_coolpix_p6000_gps.jpg synthetic_exif_little_endian.jpg synthetic_progressive.jpg
echo "Results (scaled to 1280 px, with the caption of the window's settings or the default one) written to $(pwd)/$out"
