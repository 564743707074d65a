#include "metadata/makernotes.h"

#include "base/textcodec.h"
#include "metadata/exifreader.h"
#include "metadata/formatting.h"
#include "metadata/ifd.h"
#include "metadata/jpegsegments.h"
#include "metadata/messages.h"

namespace velmora {

namespace {

bool StartsWith(const Bytes& b, std::string_view prefix) {
  return b.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin());
}

}  // namespace

TmsInfo::TmsInfo(TImageInfo& readerArg, bool isTiffArg)
    : isTiff(isTiffArg), reader(&readerArg), noteStart(readerArg.makerNoteStart + 1) {}

bool TmsInfo::Decode() {
  const std::string make = UpperAscii(reader->GetTagText("Make")).substr(0, 5);
  if (isTiff) noteStart += 16;
  const Bytes& note = reader->makerNote;
  const bool be = reader->motorolaOrder;

  MakerWalk w{};
  if (make == "NIKON") {
    const std::string version(reader->exifVersion.begin(), reader->exifVersion.end());
    const std::string model = reader->GetTagText("Model");
    const auto space = model.find(' ');
    const bool modelD = space != std::string::npos && space + 1 < model.size() && model[space + 1] == 'D';
    if ((!version.empty() && version > "0210") || (version.empty() && isTiff && modelD))
      w = {MakerTable::kNikonType3, 0, 9, 18, 27, be};
    else if (!StartsWith(note, "Nikon"))
      w = {MakerTable::kNikonType3, 0, noteStart - 8, 0, 27, be};
    else
      w = {MakerTable::kNikonType1, 0, noteStart, 8, 10, be};
  } else if (make == "OLYMP") {
    w = {MakerTable::kOlympus, 9, noteStart, 8, 32, be};
  } else if (make == "CASIO") {
    if (StartsWith(note, "QVC"))
      w = {MakerTable::kCasioType2, 0, noteStart - 2, 6, 44, be};
    else
      w = {MakerTable::kCasioType1, 0, noteStart - 8, 0, 25, be};
  } else if (make == "FUJIF") {
    w = {MakerTable::kFujifilm, 0, 13, 12, 17, false};
  } else if (make == "CANON") {
    w = {MakerTable::kCanon, 0, noteStart - 8, 0, 15, be};
  } else if (make == "SEIKO") {
    w = {MakerTable::kSeiko, 0, noteStart, 8, 11, be};
  } else if (make == "SANYO") {
    w = {MakerTable::kSanyo, 0, noteStart, 8, 5, be};
  } else if (make == "MINOL") {
    w = {MakerTable::kMinolta, 0, noteStart - 8, 0, 1, be};
  } else {
    return false;
  }
  try {
    if (make == "NIKON" && !isTiff) KeepNikonSubdirectories();
    ReadMakerDirectory(w);
  } catch (const EMetadata& e) {
    reader->ReportProblem(std::string(msg::kErrorDetected) + e.what());
  } catch (const ByteRangeError& e) {
    reader->ReportProblem(std::string(msg::kErrorDetected) + e.what());
  }
  makerText = make;
  return true;
}

