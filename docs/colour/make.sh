#!/usr/bin/env bash
# The README's colour before/after (the docs-colour target): a camera photo made Adobe RGB by jpgicc,
# written by velmora-batch with --keep-profile (before) and converting to sRGB (after), each shown as a
# viewer without colour management shows it: the pixels, profile stripped. Usage: make.sh VELMORA_BATCH
set -euo pipefail
batch=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/before" "$work/after"
jpgicc -t1 -b -q95 -e -o/usr/share/color/icc/colord/AdobeRGB1998.icc "$here/../../tests/data/samples/minolta_dimage_x.jpg" \
  "$work/src/adobe_rgb.jpg" >/dev/null 2>&1
"$batch" --size 480 --keep-profile "$work/src" "$work/before" 2>/dev/null
"$batch" --size 480 "$work/src" "$work/after" 2>/dev/null
for side in before after; do convert "$work/$side/_adobe_rgb.jpg" -strip "$here/$side.png"; done
