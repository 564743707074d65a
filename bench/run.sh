#!/usr/bin/env bash
# The scaling benchmark (`make bench`): velmora-batch --size 1280 over a corpus of camera-sized JPEGs,
# against the limit of a full-decode design (libjpeg-turbo's djpeg decoding the whole picture plus
# cjpeg -quality 90 encoding the 1280-pixel result) and against the peers ImageMagick mogrify and
# vipsthumbnail, all on one thread. Prints seconds per picture and the ratios.
#
# Every tool runs once per round, REPEATS rounds (default 5), and keeps its least time, the one least
# disturbed by other work on the machine. "CPU" is user + system time of the tool and its children;
# "wall" is elapsed time. Needs the release build (make bench builds it).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
batch=$build/src/cli/velmora-batch
gen=$build/bench/velmora-make-corpus
corpus=bench/corpus
out=bench/out
repeats=${REPEATS:-5}

for tool in djpeg cjpeg mogrify vipsthumbnail; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -x "$batch" ] && [ -x "$gen" ] || { echo "bench: build the release build first (make bench)" >&2; exit 1; }

# The corpus is deterministic; the stamp names the generator version that made it.
stamp=$corpus/.made-by-v1
if [ ! -f "$stamp" ]; then
  echo "Making the corpus in $corpus (once)..."
  rm -rf "$corpus"
  "$gen" "$corpus"
  touch "$stamp"
fi
files=("$corpus"/*.jpg)
count=${#files[@]}

rm -rf "$out"
mkdir -p "$out"/velmora "$out"/magick "$out"/vips "$out"/ppm

# The limit's encoder gets the same 1280-pixel pictures that velmora-batch writes, as PPM.
"$batch" --size 1280 "$corpus" "$out/velmora" 2>/dev/null
for f in "$out"/velmora/*.jpg; do
  djpeg -outfile "$out/ppm/$(basename "${f%.jpg}").ppm" "$f"
done

export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1

echo "Corpus: $count pictures in $corpus:"
for f in "${files[@]}"; do
  identify -format "  %f %wx%h " "$f"
  awk -v b="$(stat -c %s "$f")" -v p="$(identify -format '%[fx:w*h]' "$f")" 'BEGIN { printf "%.1f MB, %.2f bytes/pixel\n", b / 1e6, b / p }'
done

run_decode() { for f in "${files[@]}"; do djpeg -dct int -outfile /dev/null "$f"; done; }
run_encode() { for f in "$out"/ppm/*.ppm; do cjpeg -quality 90 -outfile /dev/null "$f"; done; }
run_velmora() { "$batch" --size 1280 "$corpus" "$out/velmora"; }
run_vips() { vipsthumbnail -s 1280 -o "$PWD/$out/vips/%s.jpg[Q=90]" "${files[@]}"; }
run_magick() { mogrify -path "$out/magick" -resize '1280x1280>' -quality 90 "${files[@]}"; }
tools=(decode encode velmora vips magick)

# The runs of the tools interleave, so a busy spell on the machine hits them alike; each keeps its
# least CPU time (user + system, children included) and its least wall time.
declare -A cpu wall
TIMEFORMAT='%R %U %S'
echo "Measuring, $repeats rounds..."
for ((round = 0; round < repeats; round++)); do
  for tool in "${tools[@]}"; do
    read -r w u s < <({ time "run_$tool" >/dev/null 2>&1; } 2>&1)
    c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.3f", u + s }')
    if [ -z "${cpu[$tool]:-}" ] || awk -v a="$c" -v b="${cpu[$tool]}" 'BEGIN { exit !(a < b) }'; then cpu[$tool]=$c; fi
    if [ -z "${wall[$tool]:-}" ] || awk -v a="$w" -v b="${wall[$tool]}" 'BEGIN { exit !(a < b) }'; then wall[$tool]=$w; fi
  done
done
# Peak memory: the decoder streams rows into the resampler, so no full-size picture is held.
peak_kb=$(/usr/bin/time -f "%M" "$batch" --size 1280 "$corpus" "$out/velmora" 2>&1 >/dev/null | tail -1)

dec_cpu=${cpu[decode]} dec_wall=${wall[decode]} enc_cpu=${cpu[encode]} enc_wall=${wall[encode]}
vel_cpu=${cpu[velmora]} vel_wall=${wall[velmora]} vip_cpu=${cpu[vips]} vip_wall=${wall[vips]}
mag_cpu=${cpu[magick]} mag_wall=${wall[magick]}

awk -v n="$count" -v kb="$peak_kb" \
  -v dc="$dec_cpu" -v dw="$dec_wall" -v ec="$enc_cpu" -v ew="$enc_wall" \
  -v vc="$vel_cpu" -v vw="$vel_wall" -v mc="$mag_cpu" -v mw="$mag_wall" -v ic="$vip_cpu" -v iw="$vip_wall" '
function row(name, c, w) {
  printf "| %-44s | %8.3f | %8.3f | %6.2f |\n", name, c / n, w / n, c / (dc + ec)
}
BEGIN {
  printf "\n| %-44s | %8s | %8s | %6s |\n", "seconds per picture, one thread", "CPU", "wall", "/limit"
  printf "|%s|%s|%s|%s|\n", "----------------------------------------------", "----------", "----------", "--------"
  row("limit: djpeg full decode", dc, dw)
  row("limit: cjpeg -quality 90 of the 1280 picture", ec, ew)
  row("limit: together", dc + ec, dw + ew)
  row("velmora-batch --size 1280", vc, vw)
  row("vipsthumbnail -s 1280 (Q=90)", ic, iw)
  row("mogrify -resize 1280x1280> -quality 90", mc, mw)
  printf "\nvelmora-batch / limit: %.2f (CPU), %.2f (wall)\n", vc / (dc + ec), vw / (dw + ew)
  printf "vipsthumbnail / velmora-batch: %.2f (CPU), %.2f (wall)\n", ic / vc, iw / vw
  printf "mogrify / velmora-batch: %.2f (CPU), %.2f (wall)\n", mc / vc, mw / vw
  printf "velmora-batch peak memory: %.0f MB (one 6000 x 4000 picture at 4 bytes a pixel is 96 MB)\n", kb / 1024
}'
