#include "imaging/sizelimit.h"

#include <algorithm>
#include <optional>

namespace velmora {

FittedFile EncodeWithinLimit(const QImage& picture, const EncoderOptions& options, std::uint64_t maxBytes,
                             int floorQuality, const FinishFile& finish) {
  return EncodeWithinLimit(options.quality, maxBytes, floorQuality, JpegEncodeAt(picture, options), finish);
}

EncodeAt JpegEncodeAt(const QImage& picture, const EncoderOptions& options) {
  return [&picture, options](int quality) {
    EncoderOptions at = options;
    at.quality = quality;
    return encodeJpeg(picture, at);
  };
}

FittedFile EncodeWithinLimit(int quality, std::uint64_t maxBytes, int floorQuality, const EncodeAt& encode,
                             const FinishFile& finish) {
  FittedFile result;
  int lo = std::min(floorQuality, quality);  // every quality below lo is known not to be needed
  int hi = quality;
  // The metadata's share, from the first finished file; the qualities only change the picture's bytes.
  std::optional<std::int64_t> overhead;
  std::optional<Bytes> best;  // encoded bytes of the highest fitting quality so far
  int bestQuality = 0;
  Bytes lowest;  // the encoding at the floor, written when nothing fits
  int probes = kMaxLimitEncodes;
  // Answers still open: "fits at q" for q in [lo, hi], or "none above what is known" (best or nothing).
  // Probing as high as the remaining probes allow answers a file that fits at its ceiling in few encodes
  // and any file within seven: 2^7 covers the 92 answers of the range 10 to 100.
  while (lo <= hi && probes > 0) {
    const int q = std::min(hi, lo - 1 + (1 << (probes - 1)));
    --probes;
    Bytes encoded = encode(q);
    ++result.encodes;
    if (!overhead) {
      const Bytes finished = finish(encoded);
      overhead = static_cast<std::int64_t>(finished.size()) - static_cast<std::int64_t>(encoded.size());
    }
    const std::int64_t size = static_cast<std::int64_t>(encoded.size()) + *overhead;
    if (size <= static_cast<std::int64_t>(maxBytes)) {
      best = std::move(encoded);
      bestQuality = q;
      lo = q + 1;
    } else {
      if (q == std::min(floorQuality, quality)) lowest = std::move(encoded);
      hi = q - 1;
    }
  }
  if (best) {
    result.bytes = finish(std::move(*best));
    result.quality = bestQuality;
    result.fits = result.bytes.size() <= maxBytes;
  } else {
    if (lowest.empty()) {
      lowest = encode(std::min(floorQuality, quality));
      ++result.encodes;
    }
    result.bytes = finish(std::move(lowest));
    result.quality = std::min(floorQuality, quality);
  }
  return result;
}

}  // namespace velmora
