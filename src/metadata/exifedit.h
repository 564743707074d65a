#pragma once

// The writer's own copy of what an output may change in a source's EXIF block: the entry lists and
// the thumbnail, taken from the decoded TImageInfo, which stays as it was read. Setting a value by
// tag name, the picture's new size, the Orientation turned upright all edit this copy; the EXIF
// writer (metadatawriter.h) writes from it, with the source's unchanged parts (its byte order, its
// maker note and the bytes that lie around it).

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "metadata/exifreader.h"
#include "metadata/tagentry.h"

namespace velmora {

// Where SetTagValue looks a tag name up and which list it changes.
enum class SetIn {
  kMainTable = 1,       // the main table, the main list
  kMainOrGpsTable = 3,  // the main table, then the GPS table; the main list
  kThumbnail = 4,       // the main table; the thumbnail (IFD1) list
};

class TExifEdit {
 public:
  // Copies the lists and the thumbnail; the source must outlive the copy.
  explicit TExifEdit(const TImageInfo& source);

  const TImageInfo& source() const { return *source_; }
  bool HasThumbnail() const { return !thumbnail.empty(); }

  // Throws EMetadata with the texts of messages.h; a failure leaves the entry as it was.
  void SetTagValue(std::string_view name, const TagValue& value, SetIn where);
  // Sets IFD0's ImageWidth and ImageLength (appended as LONG when absent) through SetTagValue, and
  // the Exif directory's size where the source states one; a size outside the entry's type throws
  // the range error.
  void SetImageSize(std::int64_t height, std::int64_t width);
  // Every Orientation entry (IFD0's and IFD1's) says 1.
  void MarkOrientationUpright();

  std::vector<TTagEntry> entries;       // as TImageInfo::entries
  std::vector<TTagEntry> thumbEntries;  // as TImageInfo::thumbEntries
  Bytes thumbnail;
  Bytes thumbStrips;
  std::vector<std::uint32_t> thumbStripSizes;

 private:
  void EncodeElement(TTagEntry& e, const TagScalar& v) const;
  TTagEntry& EntryToSet(const TagRow& row, bool thumb, std::uint16_t parent);
  static void SetAsciiValue(TTagEntry& e, const TagValue& value);
  static void SetUndefinedValue(TTagEntry& e, const TagValue& value);

  const TImageInfo* source_;
};

}  // namespace velmora
