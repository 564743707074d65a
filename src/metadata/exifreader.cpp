#include "metadata/exifreader.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <tuple>

#include "base/textcodec.h"
#include "metadata/exiftags.h"
#include "metadata/makernotes.h"
#include "metadata/messages.h"
#include "metadata/tagtables.h"

namespace velmora {

namespace {

std::int64_t RoundToInt(double v) {
  if (std::isnan(v)) return 0;
  return std::llround(std::clamp(v, -9.2e18, 9.2e18));
}

std::string StripTrailing(std::span<const std::uint8_t> bytes, bool spacesToo) {
  std::size_t n = bytes.size();
  while (n > 0 && (bytes[n - 1] == 0 || (spacesToo && bytes[n - 1] == ' '))) --n;
  return ToUtf8(bytes.first(n));
}

}  // namespace

std::string UnknownTagName(std::uint16_t tag) { return "0x" + Hex4(tag, true); }

std::optional<std::uint16_t> TEndInd::Get16(std::int64_t pos) const {
  if (pos < 0) return std::nullopt;
  return ByteView(buffer).u16(static_cast<std::size_t>(pos), motorolaOrder);
}

std::optional<std::uint32_t> TEndInd::Get32(std::int64_t pos) const {
  if (pos < 0) return std::nullopt;
  return ByteView(buffer).u32(static_cast<std::size_t>(pos), motorolaOrder);
}

TImageInfo::TImageInfo(bool isTiffArg, EntryTextStyle style) : style_(std::move(style)) { isTiff = isTiffArg; }

std::string TImageInfo::DisplayText(const TagRow& row, const IfdEntry& entry) const {
  const bool be = motorolaOrder;
  const bool decode = style_.decodeValues;
  const ByteView rawBytes = *entry.value;
  const std::uint16_t tag = entry.tag;
  std::string text;
  if (entry.type == kAscii) {
    auto bytes = rawBytes.span();
    if (!bytes.empty() && bytes.back() == 0) bytes = bytes.first(bytes.size() - 1);
    text = ToUtf8(bytes);
  } else if (entry.type == kUndefined) {
    text = "\"" + ToUtf8(rawBytes.span()) + "\"";
  } else {
    text = FormatNumbers(rawBytes, entry.count, entry.type, {row.code, row.format, decode}, be);
  }
  if (row.formatter != Formatter::kNone && std::string_view(row.name) != "Unknown" && decode)
    text = ApplyFormatter(row.formatter, {text, rawBytes, be});
  else
    text = Printable(text);
  if (tag == kTagDateTime || tag == kTagDateTimeOriginal || tag == kTagDateTimeDigitized) {
    // A text that is no valid Exif date ("0000:00:00 00:00:00") stays as read.
    if (auto date = FormatExifDate(text, style_.dateFormat)) text = *date;
  } else if (tag == kTagUserComment) {
    try {
      text = Trim(DecodeUserComment(rawBytes, be));
    } catch (const EMetadata&) {
      text = Trim(ToUtf8(rawBytes.span().subspan(std::min<std::size_t>(8, rawBytes.size()))));
    }
  }
  return text;
}

void TImageInfo::ReadDirectory(const DirectoryAt& at, std::uint16_t parentId, DirMode mode, int depth) {
  const std::int64_t start = at.start, base = at.base, length = at.length;
  if (!limits.Enter(base, start)) return;
  const ByteView buf(buffer);
  IfdEntries directory({.block = buf, .directory = start, .valueBase = base, .bigEndian = motorolaOrder}, &limits);
  if (!directory.Count()) return;
  const std::int64_t dirEnd = directory.End();
  // The format's only size check, measured from the directory start rather than from the end of the
  // block; the + 1 keeps the arithmetic of its 1-based positions. Entries past the end read as absent.
  if (dirEnd > start + base + 1 + length) {
    ReportProblem(ReadProblem::kIllegalDirectory);
    ++illegalDirectories;
    return;
  }
  if (mode == DirMode::kMain && ifd1Offset == 0 && !isTiff) {
    ifd1Offset = Get32(dirEnd).value_or(0);
    ifd1Length = base + 1 + length - ifd1Offset;
  }
  while (const auto entry = directory.Next()) {
    // A format of unknown size cannot be carried; a count of 0 (an empty Copyright) is kept as it is.
    if (!entry->KnownType()) continue;
    // A value said to run past the block is no value (a Make of 0xFFFFFFFF bytes): the entry is
    // dropped and remembered as lost, the rest of the directory is read on.
    if (!entry->value) {
      if (dropped.size() < kMaxDroppedKept) dropped.push_back({parentId, entry->tag});
      continue;
    }
    const TagRow* row = FindRowByTag(mode == DirMode::kGps ? GpsTagTable() : MainTagTable(), entry->tag);
    if (!row) row = &UnknownTagRow();
    // A shown text costs twice its length, as the budget has always counted it. A read without texts
    // spends only the values' bytes, so on a hostile block it may keep more entries before the budget
    // ends it than a read for showing.
    std::string text = style_.texts ? DisplayText(*row, *entry) : std::string();
    if (!limits.TakeBytes(2 * text.size())) break;
    // An empty value points nowhere and sets nothing.
    if (entry->byteCount > 0) TakeValue(*entry, at, mode, depth);
    KeepEntry(*row, std::move(text), *entry, parentId, mode);
  }
  // Nothing is derived from a walk that met a problem.
  if (mode == DirMode::kMain && !problemMet_ && style_.texts) DeriveFocalLength35();
}

void TImageInfo::TakeValue(const IfdEntry& entry, const DirectoryAt& at, DirMode mode, int depth) {
  const ByteView rawBytes = *entry.value;
  switch (entry.tag) {
    case kTagCompression:
      if (mode == DirMode::kThumbnail) thumbCompression = RoundToInt(ValueAsFloat(rawBytes, entry.type, motorolaOrder));
      break;
    case kTagSubIfds:
    case kTagExifOffset:
    case kTagInteropOffset:
    case kTagGpsInfo:
      if (const auto target = Get32(entry.valuePos)) {
        const std::int64_t pos = static_cast<std::int64_t>(*target) + at.base;
        if (!limits.Visited(at.base, pos) && depth < IfdLimits::kMaxDirectoryDepth) {
          try {
            ReadDirectory({pos, at.base, at.length}, entry.tag,
                          entry.tag == kTagGpsInfo ? DirMode::kGps : DirMode::kMain, depth + 1);
          } catch (const EMetadata&) {
          } catch (const ByteRangeError&) {
          }
        }
      }
      break;
    case kTagJpegOffset:
      thumbStart = Get32(entry.valuePos).value_or(0);
      break;
    case kTagJpegLength:
      thumbLength = Get32(entry.valuePos).value_or(0);
      break;
    case kTagExifVersion:
      exifVersion.assign(rawBytes.span().begin(), rawBytes.span().end());
      break;
    case kTagFlash:
      flashValue = RoundToInt(ValueAsFloat(rawBytes, entry.type, motorolaOrder));
      break;
    case kTagMakerNote: {
      makerNote.assign(rawBytes.span().begin(), rawBytes.span().end());
      makerNoteStart = entry.valuePos;
      makerNoteOutside.clear();
      TmsInfo decoder(*this);
      makerNoteResult = decoder.Decode();
      break;
    }
    default:
      break;
  }
}

void TImageInfo::KeepEntry(const TagRow& row, std::string text, const IfdEntry& entry, std::uint16_t parentId,
                           DirMode mode) {
  TTagEntry e = EntryFromRow(row);
  if (&row == &UnknownTagRow()) {
    // Kept so that it is written back (lens, serial numbers, time zones, PrintIM ...), under its number.
    e.tag = entry.tag;
    e.name = UnknownTagName(entry.tag);
    e.desc = e.name;
  }
  e.data = std::move(text);
  const auto raw = entry.value->span();
  e.raw.assign(raw.begin(), raw.end());
  e.rawSize = static_cast<std::int32_t>(e.raw.size());
  e.type = entry.type;
  e.count = static_cast<std::uint16_t>(entry.count);
  e.parentId = parentId;
  e.kind = 0;
  if (mode == DirMode::kThumbnail) {
    thumbEntries.push_back(std::move(e));
  } else if (!e.name.empty()) {
    entries.push_back(std::move(e));
  }
}

void TImageInfo::ReportProblem(ReadProblem kind, std::string detail) {
  problem = {kind, std::move(detail)};
  problemMet_ = true;
}

void TImageInfo::ReadThumbnailDirectory() {
  thumbEntries.clear();
  if (ifd1Offset != 0) ReadDirectory({ifd1Offset + 8, 8, ifd1Length - 12}, kParentIfd1, DirMode::kThumbnail);
  thumbnail.clear();
  thumbStrips.clear();
  thumbStripSizes.clear();
  if (thumbStart > 0) {
    // A thumbnail that does not lie wholly inside the block is not kept: cut short, it is no JPEG.
    const auto bytes = ByteView(buffer).bytes(static_cast<std::size_t>(thumbStart) + 8, thumbLength);
    if (bytes.size() == thumbLength) thumbnail.assign(bytes.begin(), bytes.end());
    return;
  }
  ReadThumbnailStrips();
}

void TImageInfo::ReadThumbnailStrips() {
  const TTagEntry* offsets = nullptr;
  const TTagEntry* counts = nullptr;
  for (const TTagEntry& e : thumbEntries) {
    if (e.tag == kTagStripOffsets && !offsets) offsets = &e;
    if (e.tag == kTagStripByteCounts && !counts) counts = &e;
  }
  const auto values = [this](const TTagEntry* e) {
    std::vector<std::uint32_t> out;
    if (!e || (e->type != kShort && e->type != kLong)) return out;
    const ByteView raw(e->raw);
    const std::size_t size = e->type == kShort ? 2 : 4;
    for (std::size_t at = 0; raw.has(at, size); at += size)
      out.push_back(size == 2 ? *raw.u16(at, motorolaOrder) : *raw.u32(at, motorolaOrder));
    return out;
  };
  const std::vector<std::uint32_t> starts = values(offsets), sizes = values(counts);
  if (starts.empty() || starts.size() != sizes.size()) return;
  Bytes strips;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const auto bytes = ByteView(buffer).bytes(std::size_t{starts[i]} + 8, sizes[i]);
    if (bytes.size() != sizes[i]) return;  // a strip outside the block: no thumbnail to carry
    strips.insert(strips.end(), bytes.begin(), bytes.end());
  }
  thumbStrips = std::move(strips);
  thumbStripSizes = sizes;
}

