#pragma once

// The constant tag tables: the main EXIF table (IFD0, Exif, Interoperability and IFD1 tags, 251 rows,
// the last one "Unknown"), the GPS table (32 rows) and the maker-note tables.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "metadata/tagentry.h"

namespace velmora {

struct TagRow {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint16_t parentId;
  std::uint16_t count;
  const char* name;
  const char* desc;  // empty: made from the name
  const char* code;
  const char* format;
  std::int32_t rawSize;
  Formatter formatter;
};

std::span<const TagRow> MainTagTable();
std::span<const TagRow> GpsTagTable();
// The main table's last row, which a tag missing from the tables gets.
const TagRow& UnknownTagRow();

enum class MakerTable {
  kNikonType3,
  kNikonType1,
  kOlympus,
  kCasioType1,
  kCasioType2,
  kFujifilm,
  kCanon,
  kSeiko,
  kSanyo,
  kMinolta
};
std::span<const TagRow> MakerTagTable(MakerTable table);

// First row with that tag, or nullptr.
const TagRow* FindRowByTag(std::span<const TagRow> table, std::uint16_t tag);
// First row with that name, compared without regard to case, or nullptr.
const TagRow* FindRowByName(std::span<const TagRow> table, std::string_view name);

// "ExposureTime" -> "Exposure Time": a space before each capital that follows a non-capital, for names
// of three or more characters.
std::string DescriptionFromName(std::string_view name);
// A table row as an entry (kind 0, empty data and raw), with its description filled in.
TTagEntry EntryFromRow(const TagRow& row);

}  // namespace velmora
