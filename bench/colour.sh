#!/usr/bin/env bash
# The colour step's benchmark (`make bench-colour`, after the release build):
#  1. accuracy against LittleCMS's own converter, jpgicc (relative colorimetric, black point
#     compensation): an sRGB camera photo made Adobe RGB, Display P3 and ProPhoto at full size by jpgicc,
#     then scaled to 1280 by velmora-batch --keep-profile (the same scaled pixels for both sides), and a
#     CMYK one made at 1280 through Ghostscript's SWOP profile (embedded); each converted to sRGB by our
#     colour step and by LittleCMS's own converters; CIEDE2000 over all pixels, like with like: against
#     tificc, which writes without loss (ImageMagick makes the TIFF from the same JPEG and the PPM from
#     tificc's output), our pixels before any encoding; against jpgicc -q100 (which stores R, G and B
#     as they are, no YCbCr), our pixels after the same encode and decoded.
#     Then the transform alone, ns a pixel on the Adobe RGB picture: LittleCMS's path and the fast one.
#  2. cost: velmora-batch --jobs 1 --size 1280 over the benchmark corpus's 24 MP pictures tagged Adobe
#     RGB, converting against --keep-profile, and over the untagged corpus the same pair (nothing to
#     convert there). CPU time (user + system), REPEATS interleaved rounds (default 7), least kept.
#     BASELINE=another build's velmora-batch runs the same four in the same rounds (main's, to compare).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
batch=$build/src/cli/velmora-batch
tool=$build/bench/velmora-bench-colour
gen=$build/bench/velmora-make-corpus
out=bench/out-colour
repeats=${REPEATS:-7}
baseline=${BASELINE:-}
colord=/usr/share/color/icc/colord
for t in jpgicc tificc convert exiftool; do command -v "$t" >/dev/null || { echo "bench: $t is missing (scripts/install-deps.sh)" >&2; exit 1; }; done
[ -x "$batch" ] && [ -x "$tool" ] && [ -x "$gen" ] || { echo "bench: build the release build first (make bench-colour)" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"/src "$out"/full "$out"/scaled "$out"/ref "$out"/base
"$tool" p3-profile "$out/p3.icc"
photo=tests/data/samples/casio_qv3000ex.jpg  # 2048 x 1536, sRGB, a saturated flower
icc() { jpgicc -t1 -b "$@" >/dev/null 2>&1; }
icc -q95 -e -o"$colord/AdobeRGB1998.icc" "$photo" "$out/full/adobe_rgb.jpg"
icc -q95 -e -o"$out/p3.icc" "$photo" "$out/full/display_p3.jpg"
icc -q95 -e -o"$colord/ProPhotoRGB.icc" "$photo" "$out/full/prophoto.jpg"
"$batch" --size 1280 --keep-profile "$out/full" "$out/scaled" 2>/dev/null
cp "$photo" "$out/base/photo.jpg"
"$batch" --size 1280 --keep-profile "$out/base" "$out/base" 2>/dev/null
icc -q95 -e -o/usr/share/color/icc/ghostscript/default_cmyk.icc "$out/base/_photo.jpg" "$out/scaled/_cmyk.jpg"

echo "accuracy, CIEDE2000 over every pixel of the 1280-pixel picture:"
printf '%-12s %12s %12s %12s %12s\n' source "tificc mean" "tificc max" "jpgicc mean" "jpgicc max"
for name in adobe_rgb display_p3 prophoto cmyk; do
  src=$out/scaled/_$name.jpg
  convert "$src" "$out/ref/$name.tif"
  tificc -t1 -b "$out/ref/$name.tif" "$out/ref/${name}_srgb.tif" >/dev/null 2>&1
  convert "$out/ref/${name}_srgb.tif" "$out/ref/$name.ppm"
  read -r tmean tmax < <("$tool" versus "$src" "$out/ref/$name.ppm")
  icc -q100 "$src" "$out/ref/$name.jpg"
  read -r mean max < <("$tool" versus-jpeg "$src" "$out/ref/$name.jpg")
  printf '%-12s %12s %12s %12s %12s\n' "$name" "$tmean" "$tmax" "$mean" "$max"
done
echo
echo "the transform alone, Adobe RGB into sRGB in place, least of 30 rounds:"
"$tool" speed "$out/scaled/_adobe_rgb.jpg"

# The corpus of bench/run.sh, and the same pictures tagged Adobe RGB.
corpus=bench/corpus
if [ ! -f "$corpus/.made-by-v2" ]; then
  rm -rf "$corpus"
  "$gen" "$corpus" 24
  touch "$corpus/.made-by-v2"
fi
tagged=bench/corpus-adobe-rgb
if [ ! -f "$tagged/.made-by-v1" ]; then
  rm -rf "$tagged"
  mkdir -p "$tagged"
  for f in "$corpus"/*.jpg; do exiftool -q -o "$tagged/$(basename "$f")" "-ICC_Profile<=$colord/AdobeRGB1998.icc" "$f"; done
  touch "$tagged/.made-by-v1"
fi
big=()
for f in "$tagged"/*.jpg; do
  read -r w h <<<"$(exiftool -q -s3 -ImageWidth -ImageHeight "$f" | tr '\n' ' ')"
  if [ "$w" -ge 6000 ] || [ "$h" -ge 6000 ]; then big+=("$(basename "$f")"); fi
done

cpu() {  # CPU seconds of one run of velmora-batch $1 (bash's times are to the millisecond)
  local program=$1
  shift
  rm -rf "$out/run"
  mkdir -p "$out/run"
  { TIMEFORMAT='%3U %3S'; time "$program" --jobs 1 --size 1280 "$@" >/dev/null 2>&1; } 2>"$out/time"
  awk '{printf "%.3f", $1 + $2}' "$out/time"
}
declare -A best
builds=(this)
[ -n "$baseline" ] && builds+=(baseline)
for ((r = 0; r < repeats; r++)); do
  for build in "${builds[@]}"; do
    program=$batch
    [ "$build" = baseline ] && program=$baseline
    for run in tagged-convert tagged-keep plain-convert plain-keep; do
      case $run in
        tagged-*) args=("$tagged" "$out/run" "${big[@]}") ;;
        plain-*) args=("$corpus" "$out/run" "${big[@]}") ;;
      esac
      [[ $run == *-keep ]] && args=(--keep-profile "${args[@]}")
      t=$(cpu "$program" "${args[@]}")
      key=$build-$run
      if [ -z "${best[$key]:-}" ] || awk -v a="$t" -v b="${best[$key]}" 'BEGIN{exit !(a < b)}'; then best[$key]=$t; fi
    done
  done
done
n=${#big[@]}
for build in "${builds[@]}"; do
  echo
  echo "cost over $n pictures of 24 MP, --jobs 1, CPU seconds per picture (least of $repeats rounds), $build build:"
  awk -v n="$n" -v tc="${best[$build-tagged-convert]}" -v tk="${best[$build-tagged-keep]}" \
    -v pc="${best[$build-plain-convert]}" -v pk="${best[$build-plain-keep]}" 'BEGIN {
    printf "Adobe RGB, converted      %.4f\nAdobe RGB, --keep-profile %.4f   conversion: %+.1f %% (%+.1f ms a picture)\n", tc / n, tk / n, (tc / tk - 1) * 100, (tc - tk) / n * 1000
    printf "untagged, default         %.4f\nuntagged, --keep-profile  %.4f   difference: %+.1f %%\n", pc / n, pk / n, (pc / pk - 1) * 100 }'
done
