#!/usr/bin/env bash
# The run's report at scale (`bench/report.sh`): velmora-batch --keep-going --report over FILES (default
# 1,000) small pictures (links to a few bundled samples, one in a hundred broken), then the same job split
# into CHUNKS (default 4) lists run by xargs -P 2 (GNU parallel when installed), each with its own
# report, into one destination. Checks that each report parses with `python3 -m json.tool --json-lines`,
# that its summary counts equal its lines, that the split reports' union lists every file once with the
# single run's statuses, and that both destinations hold the same files byte for byte. Prints the
# figures, and the time of the single run without the report. BUILD=build/asan uses another build (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."

batch=${BUILD:-build/release}/src/cli/velmora-batch
files=${FILES:-1000}
chunks=${CHUNKS:-4}
work=bench/out-report
[ -x "$batch" ] || { echo "bench: build velmora-batch first ($batch)" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/src"
samples=(sanyo_sr662.jpg olympus_x2.jpg canon_powershot_s330_quicktime.jpg canon_powershot_s40.jpg synthetic_greyscale.jpg)
for ((i = 0; i < files; i++)); do
  name=$(printf 'IMG_%04d.jpg' "$i")
  if ((i % 100 == 99)); then
    printf 'to nie jest JPEG' >"$work/src/$name"
  else
    ln -s "$PWD/tests/data/samples/${samples[i % ${#samples[@]}]}" "$work/src/$name"
  fi
done
(cd "$work/src" && ls) >"$work/all.txt"

# check REPORT: parses, and its summary counts equal its lines; prints the counts.
check() {
  python3 -m json.tool --json-lines "$1" >/dev/null
  python3 - "$1" <<'PY'
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
summary = lines[-1]["summary"]
files = lines[:-1]
for status in ("written", "skipped", "failed"):
    assert summary[status] == sum(f["status"] == status for f in files), status
assert all("summary" not in f for f in files)
print(f"{len(files)} lines, written {summary['written']}, failed {summary['failed']}, "
      f"total {summary['total']}, end {summary['end']}, {summary['ms']:.0f} ms")
PY
}

start=$(date +%s.%N)
status=0
"$batch" --keep-going --size 320 --report "$work/one.jsonl" --files-from "$work/all.txt" \
  "$work/src" "$work/one" 2>"$work/one.err" || status=$?
end=$(date +%s.%N)
echo "single run: exit $status, $(python3 -c "print(f'{$end - $start:.2f}')") s wall"
echo "  $(check "$work/one.jsonl")"
echo "  stderr: $(tail -1 "$work/one.err")"

# The same run without the report: what writing it costs.
start=$(date +%s.%N)
"$batch" --keep-going --size 320 --files-from "$work/all.txt" "$work/src" "$work/plain" 2>/dev/null || true
end=$(date +%s.%N)
echo "the same run without --report: $(python3 -c "print(f'{$end - $start:.2f}')") s wall; report $(wc -c <"$work/one.jsonl") bytes"

# The same job in chunks, one process per chunk with one worker each: as a job runner over machines.
split -n "l/$chunks" -d "$work/all.txt" "$work/chunk."
start=$(date +%s.%N)
run_chunk='"$0" --keep-going --jobs 1 --size 320 --report "$1.jsonl" --files-from "$1" "$2/src" "$2/split" 2>/dev/null'
if command -v parallel >/dev/null; then
  parallel -j 2 "$batch --keep-going --jobs 1 --size 320 --report {}.jsonl --files-from {} $work/src $work/split 2>/dev/null" \
    ::: "$work"/chunk.?? || status=$?
else
  printf '%s\n' "$work"/chunk.?? | xargs -P 2 -I{} sh -c "$run_chunk" "$batch" {} "$work" || status=$?
fi
end=$(date +%s.%N)
echo "$chunks chunks, 2 at a time: exit $status, $(python3 -c "print(f'{$end - $start:.2f}')") s wall"
for report in "$work"/chunk.??.jsonl; do echo "  $(basename "$report"): $(check "$report")"; done
python3 - "$work/one.jsonl" "$work"/chunk.??.jsonl <<'PY'
import json, sys
def files(path):
    return {l["source"]: l["status"] for l in map(json.loads, open(path, encoding="utf-8")) if "summary" not in l}
one = files(sys.argv[1])
union = {}
for path in sys.argv[2:]:
    part = files(path)
    assert not union.keys() & part.keys(), "a file in two chunks"
    union.update(part)
assert union == one, "the chunks' reports differ from the single run's"
print(f"  union of the chunks' reports: {len(union)} files, statuses equal to the single run's")
PY
diff -r "$work/one" "$work/split" >/dev/null && echo "  destinations: the same $(ls "$work/one" | wc -l) files, byte for byte"
