#pragma once

// Display texts of EXIF values: numbers per TIFF format, code maps, display formats and the
// per-tag formatters of the tag tables.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "metadata/tagentry.h"

namespace velmora {

// Minimal printf for the tables' display formats ("%s", "%d", "%f", "%0.1f", "%.2f", "%4.4f" ...):
// the formats are constants of this library, never taken from a file. "%f" without a precision
// shows two decimals. Only the first directive is replaced.
std::string FormatWithString(std::string_view fmt, std::string_view value);
std::string FormatWithNumber(std::string_view fmt, double value);

// At most this many components are shown in a display text.
inline constexpr std::size_t kMaxShownComponents = 128;

// How a tag row shows its numbers: coded values looked up in `code` (when decodeValues), then the
// display format `fmt` applied.
struct NumberStyle {
  std::string_view code;
  std::string_view fmt;
  bool decodeValues = true;
};

// The display text of an entry's value bytes: components joined with ", ", then styled.
std::string FormatNumbers(ByteView bytes, std::uint32_t count, int format, const NumberStyle& style, bool bigEndian);

// One component's numeric value: integers (signed for the signed formats), numerator / denominator
// for the rationals, IEEE values for FLOAT and DOUBLE; 0 for texts, UNDEFINED and unknown formats, and
// when the bytes are missing or the denominator is 0.
double ComponentAsFloat(ByteView bytes, std::size_t index, int format, bool bigEndian);
// The entry's value as a number: its first component.
double ValueAsFloat(ByteView bytes, int format, bool bigEndian);

// "," + map + "," searched for "," + trimmed value + ":"; the text up to the next ",", else empty.
std::string LookupCode(std::string_view map, std::string_view valueText);
// The number of the map item whose text equals `text` (exactly), if any.
std::optional<std::int64_t> ReverseLookupCode(std::string_view map, std::string_view text);

// "[integer ]a/b" or a decimal number; 0 for anything unreadable.
double ParseFraction(std::string_view text);

// Exif date "yyyy:mm:dd hh:mm:ss" shown with a date format of the "yyyy-mm-dd hh:nn:ss" kind; nothing
// when the text is not a valid Exif date.
std::optional<std::string> FormatExifDate(std::string_view text, std::string_view dateFormat);

// A computed field produced by a maker-note formatter (Canon), appended by the caller as a kind-1 entry.
struct ComputedField {
  std::string name;
  std::string text;
};

struct FormatterInput {
  std::string_view text;  // the display text so far
  ByteView raw;           // the entry's value bytes
  bool bigEndian = false;
};

// Rewrites a display text by the row's formatter. Fields for the caller's entry list go to `fields`.
std::string ApplyFormatter(Formatter f, const FormatterInput& in, std::vector<ComputedField>* fields = nullptr);

// Items of a ", "-separated value list, trimmed.
std::vector<std::string> SplitList(std::string_view text);

// The reader's and the editor's message patterns of messages.h filled: each %s, %d or %.4x takes the
// next argument.
std::string Message(std::string_view pattern, std::initializer_list<std::string> args);
// Four hex digits: "a434" (or "A434").
std::string Hex4(unsigned v, bool upper = false);
// A by-name operation's number: integers and doubles as they are, texts read as fractions ("1/250").
double ScalarAsDouble(const TagScalar& v);

}  // namespace velmora
