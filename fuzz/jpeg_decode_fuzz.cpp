// libFuzzer target for the JPEG decoder: whole and streamed decode of arbitrary bytes. Only the
// codec's own error type is caught, so any other exception, a crash or a sanitizer report shows.
//
//   build/fuzz/fuzz/jpeg_decode_fuzz -max_len=65536 fuzz/corpus-work tests/data/samples

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/jpegcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A small cap keeps each run fast; the cap check itself is part of what is fuzzed.
  constexpr std::uint64_t kFuzzMaxPixels = 4'000'000;
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    velmora::decodeJpeg(bytes, kFuzzMaxPixels);
  } catch (const velmora::ImagingError&) {
  }
  // A tight memory budget, so the estimate and its refusal are fuzzed too, and no run holds much.
  const auto gate = [](std::uint64_t need) {
    if (need > (std::uint64_t{64} << 20)) throw velmora::JpegError(velmora::tooMuchMemoryMessage(need));
  };
  try {
    velmora::decodeJpegScaled(
        bytes, [](QSize full) { return QSize(full.width() / 3 + 1, full.height() / 5 + 1); }, kFuzzMaxPixels, gate);
  } catch (const velmora::ImagingError&) {
  }
  return 0;
}
