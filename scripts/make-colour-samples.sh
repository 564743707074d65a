#!/usr/bin/env bash
# Makes the colour tests' pictures in tests/data/colour from one sRGB camera sample: the picture scaled
# to 160 pixels, then converted by jpgicc (relative colorimetric, black point compensation) into Adobe
# RGB, Display P3, ProPhoto, CMYK (with and without its profile) and grey, each with its profile
# embedded. The Adobe RGB one also gets the EXIF and XMP that say so (exiftool). Run again only to
# change them; the tests use the files as committed. Usage: scripts/make-colour-samples.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
batch=$build/src/cli/velmora-batch
tool=$build/bench/velmora-bench-colour
out=tests/data/colour
colord=/usr/share/color/icc/colord
gs=/usr/share/color/icc/ghostscript
for t in jpgicc exiftool; do command -v "$t" >/dev/null || { echo "$t is missing (scripts/install-deps.sh)" >&2; exit 1; }; done
[ -x "$batch" ] && [ -x "$tool" ] || { echo "build velmora-batch and velmora-bench-colour in $build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/small" "$out"
cp tests/data/samples/nikon_coolpix_p6000_gps.jpg "$work/src/srgb.jpg"
"$batch" --size 160 --prefix "" "$work/src" "$work/small" 2>/dev/null
base=$work/small/srgb.jpg
cp "$base" "$out/srgb.jpg"
"$tool" p3-profile "$work/p3.icc"

icc() { jpgicc -t1 -b -q95 "$@" >/dev/null 2>&1; }
icc -e -o"$colord/AdobeRGB1998.icc" "$base" "$out/adobe_rgb.jpg"
icc -e -o"$work/p3.icc" "$base" "$out/display_p3.jpg"
icc -e -o"$colord/ProPhotoRGB.icc" "$base" "$out/prophoto.jpg"
# A CMYK profile that works only one way (RGB to CMYK): no input profile, so no conversion.
icc -e -o"$gs/ps_cmyk.icc" "$base" "$out/cmyk_output_profile.jpg"
icc -o"$gs/default_cmyk.icc" "$base" "$out/cmyk_untagged.jpg"
icc -e -o/usr/share/color/icc/Gray.icc "$base" "$out/grey.jpg"
# What a camera or editor says of an Adobe RGB picture.
exiftool -q -overwrite_original -ColorSpace=Uncalibrated -InteropIndex=R03 -Software=Velmora-test \
  '-XMP-photoshop:ICCProfileName=Adobe RGB (1998)' "$out/adobe_rgb.jpg"
ls -l "$out"