void TImageInfo::DeriveFocalLength35() {
  if (IndexOfName("FocalLengthIn35mmFilm") >= 0) return;
  std::int64_t unit = GetTagNumber("FocalPlaneResolutionUnit");
  if (unit <= 0) unit = GetTagNumber("ResolutionUnit");
  const double mmPerUnit = unit == 2 ? 25.4 : unit == 3 ? 10.0 : 0.0;
  const double focal = GetTagFloat("FocalLength");
  if (mmPerUnit == 0 || focal == 0) return;
  const double xres = static_cast<double>(GetTagNumber("FocalPlaneXResolution"));
  if (xres <= 0) return;
  const double yres = static_cast<double>(GetTagNumber("FocalPlaneYResolution"));
  if (yres <= 0) return;
  const double width = static_cast<double>(GetImageWidth()) * mmPerUnit / xres;
  const double height = static_cast<double>(GetImageHeight()) * mmPerUnit / yres;
  if (width * height <= 0) return;
  const double f35 = focal * 43.26661531 / std::sqrt(width * width + height * height);
  const TagRow* row = FindRowByTag(MainTagTable(), kTagFocalLength35);
  TTagEntry e = EntryFromRow(*row);
  // An estimate, not a value the camera recorded: computed, so never written into an output file
  // (where it would also be invalid for Exif versions before 2.2).
  e.kind = 1;
  e.parentId = kParentExif;
  e.type = kShort;
  e.count = 1;
  const auto value = static_cast<std::uint16_t>(std::clamp<std::int64_t>(RoundToInt(f35), 0, 65535));
  ByteWriter w;
  w.u16(value, motorolaOrder);
  e.raw = w.take();
  e.rawSize = 2;
  e.data = FormatWithNumber("%0.2f", f35);
  e.format = "%s mm";
  entries.push_back(std::move(e));
}

