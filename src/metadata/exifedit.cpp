#include "metadata/exifedit.h"

#include <algorithm>
#include <cmath>

#include "base/textcodec.h"
#include "metadata/exiftags.h"
#include "metadata/formatting.h"
#include "metadata/jpegsegments.h"
#include "metadata/messages.h"
#include "metadata/tagtables.h"

namespace velmora {

namespace {

std::string NumberText(double v) {
  if (v == std::trunc(v) && std::fabs(v) < 1e18) return std::to_string(static_cast<long long>(v));
  return FormatWithNumber("%s", v);
}

std::string ScalarText(const TagScalar& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&v)) return NumberText(*d);
  return std::get<std::string>(v);
}

bool IsIntegerText(std::string_view s, std::int64_t& out) {
  const std::string t = Trim(s);
  if (t.empty()) return false;
  std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return false;
  for (std::size_t k = i; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') return false;
  if (t.size() - i > 18) return false;
  out = std::stoll(t);
  return true;
}

// Texts with "/" (ExposureTime "1/250") become their quotient.
TagScalar QuotientOfText(const TagScalar& v) {
  if (const auto* s = std::get_if<std::string>(&v); s && s->find('/') != std::string::npos) return ParseFraction(*s);
  return v;
}

}  // namespace

TExifEdit::TExifEdit(const TImageInfo& source)
    : entries(source.entries),
      thumbEntries(source.thumbEntries),
      thumbnail(source.thumbnail),
      thumbStrips(source.thumbStrips),
      thumbStripSizes(source.thumbStripSizes),
      source_(&source),
      decodeValues_(source.style().decodeValues) {}

void TExifEdit::EncodeElement(TTagEntry& e, const TagScalar& v) const {
  const bool be = source_->motorolaOrder;
  ByteWriter w;
  if (e.type == kRational || e.type == kSRational) {
    const double x = ScalarAsDouble(v);
    const bool fits = e.type == kRational ? (x >= 0 && x < 4294967296.0) : std::fabs(x) < 2147483648.0;
    if (!std::isfinite(x) || !fits) throw EMetadata(Message(msg::kOutOfRange, {e.name, ScalarText(v)}));
    const auto [num, den] = ApproximateFraction(x);
    w.u32(static_cast<std::uint32_t>(num), be);
    w.u32(static_cast<std::uint32_t>(den), be);
  } else {
    std::int64_t n = 0;
    if (const auto* s = std::get_if<std::string>(&v)) {
      if (!IsIntegerText(*s, n)) {
        const auto coded = ReverseLookupCode(e.code, *s);
        if (!coded) throw EMetadata(Message(msg::kLookupNotFound, {*s, e.name}));
        n = *coded;
      }
    } else if (const auto* d = std::get_if<double>(&v)) {
      if (!std::isfinite(*d) || std::fabs(*d) > 9e18)
        throw EMetadata(Message(msg::kOutOfRange, {e.name, ScalarText(v)}));
      n = static_cast<std::int64_t>(std::nearbyint(*d));
    } else {
      n = std::get<std::int64_t>(v);
    }
    std::int64_t lo = 0, hi = 0;
    switch (e.type) {
      case kByte:
        lo = 0, hi = 255;
        break;
      case kShort:
        lo = 0, hi = 65535;
        break;
      case kLong:
        lo = 0, hi = 4294967295LL;
        break;
      case kSByte:
        lo = -128, hi = 127;
        break;
      case kSShort:
        lo = -32768, hi = 32767;
        break;
      case kSLong:
        lo = -2147483647, hi = 2147483647;
        break;
      default:
        throw EMetadata(msg::kUnhandledFormat);
    }
    if (n < lo || n > hi) throw EMetadata(Message(msg::kOutOfRange, {e.name, ScalarText(v)}));
    switch (FormatSize(e.type)) {
      case 1:
        w.u8(static_cast<std::uint8_t>(n));
        break;
      case 2:
        w.u16(static_cast<std::uint16_t>(n), be);
        break;
      default:
        w.u32(static_cast<std::uint32_t>(n), be);
        break;
    }
  }
  const Bytes& b = w.data();
  e.raw.insert(e.raw.end(), b.begin(), b.end());
  e.rawSize = static_cast<std::int32_t>(e.raw.size());
  e.data = FormatNumbers(e.raw, static_cast<std::uint32_t>(e.raw.size() / static_cast<std::size_t>(FormatSize(e.type))),
                         e.type, {e.code, e.format, decodeValues_}, be);
}

