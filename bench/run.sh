#!/usr/bin/env bash
# The scaling benchmark (`make bench`): velmora-batch --size 1280 over a corpus of camera-sized JPEGs,
# against the limit of a full-decode design (libjpeg-turbo's djpeg decoding the whole picture plus
# cjpeg -quality 90 encoding the 1280-pixel result) and against the peers ImageMagick mogrify and
# vipsthumbnail. One thread first; then the pool: velmora-batch with 1 worker, 2 workers and the
# default (the cores the process may use), against that limit on one core and in two processes at a
# time, and vipsthumbnail in two processes. Prints seconds per picture, the ratios and peak memory,
# then the peak of a run of 1,000 files (FLAT=0 skips it). BASELINE=path/to/velmora-batch adds an older
# build's one-thread row to compare with (it runs without --jobs). The same run over the corpus with
# EXIF Orientation 6 (every picture turned upright) gives the cost of the turn, and
# velmora-bench-orientation times the turn alone. Last, the peak memory of two decompression bombs.
#
# Every tool runs once per round, REPEATS rounds (default 5), and keeps its least time, the one least
# disturbed by other work on the machine. "CPU" is user + system time of the tool and its children;
# "wall" is elapsed time. Needs the release build (make bench builds it).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
batch=$build/src/cli/velmora-batch
gen=$build/bench/velmora-make-corpus
turnbench=$build/bench/velmora-bench-orientation
corpus=bench/corpus
rotated=bench/corpus-orientation6
out=bench/out
repeats=${REPEATS:-5}
flat=${FLAT:-1000}
count=24

for tool in djpeg cjpeg mogrify vipsthumbnail xargs; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -x "$batch" ] && [ -x "$gen" ] && [ -x "$turnbench" ] || { echo "bench: build the release build first (make bench)" >&2; exit 1; }

# The corpus is deterministic; the stamp names the generator version that made it.
stamp=$corpus/.made-by-v2
if [ ! -f "$stamp" ]; then
  echo "Making the corpus in $corpus (once)..."
  rm -rf "$corpus"
  "$gen" "$corpus" "$count"
  touch "$stamp"
fi
# The same pictures, stored sideways with Orientation 6.
if [ ! -f "$rotated/.made-by-v2" ]; then
  rm -rf "$rotated"
  "$gen" --orientation 6 "$corpus" "$rotated"
  touch "$rotated/.made-by-v2"
