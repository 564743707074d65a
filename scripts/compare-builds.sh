#!/usr/bin/env bash
# Runs two builds of velmora-batch over the same pictures with the same options and reports every
# difference in what they write: the set of output files, the decoded pixels (djpeg) and every tag
# exiftool reads (exiftool -a -G1 -s, without the file system's own tags). Messages on stderr are
# compared too (the summary's times left out) and listed, but only the outputs decide the exit status.
#
#   scripts/compare-builds.sh OLD_VELMORA_BATCH NEW_VELMORA_BATCH [FOLDER...]
#
# FOLDER defaults to tests/data (every .jpg and .jpeg under it) and /work/shared/samples when it
# exists. KEEP=1 keeps the work folder and prints where it is. Exit status: 0 no difference in the
# outputs, 1 differences, 2 bad use or a missing tool.
set -u

if [ $# -lt 2 ]; then
  echo "usage: $0 OLD_VELMORA_BATCH NEW_VELMORA_BATCH [FOLDER...]" >&2
  exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
folders=("$@")
if [ ${#folders[@]} -eq 0 ]; then
  folders=("$root/tests/data")
  [ -d /work/shared/samples ] && folders+=(/work/shared/samples)
fi
for tool in djpeg exiftool cmp; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 2; }
done
for exe in "$old" "$new"; do
  [ -x "$exe" ] || { echo "$0: $exe is not a program" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-compare.XXXXXX")
if [ "${KEEP:-0}" = 1 ]; then echo "work folder: $work"; else trap 'rm -rf "$work"' EXIT; fi

# Every picture once, under a name that tells its folder apart (two folders may hold the same name).
mkdir -p "$work/in"
count=0
for folder in "${folders[@]}"; do
  tag=$(basename "$folder")
  while IFS= read -r -d '' file; do
    rel=${file#"$folder"/}
    ln -s "$file" "$work/in/${tag}__${rel//\//__}"
    count=$((count + 1))
  done < <(find "$folder" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -print0 | sort -z)
done
echo "pictures: $count from ${folders[*]}"

# The caption as the window would store it, with every style key the stamper reads.
printf '%s\r' 'podpis=Zażółć gęślą jaźń 2024' 'font=Liberation Serif' 'font size=20' 'font color=255' \
  'font bold=T' 'font italic=N' 'kolor tła podpisu=16777215' 'TloNegatywowe=T' >"$work/caption.props"

runs=(
  "plain|"
  "exif|--exif"
  "exif-strip-gps|--exif --strip-gps"
  "caption|--caption --settings $work/caption.props"
  "no-rotate|--no-rotate"
  "exif-no-rotate|--exif --no-rotate"
  "exif-caption|--exif --caption --settings $work/caption.props"
)

differences=0
messages=0
identical=0
same=0
report() {
  echo "  $1"
  differences=$((differences + 1))
}

# Tags of every file of a folder, one "name<TAB>line" per tag, without the file system's tags.
tags_of() {
  exiftool -a -G1 -s -api largefilesupport=1 -ext jpg -ext jpeg "$1" 2>&1 |
    awk '/^======== /{name=$2; sub(".*/", "", name); next}
         /^\[System\] +(FileName|Directory|FileModifyDate|FileAccessDate|FileInodeChangeDate|FilePermissions) /{next}
         /^ *[0-9]+ (image files|directories)/{next}
         {print name "\t" $0}' | sort
}

for run in "${runs[@]}"; do
  name=${run%%|*}
  read -r -a options <<<"${run#*|}"
  echo "run $name: ${options[*]:-(no options)}"
  for side in old new; do
    exe=$old
    [ $side = new ] && exe=$new
    mkdir -p "$work/$side/$name"
    # The same clean configuration for both, so neither reads a user's settings.
    XDG_CONFIG_HOME="$work/config-$side" "$exe" --keep-going "${options[@]}" "$work/in" "$work/$side/$name" \
      >"$work/$side/$name.out" 2>"$work/$side/$name.err"
    echo "exit $?" >>"$work/$side/$name.err"
    # Files finish in any order on several workers: the progress count and the times are left out.
    sed -i -E -e 's/^[0-9]+\/[0-9]+ //' -e 's/; [0-9]+[.,][0-9]+ s, [0-9]+[.,][0-9]+ zdj\.\/s$//' "$work/$side/$name.err"
  done
  if ! diff -q <(ls "$work/old/$name") <(ls "$work/new/$name") >/dev/null; then
    report "files written differ: $(diff <(ls "$work/old/$name") <(ls "$work/new/$name") | grep '^[<>]' | tr '\n' ' ')"
  fi
  if ! cmp -s <(sort "$work/old/$name.err") <(sort "$work/new/$name.err"); then
    echo "  messages differ:"
    diff <(sort "$work/old/$name.err") <(sort "$work/new/$name.err") | grep '^[<>]' | sed 's/^/    /'
    messages=$((messages + 1))
  fi
  tags_of "$work/old/$name" >"$work/old/$name.tags"
  tags_of "$work/new/$name" >"$work/new/$name.tags"
  for file in "$work/old/$name"/*; do
    [ -e "$file" ] || continue
    base=$(basename "$file")
    other="$work/new/$name/$base"
    [ -e "$other" ] || continue
    if cmp -s "$file" "$other"; then
      identical=$((identical + 1))
      continue
    fi
    if ! cmp -s <(djpeg -pnm "$file" 2>&1) <(djpeg -pnm "$other" 2>&1); then
      report "$name/$base: decoded pixels differ"
    elif ! cmp -s <(grep -F "$base	" "$work/old/$name.tags") <(grep -F "$base	" "$work/new/$name.tags"); then
      report "$name/$base: tags differ:"
      diff <(grep -F "$base	" "$work/old/$name.tags" | cut -f2-) <(grep -F "$base	" "$work/new/$name.tags" | cut -f2-) |
        grep '^[<>]' | sed 's/^/      /'
    else
      same=$((same + 1))
    fi
  done
done

echo "outputs byte for byte the same: $identical; other bytes, same pixels and tags: $same; differences: $differences;" \
  "runs whose messages differ: $messages"
[ $differences -eq 0 ]
