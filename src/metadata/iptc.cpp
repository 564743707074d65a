#include "metadata/iptc.h"

#include <algorithm>

#include "base/textcodec.h"
#include "metadata/jpegmarkers.h"
#include "metadata/messages.h"

namespace velmora {

namespace {

constexpr std::uint16_t K(int record, int dataset) { return static_cast<std::uint16_t>(record * 256 + dataset); }

constexpr IptcRow kDatasets[] = {
    {K(1, 90), "CodedCharacterSet", "Coded character set", 2, false, 32},
    {K(2, 0), "SKIP", "Record version", 3, false, 64},
    {K(2, 3), "ObjectType", "Object type ref", 2, false, 67},
    {K(2, 4), "ObjectAttr", "Object attribute ref", 2, true, 67},
    {K(2, 5), "ObjectName", "Object name", 2, false, 64},
    {K(2, 7), "EditStatus", "Edit status", 2, false, 64},
    {K(2, 8), "EditorialUpdate", "Editorial update", 2, false, 2},
    {K(2, 10), "Urgency", "Urgency", 2, false, 1},
    {K(2, 12), "SubRef", "Subject reference", 2, true, 236},
    {K(2, 15), "Category", "Category", 2, false, 3},
    {K(2, 20), "SuppCategory", "Supplemental category", 2, true, 32},
    {K(2, 22), "FixtureID", "Fixture ID", 2, false, 32},
    {K(2, 25), "Keywords", "Keywords", 2, true, 64},
    {K(2, 26), "ContentLocCode", "Content location code", 2, true, 3},
    {K(2, 27), "ContentLocName", "Content location name", 2, true, 64},
    {K(2, 30), "ReleaseDate", "Release date", 2, false, 8},
    {K(2, 35), "ReleaseTime", "Release time", 2, false, 11},
    {K(2, 37), "ExpireDate", "Expiration date", 2, false, 8},
    {K(2, 38), "ExpireTime", "Expiration time", 2, false, 11},
    {K(2, 40), "SpecialInstruct", "Special instructions", 2, false, 256},
    {K(2, 42), "ActionAdvised", "Action advised", 2, false, 2},
    {K(2, 45), "RefService", "Reference service", 2, true, 10},
    {K(2, 47), "RefDate", "Reference date", 2, true, 8},
    {K(2, 50), "RefNumber", "Reference number", 2, true, 8},
    {K(2, 55), "DateCreated", "Date created", 2, false, 8},
    {K(2, 60), "TimeCreated", "Time created", 2, false, 11},
    {K(2, 62), "DigitizeDate", "Digital creation date", 2, false, 8},
    {K(2, 63), "DigitizeTime", "Digital creation time", 2, false, 11},
    {K(2, 65), "OriginatingProgram", "Originating program", 2, false, 32},
    {K(2, 70), "ProgramVersion", "Program version", 2, false, 10},
    {K(2, 75), "ObjectCycle", "Object cycle", 2, false, 1},
    {K(2, 80), "ByLine", "ByLine", 2, true, 32},
    {K(2, 85), "ByLineTitle", "ByLine title", 2, true, 32},
    {K(2, 90), "City", "City", 2, false, 32},
    {K(2, 92), "SubLocation", "Sublocation", 2, false, 32},
    {K(2, 95), "State", "Province/State", 2, false, 32},
    {K(2, 100), "LocationCode", "Country/primary location code", 2, false, 3},
    {K(2, 101), "LocationName", "Country/primary location name", 2, false, 64},
    {K(2, 103), "TransmissionRef", "Original transmission reference", 2, false, 32},
    {K(2, 105), "ImageHeadline", "Image headline", 2, false, 256},
    {K(2, 110), "ImageCredit", "Image credit", 2, false, 32},
    {K(2, 115), "Source", "Source", 2, false, 32},
    {K(2, 116), "Copyright", "Copyright notice", 2, false, 128},
    {K(2, 118), "Contact", "Contact", 2, true, 128},
    {K(2, 120), "ImageCaption", "Image caption", 2, false, 2000},
    {K(2, 122), "ImageCaptionWriter", "Image caption writer", 2, false, 32},
    {K(2, 130), "ImageType", "Image type", 2, false, 2},
    {K(2, 131), "Orientation", "Image orientation", 2, false, 1},
    {K(2, 135), "LangID", "Language ID", 2, false, 3},
    {K(8, 10), "Subfile", "Subfile", 0, true, 2},
};
static_assert(std::size(kDatasets) == 50);

bool At(ByteView data, std::size_t pos, std::string_view text) {
  const auto b = data.bytes(pos, text.size());
  return b.size() == text.size() && std::equal(text.begin(), text.end(), b.begin());
}

}  // namespace

std::span<const IptcRow> IptcDatasetTable() { return kDatasets; }

const IptcRow* FindIptcRow(std::uint16_t key) {
  for (const auto& r : kDatasets)
    if (r.key == key) return &r;
  return nullptr;
}

const IptcRow* FindIptcRowByName(std::string_view name) {
  for (const auto& r : kDatasets)
    if (SameText(r.name, name)) return &r;
  return nullptr;
}

TTagEntry EntryFromIptcRow(const IptcRow& row) {
  TTagEntry e;
  e.tag = row.key;
  e.type = row.type;
  e.count = row.repeatable ? 65535 : 1;
  e.name = row.name;
  e.desc = row.desc;
  e.rawSize = row.maxLength;
  return e;
}

void TIPTCdata::SetCount(int n) {
  entries_.resize(static_cast<std::size_t>(std::max(n, 0)));
  merged_.clear();
}

int TIPTCdata::IndexOfNameFrom(std::string_view name, int first) const {
  for (std::size_t i = static_cast<std::size_t>(std::max(first, 0)); i < entries_.size(); ++i)
    if (SameText(entries_[i].name, name)) return static_cast<int>(i);
  return -1;
}

int TIPTCdata::AddEntry(const TTagEntry& entry) {
  if ((entry.tag & 0xFF) == 0) return -1;
  entries_.push_back(entry);
  return Count() - 1;
}

std::string TIPTCdata::DecodeValue(ByteView raw, int type) {
  switch (type) {
    case 0:
    case 2: {
      auto bytes = raw.span();
      if (!bytes.empty() && bytes.back() == 0) bytes = bytes.first(bytes.size() - 1);
      return ToUtf8(bytes);
    }
    case 3:
      return std::to_string(raw.u16(0, true).value_or(0));
    default:
      throw EMetadata(msg::kTagTypeNotSupported);
  }
}

void TIPTCdata::RemoveTag(std::string_view name) {
  const int i = IndexOfName(name);
  if (i >= 0) {
    entries_.erase(entries_.begin() + i);
    merged_.clear();
  }
}

int TIPTCdata::AddTag(std::string_view name, const Bytes& value, bool asNew) {
  const int existing = IndexOfName(name);
  if (asNew || existing < 0) {
    const IptcRow* row = FindIptcRowByName(name);
    if (!row) return -1;
    TTagEntry e = EntryFromIptcRow(*row);
    e.raw = value;
    e.data = DecodeValue(e.raw, e.type);
    entries_.push_back(std::move(e));
    return Count() - 1;
  }
  TTagEntry& e = entries_[static_cast<std::size_t>(existing)];
  e.raw = value;
  e.data = DecodeValue(e.raw, e.type);
  merged_.erase(existing);
  return existing;
}

int TIPTCdata::AddOrMergeTag(std::string_view name, const Bytes& value) {
  const int existing = IndexOfName(name);
  if (existing < 0) return AddTag(name, value, false);
  if (value.empty()) return existing;
  TTagEntry& e = entries_[static_cast<std::size_t>(existing)];
  Merged& merged = merged_[existing];
  if (merged.dataSize != e.data.size() || (merged.items.empty() && !e.data.empty())) {
    merged.items.clear();
    std::size_t start = 0;
    while (!e.data.empty()) {
      const auto comma = e.data.find(',', start);
      merged.items.insert(
          FoldCase(e.data.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  const std::string added = DecodeValue(value, e.type);
  std::size_t start = 0;
  while (true) {
    const auto comma = added.find(',', start);
    const std::string item = Trim(added.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!item.empty() && merged.items.insert(FoldCase(item)).second) {
      if (!e.data.empty()) e.data += ",";
      e.data += item;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  merged.dataSize = e.data.size();
  return AddTag(name, value, true);
}

int TIPTCdata::SetTag(std::string_view name, const Bytes& value) {
  const IptcRow* row = FindIptcRowByName(name);
  if (!row) return -1;
  return row->repeatable ? AddOrMergeTag(name, value) : AddTag(name, value, false);
}

std::string TIPTCdata::GetTagText(std::string_view name, std::string_view defaultText) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string(defaultText) : entries_[static_cast<std::size_t>(i)].data;
}

void TIPTCdata::ParseApp13(ByteView data) {
  Clear();
  AppendApp13(data);
}

void TIPTCdata::AppendApp13(ByteView data) {
  const auto span = data.span();
  const auto found = std::search(span.begin(), span.end(), kPhotoshopId.begin(), kPhotoshopId.end());
  if (found == span.end()) return;
  std::size_t pos = static_cast<std::size_t>(found - span.begin()) + kPhotoshopId.size() + 1;
  while (pos < data.size()) {
    if (!At(data, pos, "8BIM")) return;
    const auto id = data.u16(pos + 4, true);
    const auto nameLength = data.u8(pos + 6);
    if (!id || !nameLength) return;
    // The name is a length byte and the name, padded to an even length.
    const std::size_t sizePos = pos + 6 + ((1u + *nameLength + 1u) & ~std::size_t{1});
    const auto size = data.u32(sizePos, true);
    if (!size) return;
    const std::size_t dataStart = sizePos + 4;
    if (*id == kIptcResourceId) {
      // A resource cut short still gives the datasets that lie wholly inside the segment.
      const bool whole = data.has(dataStart, *size);
      const std::size_t end = whole ? dataStart + *size : data.size();
      if (data.u8(dataStart) == 0x1C) {
        const auto record = data.u8(dataStart + 1);
        if (record && (*record == 1 || *record == 2 || *record == 8)) {
          ParseDatasets(data, dataStart, end);
          if (!whole) truncated_ = true;
        }
      }
      // Another IPTC resource may follow (several blocks, once in segments of their own, put together).
      if (!whole) return;
    }
    if (!data.has(dataStart, *size)) return;
    std::size_t next = dataStart + *size;
    // Resource data is padded to an even size; some writers leave the padding out.
    if (*size % 2 == 1 && !At(data, next, "8BIM") && At(data, next + 1, "8BIM")) ++next;
    pos = next;
  }
}

void TIPTCdata::ParseDatasets(ByteView data, std::size_t from, std::size_t end) {
  const ByteView block = data.sub(from, end - from);
  std::size_t p = 0;
  while (block.has(p, 5)) {
    if (*block.u8(p) != 0x1C) break;  // not a dataset: the rest is no IPTC
    const int record = *block.u8(p + 1);
    const int dataset = *block.u8(p + 2);
    std::size_t length = *block.u16(p + 3, true);
    std::size_t valueStart = p + 5;
    if (length & 0x8000) {
      // Extended dataset: the low bits give the size of the length field that follows.
      const std::size_t fieldSize = length & 0x7FFF;
      if (fieldSize == 0 || fieldSize > 4 || !block.has(valueStart, fieldSize)) break;
      length = 0;
      for (std::size_t k = 0; k < fieldSize; ++k) length = length << 8 | *block.u8(valueStart + k);
      valueStart += fieldSize;
    }
    if (!block.has(valueStart, length)) {  // a value running past the resource ends the parse
      truncated_ = true;
      break;
    }
    const auto value = block.bytes(valueStart, length);
    p = valueStart + length;
    if (record != 1 && record != 2 && record != 8) continue;
    if (record == 2 && dataset == 0) {
      if (!recordVersion_) recordVersion_ = Bytes(value.begin(), value.end());
      continue;
    }

    const auto key = static_cast<std::uint16_t>(record * 256 + dataset);
    const IptcRow* row = FindIptcRow(key);
    TTagEntry e;
    if (row && std::string_view(row->name) != "SKIP") {
      e = EntryFromIptcRow(*row);
      e.raw.assign(value.begin(), value.end());
      e.data = DecodeValue(e.raw, e.type);
    } else {
      e.tag = key;
      e.name = "Custom_" + std::to_string(dataset);
      e.desc = e.name;
      e.type = 0;
      e.raw.assign(value.begin(), value.end());
      e.data = DecodeValue(e.raw, 0);
      e.rawSize = static_cast<std::int32_t>(std::max<std::size_t>(length, 64));
    }
    if (e.count == 65535)
      AddOrMergeTag(e.name, e.raw);
    else
      AddEntry(e);
  }
}

}  // namespace velmora