// The entry of the row's own directory, as for removal: a copy misplaced in another directory (or
// read through SubIFDs) must not take the value meant for this one. Appended when absent.
TTagEntry& TExifEdit::EntryToSet(const TagRow& row, bool thumb, std::uint16_t parent) {
  auto& list = thumb ? thumbEntries : entries;
  auto it = std::find_if(list.begin(), list.end(), [&](const TTagEntry& e) {
    return e.tag == row.tag && e.parentId == parent && SameText(e.name, row.name);
  });
  if (it != list.end()) return *it;
  if (!thumb && row.parentId != 0) {
    // The directory's pointer entry must exist for the writer to reach the directory. It is a LONG
    // of four bytes whatever the table row says, so the writer can patch it.
    const std::uint16_t pointerTag = row.parentId;
    const bool present = std::any_of(entries.begin(), entries.end(),
                                     [&](const TTagEntry& p) { return p.tag == pointerTag && p.kind == 0; });
    if (!present) {
      const TagRow* pointerRow = FindRowByTag(MainTagTable(), pointerTag);
      if (!pointerRow) throw EMetadata(Message(msg::kDefinitionNotFound, {Hex4(pointerTag)}));
      TTagEntry p = EntryFromRow(*pointerRow);
      p.parentId = kParentIfd0;
      p.type = kLong;
      p.count = 1;
      p.raw.assign(4, 0);
      p.rawSize = 4;
      entries.push_back(std::move(p));
    }
  }
  TTagEntry e = EntryFromRow(row);
  e.parentId = parent;
  e.raw.assign(static_cast<std::size_t>(std::max(row.rawSize, 0)), 0);
  list.push_back(std::move(e));
  return list.back();
}

void TExifEdit::SetAsciiValue(TTagEntry& e, const TagValue& value) {
  std::string text;
  if (const auto* s = std::get_if<std::string>(&value))
    text = *s;
  else if (const auto* b = std::get_if<Bytes>(&value))
    text.assign(b->begin(), b->end());
  else if (const auto* i = std::get_if<std::int64_t>(&value))
    text = std::to_string(*i);
  else if (const auto* d = std::get_if<double>(&value))
    text = NumberText(*d);
  else
    throw EMetadata(msg::kUnhandledFormat);
  e.raw.assign(text.begin(), text.end());
  e.raw.push_back(0);
  e.rawSize = static_cast<std::int32_t>(e.raw.size());
  e.count = static_cast<std::uint16_t>(std::min<std::size_t>(e.raw.size(), 65535));
  e.data = ToUtf8(text);
}

void TExifEdit::SetUndefinedValue(TTagEntry& e, const TagValue& value) {
  if (const auto* b = std::get_if<Bytes>(&value))
    e.raw = *b;
  else if (const auto* s = std::get_if<std::string>(&value))
    e.raw.assign(s->begin(), s->end());
  else
    throw EMetadata(msg::kUnhandledFormat);
  e.rawSize = static_cast<std::int32_t>(e.raw.size());
  e.count = static_cast<std::uint16_t>(std::min<std::size_t>(e.raw.size(), 65535));
  e.data = "<binary>";
}

