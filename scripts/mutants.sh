#!/usr/bin/env bash
# The mutation run: COUNT (default 2,000) damaged copies of the sample photos of tests/data/samples,
# each read by libjpeg-turbo's djpeg and by Velmora's decoder; it fails when any mutant would be
# published garbled (JpegCodec.MutantsFailOrDecodeAsDjpegDoes, which CI runs over 60). SEED picks
# another set of mutants; BUILD another build folder (BUILD=build/asan runs it under the sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/release}
command -v djpeg >/dev/null || { echo "mutants: djpeg is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
if [ ! -f "$build/build.ninja" ]; then cmake --preset "$(basename "$build")"; fi
cmake --build "$build" --target imaging_tests
VELMORA_MUTANTS=${COUNT:-2000} VELMORA_MUTANT_SEED=${SEED:-19} QT_QPA_PLATFORM=offscreen \
  "$build/tests/imaging_tests" --gtest_filter='JpegCodec.MutantsFailOrDecodeAsDjpegDoes'
