#include "metadata/ifd.h"

#include "metadata/tagentry.h"

namespace velmora {

bool IfdLimits::TakeBytes(std::size_t n) {
  if (n > kMaxBytes - bytes_) {
    bytes_ = kMaxBytes;
    return false;
  }
  bytes_ += n;
  return true;
}

bool IfdLimits::Enter(std::int64_t base, std::int64_t start) {
  visited_.emplace(base, start);
  return ++directories_ <= kMaxDirectories;
}

bool IfdEntry::KnownType() const { return FormatSize(type) != 0; }

IfdEntries::IfdEntries(const IfdPlace& place, IfdLimits* limits, std::size_t maxEntries)
    : place_(place), limits_(limits) {
  if (place.directory < 0) return;
  if (const auto n = place.block.u16(static_cast<std::size_t>(place.directory), place.bigEndian))
    count_ = std::min<std::size_t>(*n, maxEntries);
}

std::int64_t IfdEntries::End() const {
  return place_.directory + 2 + 12 * static_cast<std::int64_t>(count_.value_or(0));
}

std::optional<IfdEntry> IfdEntries::Next() {
  if (done_ || !count_ || index_ >= *count_) return std::nullopt;
  const ByteView block = place_.block;
  const bool be = place_.bigEndian;
  IfdEntry e;
  // At most 2^63 + 2 + 12 * 65535: no overflow in size_t.
  e.at = static_cast<std::size_t>(place_.directory) + 2 + 12 * index_++;
  if (!block.has(e.at, 12) || (limits_ && !limits_->TakeEntry())) {
    done_ = true;
    return std::nullopt;
  }
  e.tag = *block.u16(e.at, be);
  e.type = *block.u16(e.at + 2, be);
  e.count = *block.u32(e.at + 4, be);
  e.field = *block.u32(e.at + 8, be);
  e.byteCount = static_cast<std::uint64_t>(FormatSize(e.type)) * e.count;
  e.valuePos = e.byteCount <= 4 ? static_cast<std::int64_t>(e.at) + 8 : std::int64_t{e.field} + place_.valueBase;
  if (e.valuePos < 0 || !block.has(static_cast<std::size_t>(e.valuePos), e.byteCount)) return e;
  e.value = block.sub(static_cast<std::size_t>(e.valuePos), e.byteCount);
  if (limits_ && !limits_->TakeBytes(e.byteCount)) {
    done_ = true;
    return std::nullopt;
  }
  return e;
}

}  // namespace velmora