int TImageInfo::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (SameText(entries[i].name, name)) return static_cast<int>(i);
  return -1;
}

TagValue TImageInfo::NumericValue(const TTagEntry& e) const {
  const int size = FormatSize(e.type);
  if (size == 0 || e.type == kAscii || e.type == kUndefined)
    throw EMetadata(Message(msg::kNumericTagToVar, {std::to_string(e.type)}));
  const ByteView raw(e.raw);
  const bool real = e.type == kRational || e.type == kSRational || e.type == kFloat || e.type == kDouble;
  auto element = [&](std::size_t i) -> TagScalar {
    const double v = ComponentAsFloat(raw, i, e.type, motorolaOrder);
    if (real) return v;
    return static_cast<std::int64_t>(v);
  };
  if (e.count == 1) {
    TagScalar v = element(0);
    if (e.tag == kTagShutterSpeed) return std::pow(2.0, -ScalarAsDouble(v));
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    return std::get<double>(v);
  }
  std::vector<TagScalar> items;
  const std::size_t available = raw.size() / static_cast<std::size_t>(size);
  for (std::size_t i = 0; i < e.count && i < available; ++i) items.push_back(element(i));
  return items;
}

TagValue TImageInfo::GetTagValue(std::string_view name) const {
  const int idx = IndexOfName(name);
  if (idx < 0) return {};
  const TTagEntry& e = entries[static_cast<std::size_t>(idx)];
  if (e.name == "Unknown" || e.tag == 0) return {};
  if (e.type == kAscii) return StripTrailing(e.raw, false);
  if (e.type == kUndefined) {
    if (e.tag == kTagInteropVersion || e.tag == kTagExifVersion || e.tag == kTagFlashPixVersion) return ToUtf8(e.raw);
    if (e.tag == kTagUserComment) return DecodeUserComment(e.raw, motorolaOrder);
    return std::string("<binary>");
  }
  return NumericValue(e);
}

