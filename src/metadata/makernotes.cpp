#include "metadata/makernotes.h"

#include <algorithm>
#include <iterator>

#include "base/textcodec.h"
#include "metadata/exifreader.h"
#include "metadata/formatting.h"
#include "metadata/ifd.h"

namespace velmora {

namespace {

bool StartsWith(const Bytes& b, std::string_view prefix) {
  return b.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin());
}

// Nikon's newer notes ("Nikon" 0 2, then a TIFF header at note position 10), told by the EXIF version
// or, in TIFF files without one, by a "D" model ("NIKON D70").
bool NikonWithTiffHeader(const TImageInfo& reader) {
  const std::string version(reader.exifVersion.begin(), reader.exifVersion.end());
  if (!version.empty()) return version > "0210";
  const std::string model = reader.GetTagText("Model");
  const auto space = model.find(' ');
  return reader.isTiff && space != std::string::npos && space + 1 < model.size() && model[space + 1] == 'D';
}

bool WithoutNikonHeader(const TImageInfo& reader) { return !StartsWith(reader.makerNote, "Nikon"); }
bool WithQvcHeader(const TImageInfo& reader) { return StartsWith(reader.makerNote, "QVC"); }

// Values said to lie past the note's end are looked for at section position offset - 1, where the walk
// has always looked for them (not where the TIFF header would put them); Olympus counts them from the
// TIFF header.
constexpr std::int64_t kOutsideBeforeSection = -1;

// One row per make and layout: the first row whose make prefix (the Make tag's first five letters,
// upper case) matches and whose layout test holds (none: any) says how the note is walked.
struct MakerLayout {
  std::string_view make;
  bool (*fits)(const TImageInfo&);
  MakerWalk walk;
  bool nikonSubdirectories = false;
};

constexpr auto kInNote = OffsetsFrom::kNote;
constexpr auto kTiff = OffsetsFrom::kTiffHeader;
constexpr auto kOut = kOutsideBeforeSection;

constexpr MakerLayout kMakerLayouts[] = {
    {"NIKON", NikonWithTiffHeader, {MakerTable::kNikonType3, 18, kInNote, 10, kOut, 27}, true},
    {"NIKON", WithoutNikonHeader, {MakerTable::kNikonType3, 0, kTiff, 0, kOut, 27}, true},
    {"NIKON", nullptr, {MakerTable::kNikonType1, 8, kTiff, 0, kOut, 10}, true},
    {"OLYMP", nullptr, {MakerTable::kOlympus, 8, kTiff, 0, 8, 32}},
    {"CASIO", WithQvcHeader, {MakerTable::kCasioType2, 6, kTiff, 0, kOut, 44}},
    {"CASIO", nullptr, {MakerTable::kCasioType1, 0, kTiff, 0, kOut, 25}},
    {"FUJIF", nullptr, {MakerTable::kFujifilm, 12, kInNote, 0, kOut, 17, true}},
    {"CANON", nullptr, {MakerTable::kCanon, 0, kTiff, 0, kOut, 15}},
    {"SEIKO", nullptr, {MakerTable::kSeiko, 8, kTiff, 0, kOut, 11}},
    {"SANYO", nullptr, {MakerTable::kSanyo, 8, kTiff, 0, kOut, 5}},
    {"MINOL", nullptr, {MakerTable::kMinolta, 0, kTiff, 0, kOut, 1}},
};

}  // namespace

TmsInfo::TmsInfo(TImageInfo& reader) : reader_(&reader) {}

bool TmsInfo::Decode() {
  const std::string make = UpperAscii(reader_->GetTagText("Make")).substr(0, 5);
  const auto layout = std::find_if(std::begin(kMakerLayouts), std::end(kMakerLayouts), [&](const MakerLayout& l) {
    return l.make == make && (!l.fits || l.fits(*reader_));
  });
  if (layout == std::end(kMakerLayouts)) return false;
  try {
    // Their places matter only to the writer, which never writes TIFF input's note.
    if (layout->nikonSubdirectories && !reader_->isTiff) KeepNikonSubdirectories();
    ReadMakerDirectory(layout->walk);
  } catch (const EMetadata& e) {
    reader_->ReportProblem(ReadProblem::kMakerNoteError, e.what());
  } catch (const ByteRangeError& e) {
    reader_->ReportProblem(ReadProblem::kMakerNoteError, e.what());
  }
  return true;
}

