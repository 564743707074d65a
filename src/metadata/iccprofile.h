#pragma once

// The ICC colour profile of a JPEG file: APP2 segments "ICC_PROFILE\0", each holding a sequence
// number (from 1), the chunk count and one chunk of the profile, reassembled in sequence order; and
// the same segments written again for a profile.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/bytes.h"

namespace velmora {

// The chunk header after the APP2 length field: "ICC_PROFILE\0", sequence number, count.
inline constexpr std::size_t kIccHeaderBytes = 14;
// Profile bytes one APP2 segment holds: 65,535 less the length field and the chunk header.
inline constexpr std::size_t kIccChunkBytes = 65535 - 2 - kIccHeaderBytes;
// Larger profiles are not carried; no JPEG can hold more than 255 chunks anyway.
inline constexpr std::size_t kMaxIccProfileBytes = std::size_t{16} << 20;

// Collects the chunks of the APP2 ICC segments in file order; Assemble puts them together.
class TIccChunks {
 public:
  // Takes one APP2 segment's data (length field and payload). False when it is no ICC segment.
  bool Add(ByteView app2Data);
  // The profile, when every chunk 1 to count came exactly once with the same count and the whole
  // stays within kMaxIccProfileBytes; nothing otherwise (and nothing when no chunk came).
  std::optional<Bytes> Assemble() const;

 private:
  struct Chunk {
    int sequence;
    Bytes data;
  };
  std::vector<Chunk> chunks_;
  int count_ = 0;
  std::size_t bytes_ = 0;
  bool broken_ = false;
};

// True when the profile's header says its data colour space is RGB ("RGB " at bytes 16 to 19).
bool IsRgbProfile(ByteView profile);

// Writes the profile as APP2 segments of at most kIccChunkBytes profile bytes each. Returns false,
// writing nothing, for an empty profile or one that needs more than 255 segments.
bool WriteIccSegments(ByteWriter& out, ByteView profile);

}  // namespace velmora
