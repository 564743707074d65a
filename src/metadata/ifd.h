#pragma once

// The one iterator over the entries of a TIFF image file directory (IFD): EXIF's own directories,
// the maker notes' and IFD0's Orientation read alone all go through it. It checks every position
// against the block, resolves each value (in the entry or at its offset) and, given IfdLimits,
// spends the entry and byte budgets they share, so a hostile block costs little time and memory.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <utility>

#include "base/bytes.h"

namespace velmora {

// The budgets and the loop guard of one EXIF block's walk (its directories and its maker note).
// Real files stay far below them: a few directories, a few hundred entries, 64 KiB of values.
class IfdLimits {
 public:
  static constexpr int kMaxDirectoryDepth = 8;
  static constexpr int kMaxDirectories = 64;
  static constexpr std::size_t kMaxEntries = 20000;
  static constexpr std::size_t kMaxBytes = std::size_t{4} << 20;

  // One more entry, or n more bytes of values; false once spent, and stays so.
  bool TakeEntry() { return entries_ < kMaxEntries && ++entries_ > 0; }
  bool TakeBytes(std::size_t n);
  // Records the directory at `start` (offsets counted from `base`) as read; false once
  // kMaxDirectories were read. A pointer to a directory already read leads nowhere (Visited).
  bool Enter(std::int64_t base, std::int64_t start);
  bool Visited(std::int64_t base, std::int64_t start) const { return visited_.contains({base, start}); }

 private:
  std::size_t entries_ = 0;
  std::size_t bytes_ = 0;
  int directories_ = 0;
  std::set<std::pair<std::int64_t, std::int64_t>> visited_;
};

// Where a directory lies: its entry count at `directory` in `block`; a value offset o points at
// block position o + valueBase.
struct IfdPlace {
  ByteView block;
  std::int64_t directory = 0;
  std::int64_t valueBase = 0;
  bool bigEndian = false;
};

struct IfdEntry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  std::uint32_t field = 0;      // the value field read as a number: the value's offset when it does not fit
  std::size_t at = 0;           // the entry's position in the block
  std::uint64_t byteCount = 0;  // bytes of the value; 0 for a type of unknown size
  std::int64_t valuePos = 0;    // where the value lies: in the entry's field, or at field + valueBase
  // The value's bytes when they lie wholly inside the block.
  std::optional<ByteView> value;
  bool KnownType() const;
};

class IfdEntries {
 public:
  // At most maxEntries of the directory's entries are read. With limits, every entry read takes one
  // of their entries and every value found its bytes.
  explicit IfdEntries(const IfdPlace& place, IfdLimits* limits = nullptr, std::size_t maxEntries = 65535);

  // The directory's entry count (at most maxEntries); nothing when it lies outside the block.
  std::optional<std::size_t> Count() const { return count_; }
  // Position of the four bytes after the last entry (the next directory's offset).
  std::int64_t End() const;
  // The next entry; nothing after the last, when the next lies outside the block, or once a budget is
  // spent.
  std::optional<IfdEntry> Next();

 private:
  IfdPlace place_;
  IfdLimits* limits_;
  std::optional<std::size_t> count_;
  std::size_t index_ = 0;
  bool done_ = false;
};

}  // namespace velmora
