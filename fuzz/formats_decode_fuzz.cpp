// libFuzzer target for the decoders of the other source formats (HEIF, PNG, TIFF, WebP) and their
// metadata blocks read through the segment reader. The format comes from the content, as in a run;
// only the imaging error is caught, so any other exception, a crash or a sanitizer report shows.
//
//   build/fuzz/fuzz/formats_decode_fuzz -max_len=65536 fuzz/corpus-work tests/data/formats

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/sourceformat.h"
#include "imaging/sourcepicture.h"
#include "metadata/jpegsegments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const velmora::ByteView bytes(std::span<const std::uint8_t>(data, size));
  const auto format = velmora::formatOfContent(bytes);
  if (!format || *format == velmora::PictureFormat::kJpeg) return 0;
  // A tight budget, so the refusals are fuzzed too and no run holds much.
  const velmora::DecodeLimits limits{4'000'000, [](std::uint64_t need) {
                                       if (need > (std::uint64_t{64} << 20))
                                         throw velmora::ImagingError(velmora::tooMuchMemoryMessage(need));
                                     }};
  try {
    const velmora::DecodedPicture decoded = velmora::decodePicture(bytes, *format, limits);
    std::vector<std::string> dropped;
    velmora::TImgData img;
    img.ScanJpegSegments(velmora::jpegHeaderOf(decoded.metadata, dropped), velmora::kPartsAll | velmora::kPartIcc);
  } catch (const velmora::ImagingError&) {
  } catch (const velmora::EMetadata&) {
  } catch (const velmora::ByteRangeError&) {
  }
  try {
    velmora::decodeEmbeddedPreview(bytes, *format);
  } catch (const velmora::ImagingError&) {
  }
  return 0;
}
