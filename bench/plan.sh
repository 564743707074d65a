#!/usr/bin/env bash
# The run's plan over 10,000 files (`bench/plan.sh`, after the release build): velmora-batch --dry-run
# with a template that reads every header ({data}, {szer}, {wys}) and --existing number, the page cache
# warm (one run first, not counted), least wall time of REPEATS (default 5). The files are hard links
# to the bundled camera samples in turn, so the folder costs no disk and every name is a file of its own.
# TREE=1: the files in 200 subfolders, planned with --recursive.
set -euo pipefail
cd "$(dirname "$0")/.."

batch=build/release/src/cli/velmora-batch
files=${FILES:-10000}
repeats=${REPEATS:-5}
tree=${TREE:-0}
[ -x "$batch" ] || { echo "bench: build the release build first (make bench)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src" "$work/dst"
samples=(tests/data/samples/*.jpg)
recursive=()
for ((i = 0; i < files; i++)); do
  folder=$work/src
  if [ "$tree" = 1 ]; then folder=$work/src/$(printf 'd%03d' "$((i % 200))"); recursive=(--recursive); fi
  mkdir -p "$folder"
  ln "${samples[i % ${#samples[@]}]}" "$folder/$(printf 'IMG_%05d.jpg' "$i")"
done
# A tenth of the outputs are there already, so numbering has work to do.
for ((i = 0; i < files; i += 10)); do : > "$work/dst/$(printf 'w_%05d.jpg' "$((i + 1))")"; done

plan() { "$batch" "${recursive[@]}" --name 'w_{nr:5}' --existing number --dry-run "$work/src" "$work/dst" > "$work/plan.txt"; }
plan_headers() {
  "$batch" "${recursive[@]}" --name '{data:%Y%m%d_%H%M%S}_{szer}x{wys}_{nr:5}' --existing number --dry-run "$work/src" "$work/dst" \
    > "$work/plan.txt"
}
for what in plan plan_headers; do
  "$what"
  best=
  for ((r = 0; r < repeats; r++)); do
    start=$(date +%s.%N)
    "$what"
    t=$(echo "$(date +%s.%N) - $start" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
  done
  printf '%s: %d files, least of %d: %.3f s (%s lines)\n' "$what" "$files" "$repeats" "$best" "$(wc -l < "$work/plan.txt")"
done