std::string TImageInfo::TextOfEntry(const TTagEntry& e) const {
  if (e.type == kAscii) return StripTrailing(e.raw, true);
  if (e.type == kUndefined) {
    if (e.tag == kTagInteropVersion || e.tag == kTagExifVersion || e.tag == kTagFlashPixVersion) return ToUtf8(e.raw);
    if (e.tag == kTagUserComment) return DecodeUserComment(e.raw, motorolaOrder);
  }
  std::string text = e.type == kUndefined ? "\"" + ToUtf8(e.raw) + "\""
                                          : FormatNumbers(e.raw, e.count, e.type,
                                                          {e.code, e.format, style_.decodeValues}, motorolaOrder);
  if (e.formatter != Formatter::kNone && style_.decodeValues)
    text = ApplyFormatter(e.formatter, {text, ByteView(e.raw), motorolaOrder});
  return text;
}

std::string TImageInfo::GetTagText(std::string_view name) const {
  const int idx = IndexOfName(name);
  if (idx < 0) return "";
  return TextOfEntry(entries[static_cast<std::size_t>(idx)]);
}

std::int64_t TImageInfo::GetTagNumber(std::string_view name) const {
  const int idx = IndexOfName(name);
  if (idx < 0) return -1;
  const TTagEntry& e = entries[static_cast<std::size_t>(idx)];
  if (e.type == kUndefined && e.raw.size() == 1) return e.raw[0];
  const double v = ValueAsFloat(e.raw, e.type, motorolaOrder);
  return RoundToInt(v);
}

double TImageInfo::GetTagFloat(std::string_view name) const {
  const int idx = IndexOfName(name);
  if (idx < 0) return 0;
  const TTagEntry& e = entries[static_cast<std::size_t>(idx)];
  return ValueAsFloat(e.raw, e.type, motorolaOrder);
}

