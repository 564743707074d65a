#!/usr/bin/env bash
# The other source formats' benchmark (`make bench-formats`, after the release build):
#  1. HEIC sources made with heif-enc from the camera samples of tests/data/samples that are at least
#     1600 px wide, first turned Display P3 by jpgicc (relative colorimetric, black point compensation,
#     the EXIF kept). velmora-batch --size 1280 --exif writes each; the reference is heif-convert's
#     decode (a PNG, with the profile) written by velmora-batch with the same options, so both go
#     through the same colour rule. CIEDE2000 mean and largest over all pixels; and the rotated test
#     picture must come out upright (its size turned, Orientation 1).
#  2. speed, one core: velmora-batch --jobs 1 over the HEIC files against heif-convert (to JPEG at
#     quality 90) plus velmora-batch over its outputs. CPU time (user + system), least of REPEATS
#     interleaved rounds (default 5).
#  3. WebP and AVIF outputs of the same camera samples (JPEG, --exif): each decodes with dwebp or
#     avifdec at the expected size and exiftool reads Make, Model and DateTimeOriginal from it; speed,
#     one core, against the limit of the JPEG benchmark's kind: djpeg's full decode plus cwebp or avifenc
#     (quality 90 / quantizer 6, speed 6, one thread) of the 1280-pixel picture.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
batch=$build/src/cli/velmora-batch
tool=$build/bench/velmora-bench-colour
out=bench/out-formats
repeats=${REPEATS:-5}
for t in jpgicc heif-enc heif-convert exiftool djpeg cwebp dwebp avifenc avifdec convert; do command -v "$t" >/dev/null || { echo "bench: $t is missing (scripts/install-deps.sh)" >&2; exit 1; }; done
[ -x "$batch" ] && [ -x "$tool" ] || { echo "bench: build the release build first (make bench-formats)" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"/p3 "$out"/heic "$out"/png "$out"/ours "$out"/ref "$out"/run
"$tool" p3-profile "$out/p3.icc"
for f in tests/data/samples/*.jpg; do
  w=$(exiftool -q -s3 -ImageWidth "$f")
  [ "$w" -ge 1600 ] || continue
  name=$(basename "$f" .jpg)
  jpgicc -t1 -b -q95 -e -o"$out/p3.icc" "$f" "$out/p3/$name.jpg" >/dev/null 2>&1 || continue
  exiftool -q -overwrite_original -tagsfromfile "$f" -exif:all "$out/p3/$name.jpg"
  heif-enc -q 90 "$out/p3/$name.jpg" -o "$out/heic/$name.heic" >/dev/null
  heif-convert "$out/heic/$name.heic" "$out/png/$name.png" >/dev/null
done
n=$(ls "$out/heic" | wc -l)
"$batch" --size 1280 --exif "$out/heic" "$out/ours" >/dev/null 2>&1
"$batch" --size 1280 --exif "$out/png" "$out/ref" >/dev/null 2>&1
echo "accuracy over $n HEIC pictures (Display P3, converted to sRGB), CIEDE2000 against heif-convert's decode:"
worst_mean=0 worst_max=0
for f in "$out"/ours/*.jpg; do
  read -r mean max < <("$tool" delta-e "$f" "$out/ref/$(basename "$f")")
  worst_mean=$(awk -v a="$mean" -v b="$worst_mean" 'BEGIN{print (a > b) ? a : b}')
  worst_max=$(awk -v a="$max" -v b="$worst_max" 'BEGIN{print (a > b) ? a : b}')
done
echo "largest mean $worst_mean, largest max $worst_max"
rm -rf "$out/turned" && "$batch" --exif "tests/data/formats" "$out/turned" rotated-heic.heic >/dev/null 2>&1
echo "rotated HEIC (stored 160 x 120, irot 90): $(exiftool -q -s3 -ImageSize -Orientation# "$out/turned/_rotated-heic.jpg" | tr '\n' ' ')(want 120x160 1)"

cpu() {  # CPU seconds of one command (bash's times are to the millisecond)
  { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null 2>&1; } 2>"$out/time"
  awk '{printf "%.3f", $1 + $2}' "$out/time"
}
ours_best='' peer_best=''
for ((r = 0; r < repeats; r++)); do
  rm -rf "$out/run" && mkdir -p "$out/run"
  t=$(cpu "$batch" --jobs 1 --size 1280 "$out/heic" "$out/run")
  if [ -z "$ours_best" ] || awk -v a="$t" -v b="$ours_best" 'BEGIN{exit !(a < b)}'; then ours_best=$t; fi
  rm -rf "$out/run" "$out/peerjpg" && mkdir -p "$out/run" "$out/peerjpg"
  peer() {
    for f in "$out"/heic/*.heic; do heif-convert -q 90 "$f" "$out/peerjpg/$(basename "$f" .heic).jpg"; done
    "$batch" --jobs 1 --size 1280 "$out/peerjpg" "$out/run"
  }
  t=$(cpu peer)
  if [ -z "$peer_best" ] || awk -v a="$t" -v b="$peer_best" 'BEGIN{exit !(a < b)}'; then peer_best=$t; fi
done
echo
echo "speed, --jobs 1, CPU seconds per picture (least of $repeats rounds):"
awk -v n="$n" -v o="$ours_best" -v p="$peer_best" 'BEGIN {
  printf "velmora-batch, HEIC to JPEG             %.4f\nheif-convert + velmora-batch from JPEG  %.4f\nratio                                   %.2f (target at most 1.1)\n", o / n, p / n, o / p }'

# ---- 3. WebP and AVIF outputs ----
mkdir -p "$out/jpeg" "$out/scaled"
for f in "$out"/p3/*.jpg; do cp "tests/data/samples/$(basename "$f")" "$out/jpeg/"; done
"$batch" --size 1280 --quality 100 --chroma 444 --keep-profile "$out/jpeg" "$out/scaled" >/dev/null 2>&1
for f in "$out"/scaled/*.jpg; do convert "$f" "${f%.jpg}.png"; done
echo
for format in webp avif; do
  rm -rf "$out/$format" && "$batch" --exif --size 1280 --format "$format" "$out/jpeg" "$out/$format" >/dev/null 2>&1
  good=0 tagged=0 total=0
  for f in "$out/$format"/*."$format"; do
    total=$((total + 1))
    want=$(exiftool -q -s3 -ImageSize "$out/scaled/$(basename "${f%.*}").jpg")
    if [ "$format" = webp ]; then dwebp -quiet "$f" -o "$out/decoded.png"; else avifdec "$f" "$out/decoded.png" >/dev/null; fi
    [ "$(exiftool -q -s3 -ImageSize "$out/decoded.png")" = "$want" ] && good=$((good + 1))
    [ "$(exiftool -q -s3 -Make -Model -DateTimeOriginal "$f" | wc -l)" = 3 ] && tagged=$((tagged + 1))
  done
  echo "$format: $good of $total decode at the expected size, $tagged of $total carry Make, Model and DateTimeOriginal"
done
ours_webp='' ours_avif='' peer_webp='' peer_avif=''
keep_least() {  # keep_least NAME SECONDS
  local name=$1 t=$2
  if [ -z "${!name}" ] || awk -v a="$t" -v b="${!name}" 'BEGIN{exit !(a < b)}'; then printf -v "$name" '%s' "$t"; fi
}
peer_encode() {
  local format=$1 f
  for f in "$out"/jpeg/*.jpg; do
    djpeg "$f" >/dev/null
    png="$out/scaled/_$(basename "${f%.jpg}").png"
    if [ "$format" = webp ]; then cwebp -quiet -q 90 "$png" -o "$out/run/peer.webp"; else avifenc -s 6 -j 1 --min 6 --max 6 "$png" "$out/run/peer.avif" >/dev/null; fi
  done
}
for ((r = 0; r < repeats; r++)); do
  for format in webp avif; do
    rm -rf "$out/run" && mkdir -p "$out/run"
    keep_least "ours_$format" "$(cpu "$batch" --jobs 1 --size 1280 --format "$format" "$out/jpeg" "$out/run")"
    keep_least "peer_$format" "$(cpu peer_encode "$format")"
  done
done
echo
echo "WebP and AVIF output, --jobs 1, CPU seconds per picture (least of $repeats rounds):"
awk -v n="$n" -v ow="$ours_webp" -v pw="$peer_webp" -v oa="$ours_avif" -v pa="$peer_avif" 'BEGIN {
  printf "velmora-batch --format webp  %.4f   djpeg + cwebp    %.4f   ratio %.2f (target at most 1.1)\n", ow / n, pw / n, ow / pw
  printf "velmora-batch --format avif  %.4f   djpeg + avifenc  %.4f   ratio %.2f (target at most 1.1)\n", oa / n, pa / n, oa / pa }'
