#!/usr/bin/env bash
# The comparison run of two builds of velmora-batch: a change meant to keep behaviour must keep every
# output of every sample picture, in every option set, exactly.
#
#   scripts/compare-builds.sh [--samples DIR] [--size N] [--show N] [--keep] OLD NEW
#
# OLD and NEW are each a velmora-batch executable (a path) or a git revision (main, a branch, a commit);
# a revision is exported with git archive and built (release, target velmora-batch, through ccache when
# it is installed) in build/compare-<commit>/, which later runs reuse.
#
# Every picture (*.jpg, *.jpeg) under tests/data and in the samples folder (--samples DIR, else
# $VELMORA_SAMPLES, else ../shared/samples beside the main checkout) is copied to a temporary folder and
# run through each build alone (one process per picture, --jobs 1, --size 800 unless --size N), with
# the option sets plain, --exif, --exif --strip-gps, --caption (text "Próba ©", from a settings file
# of its own), --caption with an added graphic on a negative background, and --no-rotate. Per
# picture it compares:
# - the exit status and stderr (the run's time and rate left out);
# - which outputs exist;
# - the decoded pixels: djpeg -pnm of both outputs, byte for byte (djpeg's warnings too);
# - every metadata tag: exiftool -j -b -a -G1 -n, so binary values (the thumbnail, a maker note's
#   blocks) are compared too, and the order of the tags with them; of the file system's own tags only
#   FileSize is kept.
# Outputs that are byte for byte equal are counted and not decoded. One line per option set, e.g.
#   exif: 99 files, 0 pixel diffs, 0 tag diffs, 0 exit/stderr diffs, 0 presence diffs; 94 outputs, 94 byte-identical
# is followed by its first differences (--show N, default 5, of each kind). Exit status: 0 when nothing
# differs, 1 when anything does (the temporary folder is then kept and named), 2 for a bad command
# line or a failed build. --keep keeps the temporary folder in any case.
set -euo pipefail

usage() {
  sed -n 's|^#   \(scripts/compare-builds.sh .*\)|usage: \1|p' "$0" >&2
  exit 2
}

repo=$(cd "$(dirname "$0")/.." && pwd)
common_dir=$(git -C "$repo" rev-parse --path-format=absolute --git-common-dir 2>/dev/null || echo "$repo/.git")
main_checkout=$(dirname "$common_dir")
samples=${VELMORA_SAMPLES:-$main_checkout/../shared/samples}
size=800
show=5
keep=0
builds=()
while [ $# -gt 0 ]; do
  case $1 in
    --samples) [ $# -ge 2 ] || usage; samples=$2; shift 2 ;;
    --size) [ $# -ge 2 ] || usage; size=$2; shift 2 ;;
    --show) [ $# -ge 2 ] || usage; show=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 0 ;;
    -*) usage ;;
    *) builds+=("$1"); shift ;;
  esac