void TExifEdit::SetTagValue(std::string_view name, const TagValue& value, SetIn where) {
  const TagRow* row = FindRowByName(MainTagTable(), name);
  if (!row && where == SetIn::kMainOrGpsTable) row = FindRowByName(GpsTagTable(), name);
  if (!row) throw EMetadata(Message(msg::kTagNotFound, {std::string(name)}));

  const bool thumb = where == SetIn::kThumbnail;
  auto& list = thumb ? thumbEntries : entries;
  // Thumbnail entries belong to IFD1 whatever the table row says, or the writer would never see them.
  const std::uint16_t parent = thumb ? kParentIfd1 : row->parentId;

  const bool empty =
      IsNull(value) || (std::holds_alternative<std::string>(value) && std::get<std::string>(value).empty()) ||
      (std::holds_alternative<Bytes>(value) && std::get<Bytes>(value).empty()) ||
      (std::holds_alternative<std::vector<TagScalar>>(value) && std::get<std::vector<TagScalar>>(value).empty()) ||
      (row->type == kUndefined && !std::holds_alternative<Bytes>(value));
  if (empty) {
    std::erase_if(list, [&](const TTagEntry& e) { return e.tag == row->tag && e.parentId == parent; });
    return;
  }

  TTagEntry& e = EntryToSet(*row, thumb, parent);
  if (e.type == kAscii) return SetAsciiValue(e, value);
  if (e.type == kUndefined) return SetUndefinedValue(e, value);

  std::vector<TagScalar> elements;
  if (const auto* arr = std::get_if<std::vector<TagScalar>>(&value)) {
    elements = *arr;
  } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
    elements.push_back(*i);
  } else if (const auto* d = std::get_if<double>(&value)) {
    elements.push_back(*d);
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    elements.push_back(*s);
  } else {
    throw EMetadata(msg::kUnhandledFormat);
  }
  if (e.tag == kTagExposureTime || e.tag == kTagShutterSpeed)
    for (auto& el : elements) el = QuotientOfText(el);
  if (e.tag == kTagShutterSpeed)
    for (auto& el : elements) el = -std::log2(ScalarAsDouble(el));

  TTagEntry updated = e;  // a failure leaves the entry as it was
  updated.raw.clear();
  updated.data.clear();
  for (const auto& el : elements) EncodeElement(updated, el);
  updated.count = static_cast<std::uint16_t>(std::min<std::size_t>(elements.size(), 65535));
  e = std::move(updated);
}

void TExifEdit::SetImageSize(std::int64_t height, std::int64_t width) {
  // A size stored as text, a fraction or the like is no size: it becomes a LONG, as when absent.
  for (TTagEntry& e : entries)
    if (e.parentId == kParentIfd0 && (e.tag == 0x0100 || e.tag == 0x0101) && e.type != kByte && e.type != kShort)
      e.type = kLong;
  SetTagValue("ImageWidth", width, SetIn::kMainOrGpsTable);
  SetTagValue("ImageLength", height, SetIn::kMainOrGpsTable);
  // The Exif directory's size of the picture (ExifImageWidth/ExifImageLength) is the new one too when
  // the source states it; a value a SHORT cannot hold makes it a LONG.
  for (TTagEntry& e : entries) {
    if (e.parentId != kParentExif || e.kind != 0 || (e.tag != kTagExifImageWidth && e.tag != kTagExifImageLength))
      continue;
    const std::int64_t value = std::clamp<std::int64_t>(e.tag == kTagExifImageWidth ? width : height, 0, 4294967295LL);
    const std::int64_t fits = e.type == kByte ? 255 : e.type == kShort ? 65535 : e.type == kLong ? 4294967295LL : -1;
    if (value > fits) e.type = value <= 65535 ? kShort : kLong;
    ByteWriter w;
    if (e.type == kByte) {
      w.u8(static_cast<std::uint8_t>(value));
    } else if (e.type == kShort) {
      w.u16(static_cast<std::uint16_t>(value), source_->motorolaOrder);
    } else {
      w.u32(static_cast<std::uint32_t>(value), source_->motorolaOrder);
    }
    e.raw = w.take();
    e.rawSize = static_cast<std::int32_t>(e.raw.size());
    e.count = 1;
    e.data = source_->TextOfEntry(e);
  }
}

void TExifEdit::MarkOrientationUpright() {
  for (std::vector<TTagEntry>* list : {&entries, &thumbEntries}) {
    for (TTagEntry& e : *list) {
      if (e.tag != kTagOrientation || e.kind != 0 || e.type != kShort || e.raw.size() != 2) continue;
      ByteWriter one;
      one.u16(kOrientationUpright, source_->motorolaOrder);
      e.raw = one.take();
      e.data = source_->TextOfEntry(e);
    }
  }
}

}  // namespace velmora