void TmsInfo::KeepNikonSubdirectories() {
  constexpr std::uint16_t kPreviewIfd = 0x0011, kScanIfd = 0x0E10, kStart = 0x0201, kLength = 0x0202;
  constexpr std::size_t kMaxEntries = 512;
  const ByteView section(reader_->buffer);
  const auto note = reader_->makerNoteStart;
  // Offsets count from the note's own TIFF header ("Nikon" 0 2 ...), else from the EXIF block's.
  std::int64_t base = 8, ifd = note;
  bool be = reader_->motorolaOrder;
  if (StartsWith(reader_->makerNote, std::string_view("Nikon\0\2", 7))) {
    base = note + 10;
    const auto order = section.u16(static_cast<std::size_t>(base), true);
    if (!order || (*order != 0x4949 && *order != 0x4D4D)) return;
    be = *order == 0x4D4D;
    ifd = base + section.u32(static_cast<std::size_t>(base) + 4, be).value_or(0);
  } else if (StartsWith(reader_->makerNote, "Nikon")) {
    return;  // the old layout has no sub-directories
  }
  const auto keep = [&](std::int64_t from, std::uint64_t n) {
    if (from < 0 || n == 0 || static_cast<std::uint64_t>(from) >= section.size()) return;
    n = std::min<std::uint64_t>(n, section.size() - static_cast<std::uint64_t>(from));
    reader_->makerNoteOutside.emplace_back(from, from + static_cast<std::int64_t>(n));
  };
  // Every value of a directory that does not fit its entry (some run past the note's end), and the
  // sub-directories with theirs.
  const auto keepDirectory = [&](std::int64_t dir, bool top) {
    IfdEntries entries({.block = section, .directory = dir, .bigEndian = be}, nullptr, kMaxEntries);
    if (!top) keep(dir, 2 + 12 * entries.Count().value_or(0) + 4);
    std::optional<std::uint32_t> start, length;
    std::vector<std::int64_t> subs;
    while (const auto e = entries.Next()) {
      const std::uint16_t tag = e->tag;
      const std::uint32_t value = e->field;
      if (e->byteCount > 4) keep(base + value, e->byteCount);
      if (top && (tag == kPreviewIfd || tag == kScanIfd)) subs.push_back(base + value);
      if (!top && tag == kStart) start = value;
      if (!top && tag == kLength) length = value;
    }
    if (start && length) keep(base + *start, *length);  // the preview picture
    return subs;
  };
  for (const std::int64_t sub : keepDirectory(ifd, true)) keepDirectory(sub, false);
}

void TmsInfo::ReadMakerDirectory(const MakerWalk& walk) {
  const ByteView note(reader_->makerNote);
  const ByteView section(reader_->buffer);
  const auto table = MakerTagTable(walk.table).first(static_cast<std::size_t>(walk.lastRow) + 1);
  const std::int64_t dirPos = walk.dirPos;
  const bool be = !walk.littleEndian && reader_->motorolaOrder;
  // A value offset o lies at note position o + valueBase. The TIFF header is at section position 8 of
  // a JPEG's APP1 (after the length field and "Exif\0\0"), at -8 of a TIFF file's window.
  const std::int64_t tiffHeader = reader_->isTiff ? -8 : 8;
  const std::int64_t valueBase =
      walk.offsetsFrom == OffsetsFrom::kNote ? walk.origin : tiffHeader - reader_->makerNoteStart;
  IfdEntries entries({.block = note, .directory = dirPos, .valueBase = valueBase, .bigEndian = be}, &reader_->limits);
  if (!entries.Count()) return;
  while (const auto entry = entries.Next()) {
    if (entry->byteCount == 0) continue;
    ByteView bytes;
    if (entry->value) {
      bytes = *entry->value;
    } else {
      // Past the note's end: the makers' offsets then count from the section.
      const std::int64_t from = walk.outsideOrigin + std::int64_t{entry->field};
      if (from >= 0) bytes = section.bytesUpTo(static_cast<std::size_t>(from), entry->byteCount);
      if (!bytes.empty()) reader_->makerNoteOutside.emplace_back(from, from + static_cast<std::int64_t>(bytes.size()));
      if (!reader_->limits.TakeBytes(bytes.size())) break;
    }
    // The writer needs only the places above; the decoded entries are there to be shown.
    if (reader_->style().texts && !DescribeEntry(table, *entry, bytes, be)) break;
  }
}

bool TmsInfo::DescribeEntry(std::span<const TagRow> table, const IfdEntry& entry, ByteView bytes, bool be) {
  const auto row = std::find_if(table.begin(), table.end(), [&](const TagRow& r) { return r.tag == entry.tag; });
  const bool known = row != table.end();
  if (known && SameText(row->name, "Skip")) return true;
  // The first row of a table is never stored (tagtables.cpp), though its value is shown.
  const bool kept = known && row != table.begin();

  const bool decode = reader_->style().decodeValues;
  const char* code = known ? row->code : "";
  const char* fmt = known ? row->format : "";
  const std::string quoted = "\"" + ToUtf8(bytes.span()) + "\"";
  std::string text = (entry.type == kAscii || entry.type == kUndefined)
                         ? quoted
                         : FormatNumbers(bytes, entry.count, entry.type, {code, fmt, decode}, be);
  std::vector<ComputedField> fields;
  if (kept && row->formatter != Formatter::kNone && decode) {
    try {
      text = ApplyFormatter(row->formatter, {text, bytes, be}, &fields);
    } catch (const EMetadata&) {
      text = quoted;
      fields.clear();
    }
  } else {
    text = Printable(text);
  }
  if (!reader_->limits.TakeBytes(2 * text.size())) return false;
  for (const auto& f : fields) {
    if (!reader_->limits.TakeEntry()) break;
    reader_->AddComputedEntry(f.name, f.text, kAscii);
  }
  if (kept) {
    TTagEntry e = EntryFromRow(*row);
    e.data = std::move(text);
    e.raw.assign(bytes.span().begin(), bytes.span().end());
    e.rawSize = static_cast<std::int32_t>(e.raw.size());
    e.type = entry.type;
    e.count = static_cast<std::uint16_t>(entry.count);
    e.kind = 1;
    reader_->entries.push_back(std::move(e));
  }
  return true;
}

}  // namespace velmora
