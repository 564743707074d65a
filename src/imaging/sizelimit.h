#pragma once

// The file-size limit: the highest quality whose file, metadata included, fits, found by encoding the
// one scaled picture again (never decoding the source twice).

#include <QImage>
#include <cstdint>
#include <functional>

#include "imaging/jpegcodec.h"
#include "base/bytes.h"

namespace velmora {

inline constexpr int kMaxLimitEncodes = 7;

struct FittedFile {
  Bytes bytes;      // the file to write, finished (metadata included)
  int quality = 0;  // the quality it was encoded at
  bool fits = false;
  int encodes = 0;  // how many encodes the search took
};

// Turns an encoded picture into the file to write (adds the metadata).
using FinishFile = std::function<Bytes(Bytes encoded)>;

// Searches the whole-number qualities from options.quality down to floorQuality (or options.quality,
// when that is lower) for the highest whose finished file is at most maxBytes, in at most
// kMaxLimitEncodes encodes. The metadata is finished once, and its size taken as the same at every
// quality. When even the lowest does not fit, the file at the lowest quality is returned with fits false.
FittedFile EncodeWithinLimit(const QImage& picture, const EncoderOptions& options, std::uint64_t maxBytes,
                             int floorQuality, const FinishFile& finish);

// The same search over any encoder: the picture encoded at a quality.
using EncodeAt = std::function<Bytes(int quality)>;
// The JPEG encoder with these options but the quality.
EncodeAt JpegEncodeAt(const QImage& picture, const EncoderOptions& options);
FittedFile EncodeWithinLimit(int quality, std::uint64_t maxBytes, int floorQuality, const EncodeAt& encode,
                             const FinishFile& finish);

}  // namespace velmora