fi
files=("$corpus"/*.jpg)
names=()
for f in "${files[@]}"; do names+=("$(basename "$f")"); done
count=${#files[@]}

rm -rf "$out"
mkdir -p "$out"/velmora "$out"/rotated "$out"/magick "$out"/vips "$out"/vips2 "$out"/ppm

# The limit's encoder gets the same 1280-pixel pictures that velmora-batch writes, as PPM.
"$batch" --size 1280 "$corpus" "$out/velmora" 2>/dev/null
for f in "$out"/velmora/*.jpg; do
  djpeg -outfile "$out/ppm/$(basename "${f%.jpg}").ppm" "$f"
done
# Each source with the PPM of its output, for the limit in two processes.
pairs=()
for n in "${names[@]}"; do pairs+=("$corpus/$n" "$out/ppm/_${n%.jpg}.ppm"); done

export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1

echo "Corpus: $count pictures in $corpus:"
for f in "${files[@]}"; do
  identify -format "  %f %wx%h " "$f"
  awk -v b="$(stat -c %s "$f")" -v p="$(identify -format '%[fx:w*h]' "$f")" 'BEGIN { printf "%.1f MB, %.2f bytes/pixel\n", b / 1e6, b / p }'
done
echo "Cores this process may use: $(env -u OMP_NUM_THREADS nproc)"

run_decode() { for f in "${files[@]}"; do djpeg -dct int -outfile /dev/null "$f"; done; }
run_encode() { for f in "$out"/ppm/*.ppm; do cjpeg -quality 90 -outfile /dev/null "$f"; done; }
# The default output has optimised Huffman tables: the like-for-like limit encodes them too.
run_encodeopt() { for f in "$out"/ppm/*.ppm; do cjpeg -quality 90 -optimize -outfile /dev/null "$f"; done; }
run_limit2() {
  printf '%s\0' "${pairs[@]}" |
    xargs -0 -P2 -n2 sh -c 'djpeg -dct int -outfile /dev/null "$1" && cjpeg -quality 90 -outfile /dev/null "$2"' sh
}
run_velmora1() { "$batch" --jobs 1 --size 1280 "$corpus" "$out/velmora"; }
run_velmora1std() { "$batch" --jobs 1 --size 1280 --standard-huffman "$corpus" "$out/velmora"; }
run_velmora2() { "$batch" --jobs 2 --size 1280 "$corpus" "$out/velmora"; }
run_velmora() { "$batch" --size 1280 "$corpus" "$out/velmora"; }
run_rotated() { "$batch" --jobs 1 --size 1280 "$rotated" "$out/rotated"; }
run_unturned() { "$batch" --jobs 1 --size 1280 --no-rotate "$rotated" "$out/rotated"; }
run_perfile() { printf '%s\0' "${names[@]}" | xargs -0 -P2 -n1 "$batch" --jobs 1 --size 1280 "$corpus" "$out/velmora"; }
run_vips() { vipsthumbnail -s 1280 -o "$PWD/$out/vips/%s.jpg[Q=90]" "${files[@]}"; }
run_vips2() { printf '%s\0' "${files[@]}" | xargs -0 -P2 -n1 vipsthumbnail -s 1280 -o "$PWD/$out/vips2/%s.jpg[Q=90]"; }
run_magick() { mogrify -path "$out/magick" -resize '1280x1280>' -quality 90 "${files[@]}"; }
run_baseline() { "$BASELINE" --size 1280 "$corpus" "$out/velmora"; }
tools=(decode encode encodeopt limit2 velmora1 velmora1std rotated velmora2 velmora perfile vips vips2 magick)
if [ -n "${BASELINE:-}" ]; then tools+=(baseline); fi

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

# The turn's cost is small against the run's noise on a shared machine: the same files with and
# without --no-rotate, one after the other, TURN_PAIRS times, and the median of the differences.
turn_pairs=${TURN_PAIRS:-15}
turn_ms=$(for ((p = 0; p < turn_pairs; p++)); do
  read -r _ u1 s1 < <({ time run_rotated >/dev/null 2>&1; } 2>&1)
  read -r _ u2 s2 < <({ time run_unturned >/dev/null 2>&1; } 2>&1)
  awk -v a="$u1" -v b="$s1" -v c="$u2" -v d="$s2" -v n="$count" 'BEGIN { printf "%.3f\n", (a + b - c - d) * 1000 / n }'
done | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')

# Peak memory (maximum resident set): the decoder streams rows into the resampler, so no full-size
# picture is held; each worker holds one picture in flight.
peak() { /usr/bin/time -f "%M" "$batch" "$@" 2>&1 >/dev/null | tail -1; }
peak1=$(peak --jobs 1 --size 1280 "$corpus" "$out/velmora")
peak2=$(peak --jobs 2 --size 1280 "$corpus" "$out/velmora")
peakd=$(peak --size 1280 "$corpus" "$out/velmora")

args=()
for tool in "${tools[@]}"; do args+=(-v "c_$tool=${cpu[$tool]}" -v "w_$tool=${wall[$tool]}"); done
awk -v n="$count" -v baseline="${BASELINE:-}" -v cores="$(env -u OMP_NUM_THREADS nproc)" -v p1="$peak1" -v p2="$peak2" -v pd="$peakd" -v turn_pairs="$turn_pairs" -v turn="$turn_ms" "${args[@]}" '
function row(name, c, w) {
  printf "| %-56s | %7.3f | %7.3f | %6.2f | %6.2f |\n", name, c / n, w / n, c / (c_decode + c_encode),
         w / (w_decode + w_encode)
}
function header(title) {
  printf "\n| %-56s | %7s | %7s | %6s | %6s |\n", title, "CPU", "wall", "CPU /", "wall /"
  printf "| %-56s | %7s | %7s | %6s | %6s |\n", "", "", "", "limit", "limit"
  printf "|%s|%s|%s|%s|%s|\n", "----------------------------------------------------------", "---------", "---------",
         "--------", "--------"
}
BEGIN {
  header("seconds per picture, one thread")
  row("limit: djpeg full decode", c_decode, w_decode)
  row("limit: cjpeg -quality 90 of the 1280 picture", c_encode, w_encode)
  row("limit: together (1 core)", c_decode + c_encode, w_decode + w_encode)
  row("limit: cjpeg -quality 90 -optimize of the 1280 picture", c_encodeopt, w_encodeopt)
  row("limit: together with -optimize (1 core)", c_decode + c_encodeopt, w_decode + w_encodeopt)
  row("velmora-batch --jobs 1", c_velmora1, w_velmora1)
  row("velmora-batch --jobs 1 --standard-huffman", c_velmora1std, w_velmora1std)
  row("velmora-batch --jobs 1, Orientation 6", c_rotated, w_rotated)
  if (baseline != "") row("baseline: " baseline, c_baseline, w_baseline)
  row("vipsthumbnail -s 1280 (Q=90)", c_vips, w_vips)
  row("mogrify -resize 1280x1280> -quality 90", c_magick, w_magick)
  header("seconds per picture, in parallel")
  row("limit: together, 2 processes at a time", c_limit2, w_limit2)
  row("velmora-batch --jobs 2", c_velmora2, w_velmora2)
  row("velmora-batch (default: " cores " workers)", c_velmora, w_velmora)
  row("velmora-batch --jobs 1, a process per file, 2 at a time", c_perfile, w_perfile)
  row("vipsthumbnail, 2 processes at a time", c_vips2, w_vips2)
  lw = w_decode + w_encode
  printf "\nwall time / 1-core limit: --jobs 1 %.2f, --jobs 2 %.2f (target 0.55), default %.2f; limit in 2 processes %.2f\n",
         w_velmora1 / lw, w_velmora2 / lw, w_velmora / lw, w_limit2 / lw
  lo = w_decode + w_encodeopt
  printf "like for like (limit with -optimize): --jobs 1 %.2f (CPU %.2f), --jobs 2 %.2f; --standard-huffman / limit: %.2f (CPU %.2f)\n",
         w_velmora1 / lo, c_velmora1 / (c_decode + c_encodeopt), w_velmora2 / lo, w_velmora1std / lw,
         c_velmora1std / (c_decode + c_encode)
  printf "default / --jobs 2 (wall): %.2f; vipsthumbnail in 2 processes / --jobs 2 (wall): %.2f (CPU %.2f)\n",
         w_velmora / w_velmora2, w_vips2 / w_velmora2, c_vips2 / c_velmora2
  printf "--jobs 2 / limit in 2 processes (wall): %.2f; / a process per file: %.2f\n", w_velmora2 / w_limit2,
         w_velmora2 / w_perfile
  if (baseline != "") printf "--jobs 1 / baseline: %.2f (CPU), %.2f (wall)\n", c_velmora1 / c_baseline, w_velmora1 / w_baseline
  printf "vipsthumbnail / velmora-batch, one thread: %.2f (CPU), %.2f (wall)\n", c_vips / c_velmora1, w_vips / w_velmora1
  printf "mogrify / velmora-batch, one thread: %.2f (CPU), %.2f (wall)\n", c_magick / c_velmora1, w_magick / w_velmora1
  printf "turning upright (Orientation 6 against --no-rotate, median of %d pairs): %+.1f ms per picture (CPU)\n",
         turn_pairs, turn
  printf "peak memory: --jobs 1 %.1f MB, --jobs 2 %.1f MB (2 x 1 worker + 10 MB = %.1f MB), default %.1f MB\n",
         p1 / 1024, p2 / 1024, (2 * p1) / 1024 + 10, pd / 1024
}'

# A run of many files stays flat: the same peak for 1,000 files as for the corpus (links to its files).
if [ "$flat" -gt 0 ]; then
  many=$out/many
  mkdir -p "$many"
  for ((i = 0; i < flat; i++)); do ln -s "$PWD/${files[$((i % count))]}" "$many/$(printf 'P%05d.jpg' "$i")"; done
  read -r kb secs < <(/usr/bin/time -f "%M %e" "$batch" --size 1280 "$many" "$out/many-out" 2>&1 >/dev/null | tail -1)
  awk -v kb="$kb" -v s="$secs" -v n="$flat" -v pd="$peakd" -v c="$count" 'BEGIN {
    printf "%d files (default workers): peak %.1f MB (%d files: %.1f MB), %.1f s, %.1f pictures/s\n", n, kb / 1024, c,
           pd / 1024, s, n / s
  }'
  rm -rf "$many" "$out/many-out"
fi

# The memory budget: the 364-byte progressive arithmetic file stating 23000 x 23000 pixels (3 GB of
# coefficients a worker) is refused from its header; two copies on two workers.
bombs=$out/bombs
mkdir -p "$bombs"
for i in 1 2; do cp tests/data/bombs/progressive_arithmetic_23000x23000.jpg "$bombs/bomb$i.jpg"; done
read -r kb secs < <(/usr/bin/time -f "%M %e" "$batch" --jobs 2 --keep-going "$bombs" "$out/bombs-out" 2>&1 >/dev/null |
  tail -1)
awk -v kb="$kb" -v s="$secs" 'BEGIN { printf "2 bombs of 23000 x 23000 pixels on 2 workers: refused, peak %.1f MB, %.2f s\n", kb / 1024, s }'
"$batch" --jobs 1 "$bombs" "$out/bombs-out" 2>&1 | grep -m1 "pamięci" || true

echo
echo "The turn alone (velmora-bench-orientation, least CPU time of 20 runs):"
"$turnbench" 20 "${files[@]}"
