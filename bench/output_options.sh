#!/usr/bin/env bash
# The output options' figures (`bench/output_options.sh`, after `make bench` made the corpus and the
# release build): over the benchmark corpus (scaled to 1280) and the bundled samples (kept at their size),
#  - optimised Huffman tables and progressive against the design's baseline (--standard-huffman):
#    total bytes, and every output's pixels equal as djpeg decodes them;
#  - the size limit, 200K and 500K at --quality 100: every file fits unless even quality 10 does not
#    (then it is named), and each is at least 85 % of the limit or at quality 100 (ImageMagick's estimate);
#  - CPU time (user + system) of velmora-batch --jobs 1 with each option against the default run and
#    the full-decode limit (djpeg -dct int + cjpeg -quality 90 of the 1280 picture), rounds
#    interleaved, least of REPEATS (default 5). BASELINE=path/to/velmora-batch adds an older build.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
batch=$build/src/cli/velmora-batch
corpus=bench/corpus
samples=tests/data/samples
out=bench/out-options
repeats=${REPEATS:-5}
[ -x "$batch" ] || { echo "bench: build the release build first (make bench)" >&2; exit 1; }
[ -f "$corpus/.made-by-v2" ] || { echo "bench: make the corpus first (make bench)" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"

# run NAME SOURCE SIZE OPTIONS...: the outputs in $out/NAME, stderr in $out/NAME.err.
run() {
  local name=$1 source=$2 size=$3
  shift 3
  "$batch" --jobs 1 --keep-going --size "$size" "$@" "$source" "$out/$name" 2>"$out/$name.err" || true
}
total() { du -cb "$out/$1"/*.jpg | tail -1 | cut -f1; }
pixels_equal() {
  local bad=0
  for f in "$out/$1"/*.jpg; do
    cmp -s <(djpeg "$f") <(djpeg "$out/$2/$(basename "$f")") || bad=$((bad + 1))
  done
  echo "$bad"
}

echo "== Bytes and pixels"
for set in corpus samples; do
  if [ $set = corpus ]; then src=$corpus size=1280; else src=$samples size=100000; fi
  run $set-std "$src" $size --standard-huffman
  run $set-opt "$src" $size
  run $set-prog "$src" $size --progressive
  s=$(total $set-std)
  for v in opt prog; do
    b=$(total $set-$v)
    awk -v s="$s" -v b="$b" -v v="$v" -v set="$set" -v bad="$(pixels_equal $set-$v $set-std)" \
      -v n="$(ls "$out/$set-$v" | wc -l)" 'BEGIN { printf "%-8s %-12s %10d bytes against %10d: %5.1f %% smaller; pixels differ in %d of %d\n", set, v == "opt" ? "optimised" : "progressive", b, s, (1 - b / s) * 100, bad, n }'
  done
done

echo "== Size limit (--quality 100)"
for set in corpus samples; do
  if [ $set = corpus ]; then src=$corpus size=1280; else src=$samples size=100000; fi
  run $set-q10 "$src" $size --quality 10
  for kb in 200 500; do
    name=$set-$kb
    run $name "$src" $size --quality 100 --max-size ${kb}K
    limit=$((kb * 1000))
    files=0 over=0 named=0 named_wrong=0 low=0 low_ok=0
    for f in "$out/$name"/*.jpg; do
      files=$((files + 1))
      n=$(basename "$f")
      b=$(stat -c %s "$f")
      if grep -q "${n#_}: nie zmieścił się" "$out/$name.err"; then
        named=$((named + 1))
        # Named only when quality 10 does not fit either.
        [ "$(stat -c %s "$out/$set-q10/$n")" -gt $limit ] || named_wrong=$((named_wrong + 1))
      elif [ "$b" -gt $limit ]; then
        over=$((over + 1))
      elif [ "$b" -lt $((limit * 85 / 100)) ]; then
        low=$((low + 1))
        [ "$(identify -format %Q "$f")" = 100 ] && low_ok=$((low_ok + 1))
      fi
    done
    echo "$set ${kb}K: $files files; over the limit unnamed: $over; named (quality 10 too big): $named, wrongly: $named_wrong; under 85 %: $low, of them at quality 100: $low_ok"
  done
done

echo "== CPU per picture, --jobs 1 over the corpus, least of $repeats rounds"
mkdir -p "$out/ppm"
for f in "$out"/corpus-std/*.jpg; do djpeg -outfile "$out/ppm/$(basename "${f%.jpg}").ppm" "$f"; done
count=$(ls "$corpus"/*.jpg | wc -l)
t_limit() {
  for f in "$corpus"/*.jpg; do djpeg -dct int -outfile /dev/null "$f"; done
  for f in "$out"/ppm/*.ppm; do cjpeg -quality 90 -outfile /dev/null "$f"; done
}
t_standard() { "$batch" --jobs 1 --size 1280 --standard-huffman "$corpus" "$out/t"; }
t_default() { "$batch" --jobs 1 --size 1280 "$corpus" "$out/t"; }
t_progressive() { "$batch" --jobs 1 --size 1280 --progressive "$corpus" "$out/t"; }
t_limit500() { "$batch" --jobs 1 --size 1280 --max-size 500K "$corpus" "$out/t"; }
t_limit200() { "$batch" --jobs 1 --size 1280 --max-size 200K "$corpus" "$out/t"; }
t_sharpen() { "$batch" --jobs 1 --size 1280 --sharpen medium "$corpus" "$out/t"; }
t_baseline() { "$BASELINE" --jobs 1 --size 1280 "$corpus" "$out/t"; }
tools=(limit standard default progressive limit500 limit200 sharpen)
if [ -n "${BASELINE:-}" ]; then tools+=(baseline); fi
declare -A cpu
TIMEFORMAT='%R %U %S'
for ((round = 0; round < repeats; round++)); do
  for tool in "${tools[@]}"; do
    read -r _ u s < <({ time "t_$tool" >/dev/null 2>&1; } 2>&1)
    c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.3f", u + s }')
    if [ -z "${cpu[$tool]:-}" ] || awk -v a="$c" -v b="${cpu[$tool]}" 'BEGIN { exit !(a < b) }'; then cpu[$tool]=$c; fi
  done
done
for tool in "${tools[@]}"; do
  awk -v t="$tool" -v c="${cpu[$tool]}" -v n="$count" -v l="${cpu[limit]}" -v d="${cpu[default]}" \
    'BEGIN { printf "%-12s %6.3f s/picture  / limit %5.2f  / default %5.2f\n", t, c / n, c / l, c / d }'
done
