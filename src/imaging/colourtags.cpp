#include "imaging/colourtags.h"

#include <string>
#include <string_view>

#include "imaging/colour.h"
#include "metadata/exifreader.h"

namespace velmora {

namespace {

constexpr std::string_view kXmpProperty = "photoshop:ICCProfile";

// The property's value in one XMP segment (its length field first), as an attribute
// (photoshop:ICCProfile="...") or an element (<photoshop:ICCProfile>...</...>). A segment that would
// grow past its length field keeps the old name.
void RenameXmpProfile(Bytes& segment, std::string_view name) {
  if (segment.size() < 2) return;
  std::string text(segment.begin() + 2, segment.end());
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t at = 0;
  bool changed = false;
  while ((at = text.find(kXmpProperty, at)) != std::string::npos) {
    const bool closingTag = at > 0 && text[at - 1] == '/';
    std::size_t pos = at + kXmpProperty.size();
    at = pos;
    if (closingTag) continue;
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    std::size_t begin = 0;
    char end = 0;
    if (pos < text.size() && text[pos] == '=') {
      ++pos;
      while (pos < text.size() && isSpace(text[pos])) ++pos;
      if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) continue;
      end = text[pos];
      begin = pos + 1;
    } else if (pos < text.size() && text[pos] == '>') {
      end = '<';
      begin = pos + 1;
    } else {
      continue;
    }
    const std::size_t stop = text.find(end, begin);
    if (stop == std::string::npos) return;
    text.replace(begin, stop - begin, name);
    at = begin + name.size();
    changed = true;
  }
  if (!changed || text.size() + 2 > 65535) return;
  segment.resize(2);
  segment[0] = static_cast<std::uint8_t>((text.size() + 2) >> 8);
  segment[1] = static_cast<std::uint8_t>((text.size() + 2) & 0xFF);
  segment.insert(segment.end(), text.begin(), text.end());
}

}  // namespace

void MarkConvertedToSrgb(TImgData& source) {
  source.iccProfile = ColourConversion::SrgbProfile();
  for (Bytes& segment : source.xmpSegments) RenameXmpProfile(segment, ColourConversion::kSrgbName);
  if (!source.exifInfo) return;
  TImageInfo& exif = *source.exifInfo;
  try {
    exif.SetTagValue("ColorSpace", std::int64_t{1}, SetIn::kMainTable);
  } catch (const EMetadata&) {
    // An entry the writer cannot take stays as read; the picture is sRGB all the same.
  }
  for (TTagEntry& e : exif.entries) {
    if (e.parentId != kParentInterop || e.tag != 0x0001 || e.kind != 0) continue;
    e.type = kAscii;
    e.raw = {'R', '9', '8', 0};
    e.rawSize = 4;
    e.count = 4;
    e.data = "R98";
  }
}

}  // namespace velmora
