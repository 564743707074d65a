// The colour step over bytes taken as a source's ICC profile (LittleCMS parses them) and as its XMP
// segment (the photoshop:ICCProfile rename). The first byte picks how the picture is stored.
// Run: build/fuzz/fuzz/colour_fuzz /usr/share/color/icc
#include <cstddef>
#include <cstdint>

#include "imaging/colour.h"
#include "imaging/colourtags.h"
#include "metadata/jpegsegments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  using velmora::StoredColour;
  const StoredColour kinds[] = {StoredColour::kRgb, StoredColour::kGrey, StoredColour::kCmyk,
                                StoredColour::kInvertedCmyk};
  const StoredColour stored = kinds[data[0] % 4];
  const velmora::ByteView profile(std::span<const std::uint8_t>(data + 1, size - 1));
  const velmora::ColourConversion colour(stored, profile, profile);
  QImage picture(7, 3, QImage::Format_RGB32);
  picture.fill(0xFF336699);
  colour.Apply(picture);

  velmora::TImgData img;
  velmora::Bytes segment(data, data + size);
  if (segment.size() >= 2) {
    segment[0] = static_cast<std::uint8_t>(segment.size() >> 8);
    segment[1] = static_cast<std::uint8_t>(segment.size());
  }
  img.xmpSegments.push_back(segment);
  velmora::TOutputOptions options;
  options.metadata = true;
  options.convertedToSrgb = velmora::SrgbConversion();
  (void)velmora::MakeOutputMetadata(img, options);
  return 0;
}
