#include "metadata/iccprofile.h"

#include <algorithm>

#include "metadata/jpegmarkers.h"
#include "metadata/segmentreader.h"

namespace velmora {

bool TIccChunks::Add(ByteView app2Data) {
  // After the two length bytes: the identifier, then sequence number and count.
  if (!JpegSegment{.data = app2Data}.HasIdentifier(kIccId)) return false;
  if (broken_) return true;
  const auto sequence = app2Data.u8(3 + kIccId.size());
  const auto count = app2Data.u8(4 + kIccId.size());
  if (!sequence || !count || *count == 0 || *sequence == 0 || *sequence > *count || (count_ != 0 && *count != count_)) {
    broken_ = true;
    return true;
  }
  count_ = *count;
  const auto data = app2Data.bytesUpTo(2 + kIccHeaderBytes, app2Data.size());
  const bool duplicate =
      std::any_of(chunks_.begin(), chunks_.end(), [&](const Chunk& c) { return c.sequence == *sequence; });
  if (duplicate || data.size() > kMaxIccProfileBytes - bytes_) {
    // Stop collecting: the profile will not be carried, so there is no point holding its bytes.
    broken_ = true;
    chunks_.clear();
    return true;
  }
  bytes_ += data.size();
  chunks_.push_back({*sequence, Bytes(data.begin(), data.end())});
  return true;
}

std::optional<Bytes> TIccChunks::Assemble() const {
  if (broken_ || chunks_.empty() || chunks_.size() != static_cast<std::size_t>(count_)) return std::nullopt;
  // Sequence numbers are 1 to count, each once (checked as they came), so sorting leaves no gap.
  std::vector<const Chunk*> order;
  for (const Chunk& c : chunks_) order.push_back(&c);
  std::sort(order.begin(), order.end(), [](const Chunk* a, const Chunk* b) { return a->sequence < b->sequence; });
  Bytes profile;
  profile.reserve(bytes_);
  for (const Chunk* c : order) profile.insert(profile.end(), c->data.begin(), c->data.end());
  return profile;
}

bool IsRgbProfile(ByteView profile) {
  const auto space = profile.bytes(16, 4);
  return !space.empty() && space[0] == 'R' && space[1] == 'G' && space[2] == 'B' && space[3] == ' ';
}

bool WriteIccSegments(ByteWriter& out, ByteView profile) {
  if (profile.empty()) return false;
  const std::size_t count = (profile.size() + kIccChunkBytes - 1) / kIccChunkBytes;
  if (count > 255) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const auto chunk = profile.bytesUpTo(i * kIccChunkBytes, kIccChunkBytes);
    out.u8(0xFF);
    out.u8(kMarkerApp2);
    out.u16(static_cast<std::uint16_t>(2 + kIccHeaderBytes + chunk.size()), true);
    out.text(std::string(kIccId));
    out.u8(0);
    out.u8(static_cast<std::uint8_t>(i + 1));
    out.u8(static_cast<std::uint8_t>(count));
    out.bytes(chunk);
  }
  return true;
}

}  // namespace velmora