void TmsInfo::KeepNikonSubdirectories() {
  constexpr std::uint16_t kPreviewIfd = 0x0011, kScanIfd = 0x0E10, kStart = 0x0201, kLength = 0x0202;
  constexpr std::size_t kMaxEntries = 512;
  const ByteView section(reader->buffer);
  const auto note = reader->makerNoteStart;
  // Offsets count from the note's own TIFF header ("Nikon" 0 2 ...), else from the EXIF block's.
  std::int64_t base = 8, ifd = note;
  bool be = reader->motorolaOrder;
  if (StartsWith(reader->makerNote, std::string_view("Nikon\0\2", 7))) {
    base = note + 10;
    const auto order = section.u16(static_cast<std::size_t>(base), true);
    if (!order || (*order != 0x4949 && *order != 0x4D4D)) return;
    be = *order == 0x4D4D;
    ifd = base + section.u32(static_cast<std::size_t>(base) + 4, be).value_or(0);
  } else if (StartsWith(reader->makerNote, "Nikon")) {
    return;  // the old layout has no sub-directories
  }
  const auto keep = [&](std::int64_t from, std::uint64_t n) {
    if (from < 0 || n == 0 || static_cast<std::uint64_t>(from) >= section.size()) return;
    n = std::min<std::uint64_t>(n, section.size() - static_cast<std::uint64_t>(from));
    reader->makerNoteOutside.emplace_back(from, from + static_cast<std::int64_t>(n));
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
  const ByteView note(reader->makerNote);
  const ByteView section(reader->buffer);
  const auto table = MakerTagTable(walk.table).first(static_cast<std::size_t>(walk.lastRow) + 1);
  const std::int64_t sourceStart = walk.sourceStart, dirPos = walk.dirPos;
  const bool be = walk.bigEndian;
  // A value offset o lies at note position o + valueBase (offsetBase counts from 1).
  const std::int64_t valueBase = dirPos - walk.offsetBase + 1;
  if (dirPos < 0) return;
  IfdEntries entries({.block = note, .directory = dirPos, .valueBase = valueBase, .bigEndian = be}, &reader->limits);
  if (!entries.Count()) return;
  const bool decode = reader->owner().decodeValues;
  while (const auto entry = entries.Next()) {
    const std::uint16_t tag = entry->tag;
    const std::uint16_t format = entry->type;
    const std::uint32_t components = entry->count;
    const std::uint64_t byteCount = entry->byteCount;
    if (byteCount == 0) continue;
    ByteView bytes;
    if (entry->value) {
      bytes = *entry->value;
    } else {
      // Past the note's end: the makers' offsets then count from the section.
      const std::int64_t from = sourceStart + std::int64_t{entry->field} - 1;
      if (from >= 0) bytes = section.bytesUpTo(static_cast<std::size_t>(from), byteCount);
      if (!bytes.empty()) reader->makerNoteOutside.emplace_back(from, from + static_cast<std::int64_t>(bytes.size()));
      if (!reader->limits.TakeBytes(bytes.size())) break;
    }

    const TagRow* row = nullptr;
    std::size_t rowIndex = 0;
    for (std::size_t r = 0; r < table.size(); ++r) {
      if (table[r].tag == tag) {
        row = &table[r];
        rowIndex = r;
        break;
      }
    }
    if (row && SameText(row->name, "Skip")) continue;

    const char* code = row ? row->code : "";
    const char* fmt = row ? row->format : "";
    const std::string quoted = "\"" + ToUtf8(bytes.span()) + "\"";
    std::string text = (format == kAscii || format == kUndefined)
                           ? quoted
                           : FormatNumbers(bytes, components, format, {code, fmt, decode}, be);
    std::vector<ComputedField> fields;
    if (row && rowIndex > 0 && row->formatter != Formatter::kNone && decode) {
      try {
        text = ApplyFormatter(row->formatter, {text, bytes, be}, &fields);
      } catch (const EMetadata&) {
        text = quoted;
        fields.clear();
      }
    } else {
      text = Printable(text);
    }
    if (!reader->limits.TakeBytes(2 * text.size())) break;
    for (const auto& f : fields) {
      if (!reader->limits.TakeEntry()) break;
      reader->AddComputedEntry(f.name, f.text, kAscii);
    }
    if (row && rowIndex > 0) {
      TTagEntry e = EntryFromRow(*row);
      e.data = std::move(text);
      e.raw.assign(bytes.span().begin(), bytes.span().end());
      e.rawSize = static_cast<std::int32_t>(e.raw.size());
      e.type = format;
      e.count = static_cast<std::uint16_t>(components);
      e.kind = 1;
      reader->entries.push_back(std::move(e));
    }
  }
}

}  // namespace velmora
