#pragma once

// The EXIF reader: walks the TIFF directories of an EXIF block (IFD0, Exif, GPS, Interoperability,
// IFD1), keeps every entry with the raw bytes and a display text (a tag its tables do not know under
// its number, see UnknownTagName), keeps the thumbnail, and offers get operations by tag name (the writer edits a copy: exifedit.h).
// Positions are 0-based indexes into `buffer`.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "metadata/formatting.h"
#include "metadata/ifd.h"
#include "metadata/tagentry.h"

namespace velmora {

class TImgData;
struct TagRow;

// Byte-order base of TImgData and TImageInfo: the bytes the position-based readers work on.
class TEndInd {
 public:
  Bytes buffer;
  bool motorolaOrder = false;

  // Values at a 0-based position of `buffer`; nothing when the bytes are not all inside it.
  std::optional<std::uint16_t> Get16(std::int64_t pos) const;
  std::optional<std::uint32_t> Get32(std::int64_t pos) const;
};

enum class DirMode { kMain, kGps, kThumbnail };

// Where a directory is read: `start` is the position of its entry count, a TIFF offset o is position
// o + base, `length` the TIFF bytes available (as the caller counts them).
struct DirectoryAt {
  std::int64_t start = 0;
  std::int64_t base = 0;
  std::int64_t length = 0;
};

class TImageInfo : public TEndInd {
 public:
  // Limits that keep hostile blocks cheap in time and memory; real files stay far below them (a few
  // directories, a few hundred entries, the block's 64 KiB of values).
  // (The walks' budgets and loop guard: IfdLimits.)
  static constexpr std::size_t kMaxDroppedKept = 64;

  // The owner provides the error text, the date format, decodeValues and the TIFF flag.
  explicit TImageInfo(TImgData& owner);

  TImgData& owner() const { return *owner_; }

  // Decodes one directory and its sub-directories.
  void ReadDirectory(const DirectoryAt& at, std::uint16_t parentId, DirMode mode, int depth = 0);
  // Decodes IFD1 and takes the thumbnail bytes.
  void ReadThumbnailDirectory();
  bool HasThumbnail() const { return !thumbnail.empty(); }
  // Appends the thumbnail bytes.
  void WriteThumbnail(Bytes& out) const { out.insert(out.end(), thumbnail.begin(), thumbnail.end()); }

  // Index of the first main-list entry with that name (any case), or -1.
  virtual int IndexOfName(std::string_view name) const;
  virtual ~TImageInfo() = default;
  TImageInfo(const TImageInfo&) = delete;
  TImageInfo& operator=(const TImageInfo&) = delete;

  TagValue GetTagValue(std::string_view name) const;
  std::string GetTagText(std::string_view name) const;
  std::int64_t GetTagNumber(std::string_view name) const;
  double GetTagFloat(std::string_view name) const;
  std::int64_t GetImageWidth() const;
  std::int64_t GetImageHeight() const;
  std::string GetUserComment() const;

  // Appends a computed (kind 1) entry.
  void AddComputedEntry(std::string_view name, std::string_view text, std::uint16_t type);

  int EntryCount() const { return static_cast<int>(entries.size()); }
  int ThumbEntryCount() const { return static_cast<int>(thumbEntries.size()); }
  const TTagEntry& Entry(int i) const { return entries.at(static_cast<std::size_t>(i)); }
  const TTagEntry& ThumbEntry(int i) const { return thumbEntries.at(static_cast<std::size_t>(i)); }

  // Text of the visited-directory set: "(base:start)" items, as the walk records them.

  Bytes exifVersion;
  std::vector<TTagEntry> entries;       // IFD0, Exif, GPS and Interoperability entries, in reading order
  std::vector<TTagEntry> thumbEntries;  // IFD1 entries
  // Entries dropped on reading because their value would run past the block (directory, tag): a
  // save with metadata names them as lost. At most kMaxDroppedKept.
  struct DroppedEntry {
    std::uint16_t parentId, tag;
  };
  std::vector<DroppedEntry> dropped;
  int illegalDirectories = 0;  // directories not read for "Illegally sized directory"
  std::int64_t ifd1Offset = 0;
  std::int64_t ifd1Length = 0;
  std::int64_t thumbCompression = 0;
  Bytes thumbnail;
  // An uncompressed thumbnail (IFD1 without a JPEG, with StripOffsets and StripByteCounts): its
  // strips one after the other, as the writer carries them. Empty when IFD1 holds a JPEG or no strips
  // that lie wholly inside the block.
  Bytes thumbStrips;
  std::vector<std::uint32_t> thumbStripSizes;
  std::uint32_t thumbStart = 0;
  std::uint32_t thumbLength = 0;
  std::int64_t flashValue = 0;
  Bytes makerNote;
  std::int64_t makerNoteStart = 0;  // position of the maker note in `buffer`
  // [start, end) positions in `buffer` of maker-note values that lie outside the note's own bytes
  // (some cameras put them there); the writer keeps them where they were, with the note.
  std::vector<std::pair<std::int64_t, std::int64_t>> makerNoteOutside;
  bool makerNoteResult = false;
  bool isTiff = false;

  // Budgets shared by the directory and maker-note walks (entries, and bytes of values and texts
  // kept); once spent, the walks stop with the entries read so far.
  IfdLimits limits;

  // A problem met on the walk: the owner's error text names it, and the walk derives nothing after it.
  void ReportProblem(std::string text);

  // Display text of an entry's value as the getters make it again from `raw`.
  std::string TextOfEntry(const TTagEntry& e) const;

 private:
  void ReadThumbnailStrips();
  std::string DisplayText(const TagRow& row, const IfdEntry& entry) const;
  // What an entry's value sets besides itself: the thumbnail's place, the flash, the maker note, and
  // the directories it points to (read at once).
  void TakeValue(const IfdEntry& entry, const DirectoryAt& at, DirMode mode, int depth);
  void KeepEntry(const TagRow& row, std::string text, const IfdEntry& entry, std::uint16_t parentId, DirMode mode);
  void DeriveFocalLength35();
  TagValue NumericValue(const TTagEntry& e) const;

  TImgData* owner_;
  bool problemMet_ = false;
};

// The name an entry of a tag the tables do not know is kept under: "0xA434".
std::string UnknownTagName(std::uint16_t tag);

// Decodes an EXIF user comment (8-byte character code, then the text) to UTF-8. Throws EMetadata for JIS.
std::string DecodeUserComment(ByteView raw, bool bigEndian);

// Number -> numerator/denominator as the writer stores rationals (0.004 -> 1/250).
std::pair<std::int64_t, std::int64_t> ApproximateFraction(double x);

}  // namespace velmora
