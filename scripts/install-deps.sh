#!/usr/bin/env bash
# Installs everything Velmora needs to build, run, test and benchmark on Debian 12. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools
  libjpeg62-turbo-dev libjpeg-turbo-progs
  # colour conversion; the CMYK profile used when a CMYK picture has none (run time)
  liblcms2-dev libgs-common
  # the input formats besides JPEG
  libheif-dev libpng-dev libtiff-dev libwebp-dev
  # the output formats besides JPEG (libwebp-dev also holds the mux library)
  libavif-dev
  libgtest-dev libgmock-dev
  fonts-liberation fonts-dejavu-core
  # outside checkers and peers used by tests and benchmarks
  imagemagick libimage-exiftool-perl exiv2 libvips-tools
  # jpgicc and tificc, the colour benchmark's peers; the profiles of its pictures and of the colour tests
  liblcms2-utils icc-profiles-free colord-data
  # heif-convert, the reference decode of HEIF sources; dwebp and avifdec, of the other outputs
  libheif-examples webp libavif-bin
  # the job runner of the split run in bench/report.sh (xargs -P without it)
  parallel
  # fuzzing (clang with its sanitizer runtimes) and a virtual display for screenshots
  clang libclang-rt-14-dev xvfb xauth
  # peak memory in the benchmark
  time
  # Qt's own dialogs in Polish (run time); a window manager and X access for the dialog placement test
  qt6-translations-l10n openbox libxcb1-dev
  # the Debian package: dpkg-shlibdeps needs file; its checks
  file desktop-file-utils appstream groff-base
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then missing+=("$p"); fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