done
[ ${#builds[@]} -eq 2 ] || usage

fail() {
  echo "compare-builds: $*" >&2
  exit 2
}

for tool in djpeg exiftool convert git cmake; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -d "$samples" ] || fail "no samples folder \"$samples\" (give --samples DIR or VELMORA_SAMPLES)"
samples=$(cd "$samples" && pwd)

# A revision is built once per commit; its sources come from git, so no worktree is touched.
build_revision() {
  local commit dir launcher=()
  commit=$(git -C "$repo" rev-parse --verify --quiet "$1^{commit}") || fail "\"$1\" is neither a file nor a git revision"
  dir=$repo/build/compare-${commit:0:12}
  built=$dir/src/build/release/src/cli/velmora-batch
  [ -x "$built" ] && return
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  echo "compare-builds: building $1 (${commit:0:12}) in ${dir#"$repo"/}" >&2
  rm -rf "$dir" && mkdir -p "$dir/src"
  git -C "$repo" archive "$commit" | tar -x -C "$dir/src"
  if ! (cd "$dir/src" && cmake --preset release "${launcher[@]}" && cmake --build --preset release --target velmora-batch) \
    >"$dir/build.log" 2>&1; then
    tail -n 30 "$dir/build.log" >&2
    fail "building $1 failed (${dir#"$repo"/}/build.log)"
  fi
  [ -x "$built" ] || fail "building $1 made no ${built#"$dir"/}"
}

exes=()
for b in "${builds[@]}"; do
  if [ -f "$b" ]; then
    [ -x "$b" ] || fail "\"$b\" is not executable"
    exes+=("$(cd "$(dirname "$b")" && pwd)/$(basename "$b")")
  else
    build_revision "$b"
    exes+=("$built")
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/compare-builds.XXXXXX")
cleanup() { if [ "$keep" = 0 ]; then rm -rf "$work"; fi; }
trap cleanup EXIT

printf 'podpis=Próba ©\r' >"$work/caption.props"
convert -size 40x24 gradient:red-blue -type truecolor "BMP3:$work/graphic.bmp"
printf 'podpis=Próba ©\rdodana grafika=%s\rTloNegatywowe=T\r' "$work/graphic.bmp" >"$work/caption-graphic.props"
set_names=(plain exif exif-strip-gps caption caption-graphic no-rotate)
options_of() {
  case $1 in
    plain) opts=() ;;
    exif) opts=(--exif) ;;
    exif-strip-gps) opts=(--exif --strip-gps) ;;
    caption) opts=(--caption --settings "$work/caption.props") ;;
    caption-graphic) opts=(--caption --settings "$work/caption-graphic.props") ;;
    no-rotate) opts=(--no-rotate) ;;
  esac
}

# Relative paths of the pictures: data/... from tests/data, samples/... from the samples folder.
copy_sources() {
  rm -rf "$work/src"
  mkdir -p "$work/src/data" "$work/src/samples"
  (cd "$repo/tests/data" && find . -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -exec cp --parents {} "$work/src/data/" \;)
  find "$samples" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -exec cp {} "$work/src/samples/" \;
}
copy_sources
files_in() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }
mapfile -t pictures < <(files_in "$work/src")

# Both builds write to the same paths (moved aside afterwards), so their messages can be compared as
# they are; only the run's time and rate differ from run to run.
run_build() {
  local exe=$1 side=$2 set rel dir name out log status opts
  for set in "${set_names[@]}"; do
    echo "compare-builds: $side $set" >&2
    options_of "$set"
    for rel in "${pictures[@]}"; do
      dir=$(dirname "$rel") name=$(basename "$rel")
      out=$work/out/$set/files/$dir log=$work/out/$set/log/$rel
      mkdir -p "$out" "$(dirname "$log")"
      status=0
      "$exe" --jobs 1 --size "$size" "${opts[@]}" "$work/src/$dir" "$out" "$name" >/dev/null 2>"$log.err" || status=$?
      { echo "exit $status"; sed -E 's/; [^;]* s, [^ ]* zdj\.\/s$/; (czas)/' "$log.err"; } >"$log"
      rm "$log.err"
    done
  done
  mv "$work/out" "$work/$side"
}

echo "compare-builds: ${#pictures[@]} pictures, ${#set_names[@]} option sets, --size $size" >&2
echo "compare-builds: old ${exes[0]}" >&2
run_build "${exes[0]}" old
copy_sources
echo "compare-builds: new ${exes[1]}" >&2
run_build "${exes[1]}" new

# Tags of the outputs in LIST (relative to DIR), one JSON file each beside DIR.
extract_tags() {
  local dir=$1 list=$2
  [ -s "$list" ] || return 0
  (cd "$dir/files" && exiftool -q -q -j -b -a -G1 -n -w "../tags/%d%f.%e.json" \
    --System:FileName --System:Directory --System:FileModifyDate --System:FileAccessDate \
    --System:FileInodeChangeDate --System:FilePermissions -@ "$list") || true
}

tags_of() { if [ -f "$1/tags/$2.json" ]; then cat "$1/tags/$2.json"; fi; }

