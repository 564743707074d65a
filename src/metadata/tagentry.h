#pragma once

// The tag entry shared by the EXIF and IPTC readers, the TIFF value formats, and the errors the
// metadata readers raise.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "base/bytes.h"

namespace velmora {

// Raised by the metadata readers with their own message text (see messages.h). The readers catch
// only this, ByteRangeError and FileError, so a logic error still surfaces in tests and fuzzing.
class EMetadata : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// TIFF 6.0 value formats.
enum TiffFormat : std::uint16_t {
  kByte = 1,
  kAscii = 2,
  kShort = 3,
  kLong = 4,
  kRational = 5,
  kSByte = 6,
  kUndefined = 7,
  kSShort = 8,
  kSLong = 9,
  kSRational = 10,
  kFloat = 11,
  kDouble = 12,
};

// Bytes of one component; 0 for format 0 and every code above 12.
int FormatSize(int format);

// Per-tag display routines of the tag tables (see formatting.h).
enum class Formatter : std::uint8_t {
  kNone,
  kVersion,
  kComponentsConfiguration,
  kShutterSpeed,
  kFlash,
  kXpText,
  kGpsVersion,
  kGpsCoordinate,
  kGpsAltitude,
  kGpsTimeStamp,
  kNikonColorMode,
  kNikonLens,
  kCanonExposureInfo1,
  kCanonExposureInfo2,
  kCanonCustomFunctions,
};

// Directories an entry can belong to (the parentId column).
inline constexpr std::uint16_t kParentIfd0 = 0;
inline constexpr std::uint16_t kParentIfd1 = 1;
inline constexpr std::uint16_t kParentExif = 34665;
inline constexpr std::uint16_t kParentGps = 34853;
inline constexpr std::uint16_t kParentInterop = 40965;
// Maker-note entries are computed (kind 1) and never written; this parent only tells them apart.
inline constexpr std::uint16_t kParentMakerNote = 37500;

struct TTagEntry {
  std::int32_t kind = 0;  // 0: read, from a table or set by a caller; 1: computed, never written
  std::uint16_t type = 0;
  std::uint16_t tag = 0;
  std::uint16_t parentId = 0;
  std::uint16_t count = 1;  // 65535: repeatable (IPTC)
  std::string name;
  std::string desc;
  std::string code;  // "number:text" items separated by ","
  std::string data;  // display text, UTF-8
  Bytes raw;         // value bytes as stored, in the block's byte order
  std::string format;
  std::int32_t rawSize = 0;
  Formatter formatter = Formatter::kNone;
};

// A value handed to or returned by the by-name operations. Arrays hold one element per component.
using TagScalar = std::variant<std::int64_t, double, std::string>;
using TagValue = std::variant<std::monostate, std::int64_t, double, std::string, Bytes, std::vector<TagScalar>>;

inline bool IsNull(const TagValue& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace velmora
