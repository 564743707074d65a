#include "metadata/segmentreader.h"

#include <algorithm>

#include "metadata/jpegmarkers.h"

namespace velmora {

bool JpegSegment::HasIdentifier(std::string_view id) const {
  const auto bytes = data.bytes(2, id.size() + 1);
  return !bytes.empty() && std::equal(id.begin(), id.end(), bytes.begin()) && bytes.back() == 0;
}

JpegSegmentReader::JpegSegmentReader(ByteView jpeg, std::size_t budget) : jpeg_(jpeg), budget_(budget) {
  if (jpeg.u8(0) != 0xFF || jpeg.u8(1) != kMarkerSoi) end_ = JpegWalkEnd::kNoSoi;
}

std::optional<JpegSegment> JpegSegmentReader::Next() {
  if (end_ != JpegWalkEnd::kNotYet) return std::nullopt;
  if (pos_ > budget_) {
    end_ = JpegWalkEnd::kBudget;
    return std::nullopt;
  }
  JpegSegment s;
  std::size_t at = pos_;
  while (jpeg_.u8(at) == 0xFF) ++at;
  if (!jpeg_.has(at, 1)) {
    end_ = at == pos_ ? JpegWalkEnd::kData : JpegWalkEnd::kCutHeader;
    return std::nullopt;
  }
  s.fill = at - pos_;
  s.start = at;
  s.marker = *jpeg_.u8(at);
  if (s.marker == kMarkerEoi) {
    pos_ = at + 1;
    end_ = JpegWalkEnd::kEoi;
    return s;
  }
  const auto length = jpeg_.u16(at + 1, true);
  if (!length) {
    end_ = JpegWalkEnd::kCutHeader;
    pos_ = at;
    return std::nullopt;
  }
  if (*length < 2 || !jpeg_.has(at + 1, *length)) {
    end_ = JpegWalkEnd::kCutSegment;
    pos_ = at;
    return std::nullopt;
  }
  s.data = jpeg_.sub(at + 1, *length);
  pos_ = s.end();
  if (s.marker == kMarkerSos) end_ = JpegWalkEnd::kScan;
  return s;
}

}  // namespace velmora
