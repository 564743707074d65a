#pragma once

// The one reader of JPEG marker segments: the metadata scan, the merge of an encoded picture with
// its metadata and the thumbnail's turn all walk segments through it, by the same rules. Fill bytes
// 0xFF before a marker are passed over; any other byte where a marker should stand is taken as the
// marker (JpegSegment::fill tells it); a length below 2 or a segment cut short ends the walk with
// nothing half-read; SOS and EOI are the last segments.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "base/bytes.h"

namespace velmora {

struct JpegSegment {
  std::uint8_t marker = 0;
  std::size_t start = 0;  // position of the marker byte
  std::size_t fill = 0;   // 0xFF bytes before the marker byte; 0: it stood where a 0xFF should have
  ByteView data;          // the length field and the payload; empty for EOI
  std::size_t end() const { return start + 1 + data.size(); }
  ByteView payload() const { return data.sub(2, data.size() - 2); }
  // The payload starts with the identifier and its zero byte.
  bool HasIdentifier(std::string_view id) const;
};

// Why the walk ended.
enum class JpegWalkEnd {
  kNotYet,      // segments may follow
  kNoSoi,       // the bytes do not start with SOI
  kScan,        // after the scan header (SOS)
  kEoi,         // after EOI
  kData,        // the bytes ended between two segments
  kCutHeader,   // the bytes ended inside fill bytes or a length field
  kCutSegment,  // a length below 2, or one that runs past the end
  kBudget,      // no segment starts past the byte budget
};

class JpegSegmentReader {
 public:
  // No segment starts past `budget` bytes from the start of `jpeg`.
  explicit JpegSegmentReader(ByteView jpeg, std::size_t budget = std::numeric_limits<std::size_t>::max());

  // The next segment; nothing once the walk has ended (end() says why).
  std::optional<JpegSegment> Next();
  JpegWalkEnd End() const { return end_; }
  // Where the walk stands: after the last segment, or where it stopped.
  std::size_t Position() const { return pos_; }

 private:
  ByteView jpeg_;
  std::size_t budget_;
  std::size_t pos_ = 2;
  JpegWalkEnd end_ = JpegWalkEnd::kNotYet;
};

}  // namespace velmora