std::int64_t TImageInfo::GetImageWidth() const {
  if (IndexOfName("ImageWidth") >= 0) return GetTagNumber("ImageWidth");
  if (IndexOfName("ExifImageWidth") >= 0) return GetTagNumber("ExifImageWidth");
  return 0;
}

std::int64_t TImageInfo::GetImageHeight() const {
  if (IndexOfName("ImageLength") >= 0) return GetTagNumber("ImageLength");
  if (IndexOfName("ExifImageLength") >= 0) return GetTagNumber("ExifImageLength");
  return 0;
}

std::string TImageInfo::GetUserComment() const {
  const int idx = IndexOfName("UserComment");
  if (idx < 0) return "";
  return DecodeUserComment(entries[static_cast<std::size_t>(idx)].raw, motorolaOrder);
}

std::string DecodeUserComment(ByteView raw, bool bigEndian) {
  const auto code = raw.bytesUpTo(0, 8);
  const std::string id(code.begin(), code.end());
  const auto text = raw.span().subspan(code.size());
  if (id.rfind("UNICODE", 0) == 0) {
    // Some writers put a byte-order mark; without one the block's byte order holds.
    if (text.size() >= 2 && ((text[0] == 0xFE && text[1] == 0xFF) || (text[0] == 0xFF && text[1] == 0xFE)))
      return Trim(Utf16ToUtf8(text.subspan(2), text[0] == 0xFE));
    return Trim(Utf16ToUtf8(text, bigEndian));
  }
  if (id.rfind("ASCII", 0) == 0 || id == std::string(8, '\0')) return Trim(ToUtf8(text));
  if (id.rfind("JIS", 0) == 0) throw EMetadata(msg::kJisComment);
  return "";
}

std::pair<std::int64_t, std::int64_t> ApproximateFraction(double x) {
  if (x == 0 || !std::isfinite(x)) return {0, 1};
  constexpr double kEps = 0.000001;
  auto approx = [](double v) -> std::pair<double, double> {
    const double d = std::trunc(v), e = v - d;
    if (1 - e < kEps) return {d + 1, 1};
    if (e < kEps) return {d, 1};
    return {std::round(v / kEps), std::round(1 / kEps)};
  };
  const double ax = std::fabs(x);
  double num, den;
  if (ax > 1) {
    std::tie(num, den) = approx(ax);
  } else {
    std::tie(den, num) = approx(1 / ax);
  }
  if (num > 1e18 || den > 1e18) {  // keep the conversion to integers defined
    const double s = 1e18 / std::max(num, den);
    num = std::round(num * s);
    den = std::round(den * s);
  }
  auto n = static_cast<std::uint64_t>(num), d = static_cast<std::uint64_t>(den);
  if (d == 0) return {0, 1};
  std::uint64_t g = std::gcd(n, d);
  if (g > 1) n /= g, d /= g;
  // Both halves must fit 32 bits; scaling keeps the quotient as well as the precision allows.
  constexpr std::uint64_t kMax = 4294967295u;
  if (n > kMax || d > kMax) {
    const double s = static_cast<double>(kMax) / static_cast<double>(std::max(n, d));
    n = static_cast<std::uint64_t>(std::round(static_cast<double>(n) * s));
    d = static_cast<std::uint64_t>(std::round(static_cast<double>(d) * s));
    if (d == 0) return {0, 1};
    g = std::gcd(n, d);
    if (g > 1) n /= g, d /= g;
  }
  return {x < 0 ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n), static_cast<std::int64_t>(d)};
}

void TImageInfo::AddComputedEntry(std::string_view name, std::string_view text, std::uint16_t type) {
  TTagEntry e;
  e.kind = 1;
  e.name = name;
  e.desc = DescriptionFromName(name);
  e.data = text;
  e.raw.assign(text.begin(), text.end());
  e.rawSize = static_cast<std::int32_t>(e.raw.size());
  e.type = type;
  e.count = 1;
  e.parentId = 0;
  entries.push_back(std::move(e));
}

}  // namespace velmora