# The lines of two files that differ, "<" old and ">" new, cut short (a thumbnail is one long line).
changed_lines() {
  { diff "$1" "$2" || true; } | sed -En 's/^([<>] .{0,150}).*/    \1/p'
}

differences=0
for name in "${set_names[@]}"; do
  old=$work/old/$name new=$work/new/$name report=$work/report-$name
  : >"$report.pixels"; : >"$report.tags"; : >"$report.exit-stderr"; : >"$report.presence"; : >"$work/differing"
  status_diffs=0 output_diffs=0 pixel_diffs=0 tag_diffs=0 identical=0
  for rel in "${pictures[@]}"; do
    if ! cmp -s "$old/log/$rel" "$new/log/$rel"; then
      status_diffs=$((status_diffs + 1))
      { echo "  $rel:"; changed_lines "$old/log/$rel" "$new/log/$rel"; } >>"$report.exit-stderr"
    fi
  done
  outputs=$(comm -12 <(files_in "$old/files") <(files_in "$new/files"))
  while read -r line; do
    [ -n "$line" ] || continue
    output_diffs=$((output_diffs + 1))
    echo "  $line" >>"$report.presence"
  done < <(comm -3 <(files_in "$old/files") <(files_in "$new/files") |
    sed -E 's/^\t(.*)/\1: only in new/; t; s/^(.*)$/\1: only in old/')
  count=0
  while read -r rel; do
    [ -n "$rel" ] || continue
    count=$((count + 1))
    if cmp -s "$old/files/$rel" "$new/files/$rel"; then
      identical=$((identical + 1))
      continue
    fi
    echo "$rel" >>"$work/differing"
    # djpeg's messages and status belong to the comparison: a file that stops decoding differs.
    djpeg -pnm "$old/files/$rel" >"$work/old.pnm" 2>"$work/old.djpeg" || echo "exit $?" >>"$work/old.djpeg"
    djpeg -pnm "$new/files/$rel" >"$work/new.pnm" 2>"$work/new.djpeg" || echo "exit $?" >>"$work/new.djpeg"
    if ! cmp -s "$work/old.pnm" "$work/new.pnm" || ! cmp -s "$work/old.djpeg" "$work/new.djpeg"; then
      pixel_diffs=$((pixel_diffs + 1))
      bytes=$( (cmp -l "$work/old.pnm" "$work/new.pnm" 2>/dev/null || true) | wc -l)
      echo "  $rel: decoded pictures differ ($(stat -c %s "$work/old.pnm") and $(stat -c %s "$work/new.pnm") bytes, $bytes of them differ)" >>"$report.pixels"
    fi
  done <<<"$outputs"
  extract_tags "$old" "$work/differing"
  extract_tags "$new" "$work/differing"
  while read -r rel; do
    [ -n "$rel" ] || continue
    # A file exiftool could not read has no tags file; that side then has no tags.
    if ! cmp -s <(tags_of "$old" "$rel") <(tags_of "$new" "$rel"); then
      tag_diffs=$((tag_diffs + 1))
      { echo "  $rel:"; changed_lines <(tags_of "$old" "$rel") <(tags_of "$new" "$rel"); } >>"$report.tags"
    fi
  done <"$work/differing"

  echo "$name: ${#pictures[@]} files, $pixel_diffs pixel diffs, $tag_diffs tag diffs, $status_diffs exit/stderr diffs," \
    "$output_diffs presence diffs; $count outputs, $identical byte-identical"
  for kind in presence exit-stderr pixels tags; do
    if [ -s "$report.$kind" ]; then
      echo " first differences in $kind:"
      # Each difference starts with a line indented by two blanks; the lines below it belong to it.
      awk -v n="$show" '/^  [^ ]/ { k++ } k <= n' "$report.$kind"
    fi
  done
  differences=$((differences + pixel_diffs + tag_diffs + status_diffs + output_diffs))
done

if [ "$differences" -gt 0 ]; then
  keep=1
  echo "compare-builds: $differences differences; outputs, logs and tags kept in $work" >&2
  exit 1
fi
echo "compare-builds: no differences" >&2
