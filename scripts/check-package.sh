#!/usr/bin/env bash
# Checks the Debian package that "make package" built: its file list, its dependencies, the desktop entry
# (desktop-file-validate), the AppStream metainfo (appstreamcli), the man page, and velmora-batch --help run
# from the unpacked package. Usage: scripts/check-package.sh [build/velmora_<version>_amd64.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
shopt -s nullglob
debs=("${1:-}")
if [ -z "${debs[0]}" ]; then debs=(build/velmora_*_amd64.deb); fi
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "check-package: expected one package, found: ${debs[*]:-none} (run make package)" >&2
  exit 1
fi
deb=${debs[0]}
id=app.velmora.Velmora
failed=0
fail() { echo "check-package: $*" >&2; failed=1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The files, exactly.
expected=(
  ./usr/bin/velmora
  ./usr/bin/velmora-batch
  ./usr/share/applications/$id.desktop
  ./usr/share/icons/hicolor/scalable/apps/$id.svg
  ./usr/share/man/man1/velmora-batch.1.gz
  ./usr/share/metainfo/$id.metainfo.xml
)
for size in 16 22 24 32 48 64 128 256; do expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"); done
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort > "$work/files"
printf '%s\n' "${expected[@]}" | sort > "$work/expected"
diff -u "$work/expected" "$work/files" || fail "the file list differs from the expected one (above)"

# What the programs need besides what dpkg-shlibdeps finds.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in fonts-liberation qt6-translations-l10n libgs-common libqt6widgets6 libqt6gui6 libjpeg62-turbo liblcms2-2 \
           libheif1 libpng16-16 libtiff6 libwebp7 libwebpdemux2 libwebpmux3 libavif15; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
[ "$(basename "$deb")" = "velmora_$(dpkg-deb -f "$deb" Version)_amd64.deb" ] || fail "unexpected file name $deb"

dpkg-deb -x "$deb" "$work/root"
root=$work/root
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
grep -qx "Exec=velmora %F" "$root/usr/share/applications/$id.desktop" || fail "the desktop entry does not run velmora"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
version=$(dpkg-deb -f "$deb" Version)
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the metainfo has no release $version"

# Every library the programs link is there.
for program in velmora velmora-batch; do
  if ldd "$root/usr/bin/$program" | grep -q "not found"; then fail "$program: $(ldd "$root/usr/bin/$program" | grep 'not found')"; fi
done

# velmora-batch from the package, and its man page saying the same.
"$root/usr/bin/velmora-batch" --help > "$work/help" || fail "velmora-batch --help failed"
grep -q "^Użycie: velmora-batch" "$work/help" || fail "velmora-batch --help printed no usage"
zcat "$root/usr/share/man/man1/velmora-batch.1.gz" > "$work/man"
# As man formats it for a UTF-8 terminal and for plain ASCII (LANG=C), with no help from preconv.
for device in utf8 ascii; do
  if ! LC_ALL=C groff -man -T$device -ww -z "$work/man" 2> "$work/groff" || [ -s "$work/groff" ]; then
    cat "$work/groff" >&2
    fail "the man page does not format cleanly (-T$device)"
  fi
done
# Each option of the help has its own item (".TP", then ".B --option" or ".BI --option ...").
awk 'item { print $2; item = 0 } /^\.TP/ { item = 1 }' "$work/man" | sed 's/\\-/-/g' | sort -u > "$work/items"
for option in $(grep -oE -- '--[a-z][a-z-]*' "$work/help" | sort -u); do
  grep -qxF -- "$option" "$work/items" || fail "the man page has no item for $option"
done
grep -q "$version" "$work/man" || fail "the man page does not name version $version"

# A real run: a JPEG scaled by the packaged velmora-batch.
mkdir -p "$work/in"
cp tests/data/samples/synthetic_progressive.jpg "$work/in/p.jpg"
"$root/usr/bin/velmora-batch" --size 64 "$work/in" "$work/out" 2> "$work/run" || { cat "$work/run" >&2; fail "velmora-batch run"; }
[ -s "$work/out/_p.jpg" ] || fail "velmora-batch wrote no _p.jpg"

if [ $failed -ne 0 ]; then exit 1; fi
echo "check-package: $deb: files, Depends, desktop entry, metainfo, man page and velmora-batch all right"
