#include "metadata/metadatawriter.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "metadata/exiftags.h"
#include "metadata/iccprofile.h"
#include "metadata/jpegmarkers.h"
#include "metadata/jpegsegments.h"
#include "metadata/messages.h"
#include "metadata/segmentreader.h"
#include "metadata/tagtables.h"
#include "metadata/xmpgps.h"

namespace velmora {

namespace {

constexpr ReadParts kMetadataParts = kPartExif | kPartIptc | kPartComment;

bool IsPointerTag(std::uint16_t tag) { return tag == kParentExif || tag == kParentGps || tag == kParentInterop; }

// Offsets of data that is not carried over (strips, tiles, free space, a thumbnail met outside IFD1)
// would point at unrelated bytes of the new block. Microsoft's Padding reserves room in the source's
// block and its OffsetSchema says how far the maker note moved there: neither is true of the new one.
bool PointsAtDataLeftBehind(std::uint16_t tag, bool ifd1) {
  if (tag == kTagStripOffsets || tag == kTagFreeOffsets || tag == kTagTileOffsets || tag == kTagPadding ||
      tag == kTagOffsetSchema)
    return true;
  return !ifd1 && (tag == kTagJpegOffset || tag == kTagJpegLength);
}

// An EXIF directory as the user may know it from other programs.
const char* DirectoryName(std::uint16_t parent) {
  switch (parent) {
    case kParentIfd0:
      return "IFD0";
    case kParentIfd1:
      return "IFD1";
    case kParentExif:
      return "Exif";
    case kParentGps:
      return "GPS";
    case kParentInterop:
      return "Interop";
    default:
      return "SubIFD";
  }
}

std::string Hex2(unsigned v) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return {kDigits[(v >> 4) & 15], kDigits[v & 15]};
}

// The pattern with its one placeholder (%s or %.2x) replaced by the value.
std::string Fill(std::string_view pattern, std::string_view value) {
  for (const std::string_view placeholder : {"%s", "%.2x"}) {
    const auto at = pattern.find(placeholder);
    if (at != std::string_view::npos)
      return std::string(pattern.substr(0, at)).append(value).append(pattern.substr(at + placeholder.size()));
  }
  return std::string(pattern);
}

void Marker(ByteWriter& out, std::uint8_t code) {
  out.u8(0xFF);
  out.u8(code);
}

void WriteSegment(ByteWriter& out, const JpegSegment& segment) {
  Marker(out, segment.marker);
  out.bytes(segment.data.span());
}

// One IPTC dataset: 0x1C, record, dataset, length, value.
void WriteDataset(ByteWriter& out, const TTagEntry& e) {
  Bytes value = e.raw;
  switch (e.type) {
    case 2:
      break;  // as read: IIM values carry no padding, and a zero byte would become part of the text
    case 3:
      value.resize(2, 0);
      break;
    case 0:
      // Datasets the table does not name (photo-management programs write their own, such as 2:221)
      // go back exactly as they were read.
      break;
    default:
      throw EExifWriter(msg::kTagTypeNotSupported);
  }
  out.u8(0x1C);
  out.u8(static_cast<std::uint8_t>(e.tag >> 8));
  out.u8(static_cast<std::uint8_t>(e.tag));
  if (value.size() < 0x8000) {
    out.u16(static_cast<std::uint16_t>(value.size()), true);
  } else {
    // IIM's extended dataset: the top bit set, the low bits giving the size of the length that follows.
    if (value.size() > std::numeric_limits<std::uint32_t>::max())
      throw ESegmentTooLong(Fill(msg::kSegmentTooLong, Hex2(kMarkerApp13)));
    out.u16(0x8004, true);
    out.u32(static_cast<std::uint32_t>(value.size()), true);
  }
  out.bytes(value);
}

void Note(std::vector<TOutputNote>* notes, TOutputNote::Kind kind, std::string cause) {
  if (notes) notes->push_back({kind, std::move(cause)});
}

// The EXIF APP1 segment; when it would not fit its length field, the thumbnail and IFD1 are left out
// (and noted) and, if it still does not fit, ESegmentTooLong goes to the caller.
Bytes ExifSegment(const TImgData& img, bool stripGps, std::vector<TOutputNote>* notes) {
  bool withThumbnail = true;
  while (true) {
    TExifWriter writer(img);
    writer.motorolaOrder = img.motorolaOrder;
    writer.writeThumbnail = writer.writeThumbnail && withThumbnail;
    writer.stripGps = stripGps;
    ByteWriter segment;
    try {
      writer.WriteExifHeader(segment);
      writer.WriteBlock(segment);
      return segment.take();
    } catch (const ESegmentTooLong& e) {
      if (!writer.writeThumbnail) throw;
      Note(notes, TOutputNote::Kind::kThumbnail, e.what());
      withThumbnail = false;
    }
  }
}

// What the reader had to leave behind, for the notes of a save with metadata.
void NoteWhatWasNotRead(const TImgData& img, std::vector<TOutputNote>* notes) {
  if (const TImageInfo* info = img.exifInfo.get()) {
    if (!info->dropped.empty()) {
      std::string list;
      for (const auto& d : info->dropped) {
        const TagRow* row = FindRowByTag(d.parentId == kParentGps ? GpsTagTable() : MainTagTable(), d.tag);
        const std::string name = row && row != &UnknownTagRow() ? row->name : UnknownTagName(d.tag);
        list += (list.empty() ? "" : ", ") + std::string(DirectoryName(d.parentId)) + " " + name;
      }
      Note(notes, TOutputNote::Kind::kMetadata, msg::kDroppedEntries + list);
    }
    if (info->illegalDirectories > 0) Note(notes, TOutputNote::Kind::kMetadata, msg::kDirectoryOutsideBlock);
  }
  if (img.iptcData && img.iptcData->Truncated()) Note(notes, TOutputNote::Kind::kMetadata, msg::kIptcCut);
  if (img.iptcTrailerLeft) Note(notes, TOutputNote::Kind::kMetadata, msg::kIptcTrailerLeft);
}

// XMP inside the EXIF block (IFD0's ExtensibleMetadataPlatform) loses its position like the segments.
void StripGpsFromExifXmp(TImageInfo& info, std::vector<TOutputNote>* notes) {
  std::erase_if(info.entries, [&](TTagEntry& e) {
    if (e.tag != kTagXmp || e.parentId != kParentIfd0 || e.kind != 0) return false;
    try {
      e.raw = StripXmpGps(e.raw);
      e.rawSize = static_cast<std::int32_t>(e.raw.size());
      return false;
    } catch (const std::exception& error) {
      Note(notes, TOutputNote::Kind::kMetadata, msg::WithDetail(msg::kExifXmpUnreadable, error.what()));
      return true;
    }
  });
}

// The pixels were turned upright from `from`: the Orientation entries say so now, and the thumbnail
// is turned with them or, when it cannot be, left out (and noted) rather than left sideways.
void MarkUpright(TImageInfo& info, int from, const ThumbnailTurner& turn, std::vector<TOutputNote>* notes) {
  const auto upright = [&info](std::vector<TTagEntry>& list) {
    for (TTagEntry& e : list) {
      if (e.tag != kTagOrientation || e.kind != 0 || e.type != kShort || e.raw.size() != 2) continue;
      ByteWriter one;
      one.u16(kOrientationUpright, info.motorolaOrder);
      e.raw = one.take();
      e.data = info.TextOfEntry(e);
    }
  };
  upright(info.entries);
  upright(info.thumbEntries);
  if (!info.thumbStrips.empty()) {
    info.thumbStrips.clear();
    info.thumbStripSizes.clear();
    Note(notes, TOutputNote::Kind::kThumbnail, msg::kStripsNotTurned);
  }
  if (!info.HasThumbnail()) return;
  std::optional<Bytes> turned;
  std::string cause = msg::kThumbnailNotTurned;
  if (turn) {
    try {
      turned = turn(info.thumbnail, from);
    } catch (const std::exception& e) {
      cause += std::string(" (") + e.what() + ")";
      turned.reset();
    }
  }
  if (turned && !turned->empty()) {
    info.thumbnail = std::move(*turned);
  } else {
    info.thumbnail.clear();
    Note(notes, TOutputNote::Kind::kThumbnail, cause);
  }
}

}  // namespace

std::string TOutputNote::Text() const {
  if (kind == Kind::kOutput) return cause;
  if (kind == Kind::kColour) return msg::kWithoutColourConversion + cause;
  return (kind == Kind::kThumbnail ? msg::kWithoutThumbnail : msg::kWithoutMetadata) + cause;
}

// ---- TBasicMetadataWriter ---------------------------------------------------------------------------

void TBasicMetadataWriter::PatchSegmentLength(ByteWriter& stream, std::int64_t segmentStart) {
  if (segmentStart < 0) return;
  const auto start = static_cast<std::size_t>(segmentStart);
  if (stream.size() < start + 4) throw EExifWriter(msg::kIncorrectStreamPosition);
  const std::size_t length = stream.size() - (start + 2);
  if (length > kMaxSegmentLength) throw ESegmentTooLong(Fill(msg::kSegmentTooLong, Hex2(stream.data()[start + 1])));
  stream.patch16(start + 2, static_cast<std::uint16_t>(length), true);
}

// ---- TExifWriter ------------------------------------------------------------------------------------

TExifWriter::TExifWriter(const TImgData& img) : TBasicMetadataWriter(img) {
  writeThumbnail = img.HasExif() && (img.exifInfo->HasThumbnail() || !img.exifInfo->thumbStrips.empty()) &&
                   !img.exifInfo->thumbEntries.empty();
}

void TExifWriter::WriteExifHeader(ByteWriter& stream) {
  segmentStart = static_cast<std::int64_t>(stream.size());
  Marker(stream, kMarkerApp1);
  stream.u16(0, true);
  stream.text(std::string("Exif\0\0", 6));
}

std::uint32_t TExifWriter::ToBlockOffset(std::int64_t position) const {
  if (position <= tiffStart || position - tiffStart > std::numeric_limits<std::uint32_t>::max())
    throw EExifWriter(msg::kIncorrectStreamPosition);
  return static_cast<std::uint32_t>(position - tiffStart);
}

std::int64_t TExifWriter::Place(std::int64_t at, std::int64_t n) const {
  for (const Range& r : kept_)
    if (at < r.end && at + n > r.start) at = r.end + r.end % 2;
  return at;
}

void TExifWriter::WriteBlock(ByteWriter& stream) {
  TBasicMetadataWriter::WriteBlock(stream);
  if (!imgData().exifInfo) throw std::logic_error("TExifWriter: the source has no EXIF block");
  const TImageInfo& info = *imgData().exifInfo;
  const bool be = motorolaOrder;
  PendingPointers pending;
  claimed_ = {kParentIfd0, kParentIfd1};
  kept_.clear();
  makerAt_ = -1;
  const bool noteWritten = std::any_of(info.entries.begin(), info.entries.end(), [&](const TTagEntry& e) {
    return e.kind == 0 && e.tag == kTagMakerNote && e.raw == info.makerNote;
  });
  if (!info.isTiff && !info.makerNote.empty() && noteWritten) {
    // In a JPEG's EXIF section the TIFF header lies 8 bytes in: position p is block offset p - 8.
    std::vector<Range> ranges{{info.makerNoteStart - 8, info.makerNoteStart - 8 + std::ssize(info.makerNote)}};
    for (const auto& [from, to] : info.makerNoteOutside) ranges.push_back({from - 8, to - 8});
    std::erase_if(ranges, [](const Range& r) { return r.start < 8; });  // never over the TIFF header
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
    for (const Range& r : ranges) {
      if (!kept_.empty() && r.start <= kept_.back().end)
        kept_.back().end = std::max(kept_.back().end, r.end);
      else
        kept_.push_back(r);
    }
    if (info.makerNoteStart - 8 >= 8) makerAt_ = info.makerNoteStart - 8;
  }
  tiffStart = static_cast<std::int64_t>(stream.size());
  stream.text(be ? "MM" : "II");
  stream.u16(42, be);
  stream.u32(8, be);
  const Written ifd0 = WriteDirectory(stream, kParentIfd0, pending);
  stream.patch32(static_cast<std::size_t>(tiffStart) + 4, ifd0.offset, be);
  if (writeThumbnail) stream.patch32(ifd0.nextField, WriteDirectory(stream, kParentIfd1, pending).offset, be);
  while (!pending.empty()) {
    const std::size_t entry = pending.front();
    const std::uint16_t tag = ByteView(stream.data()).u16(entry, be).value();
    stream.patch32(entry + 8, WriteDirectory(stream, tag, pending).offset, be);
    pending.pop_front();
  }
  // The kept ranges get the source's bytes, where they were.
  if (!kept_.empty()) {
    const auto end = static_cast<std::size_t>(tiffStart + kept_.back().end);
    while (stream.size() < end) stream.u8(0);
    for (const Range& r : kept_) {
      const auto bytes =
          ByteView(info.buffer)
              .bytesUpTo(static_cast<std::size_t>(r.start + 8), static_cast<std::size_t>(r.end - r.start));
      stream.patch(static_cast<std::size_t>(tiffStart + r.start), bytes);
    }
  }
  PatchSegmentLength(stream, segmentStart);
}

// One entry of a directory being written.
struct TExifWriter::Field {
  std::uint16_t tag, type;
  std::uint32_t count;
  Bytes value;
  bool pointer = false;      // patched once the directory it points to is written
  bool thumbOffset = false;  // gets the copied thumbnail's offset (each strip's)
};

std::vector<TExifWriter::Field> TExifWriter::DirectoryFields(std::uint16_t parent, bool strips,
                                                             const Bytes& thumbnail) {
  const TImageInfo& info = *imgData().exifInfo;
  const bool be = motorolaOrder;
  const bool ifd1 = parent == kParentIfd1;
  std::vector<Field> fields;
  for (const TTagEntry& e : ifd1 ? info.thumbEntries : info.entries) {
    if (e.parentId != parent || e.kind != 0) continue;
    if (strips && e.tag == kTagStripOffsets) {
      const auto n = static_cast<std::uint32_t>(info.thumbStripSizes.size());
      fields.push_back({e.tag, kLong, n, Bytes(4 * std::size_t{n}, 0), false, true});
      continue;
    }
    // The directories behind SubIFDs are not written, so neither is a pointer that would lead nowhere.
    if (e.tag == kTagSubIfds || PointsAtDataLeftBehind(e.tag, ifd1)) continue;
    if (IsPointerTag(e.tag)) {
      if (stripGps && e.tag == kParentGps) continue;
      // Each directory once: a pointer back to a directory already written would loop for ever.
      if (claimed_.insert(e.tag).second) fields.push_back({e.tag, kLong, 1, Bytes(4, 0), true});
      continue;
    }
    if (ifd1 && (e.tag == kTagJpegOffset || e.tag == kTagJpegLength)) {
      ByteWriter length;
      length.u32(static_cast<std::uint32_t>(thumbnail.size()), be);
      fields.push_back({e.tag, kLong, 1, length.take(), false, e.tag == kTagJpegOffset});
      continue;
    }
    const int size = FormatSize(e.type);
    if (size == 0) continue;
    Field f{e.tag, e.type, 0, e.raw};
    if (e.raw.empty()) {
      fields.push_back(std::move(f));  // no value, as read: count 0
      continue;
    }
    if (e.type == kAscii) {
      if (f.value.back() != 0) f.value.push_back(0);
    } else if (e.type != kUndefined) {
      f.value.resize(f.value.size() / static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
      if (f.value.empty()) continue;
    }
    f.count = static_cast<std::uint32_t>(f.value.size() / static_cast<std::size_t>(size));
    fields.push_back(std::move(f));
  }
  return fields;
}

TExifWriter::Written TExifWriter::WriteDirectory(ByteWriter& stream, std::uint16_t parent, PendingPointers& pending) {
  const TImageInfo& info = *imgData().exifInfo;
  const bool be = motorolaOrder;
  const bool ifd1 = parent == kParentIfd1;

  // IFD1's picture: the JPEG thumbnail, else the strips of an uncompressed one.
  const bool strips = ifd1 && info.thumbnail.empty() && !info.thumbStrips.empty();
  const Bytes& thumbnail = strips ? info.thumbStrips : info.thumbnail;
  std::vector<Field> fields = DirectoryFields(parent, strips, thumbnail);
  // TIFF wants the entries in ascending tag order; an appended entry (the image size) moves to its place.
  std::stable_sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });
  if (fields.size() > 0xFFFF) throw ESegmentTooLong(Fill(msg::kSegmentTooLong, Hex2(kMarkerApp1)));

  const auto zeros = [](ByteWriter& out, std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i) out.u8(0);
  };
  const std::int64_t end = ToBlockOffset(static_cast<std::int64_t>(stream.size()));
  const std::int64_t dirSize = 2 + 12 * static_cast<std::int64_t>(fields.size()) + 4;
  const std::int64_t dirOffset = Place(end, dirSize);
  zeros(stream, dirOffset - end);
  std::int64_t valueBase = dirOffset + dirSize;
  std::int64_t thumbOffset = valueBase;
  if (ifd1) {
    thumbOffset = Place(valueBase, static_cast<std::int64_t>(thumbnail.size()));
    valueBase = thumbOffset + static_cast<std::int64_t>(thumbnail.size());
  }
  // Values start on even offsets, as TIFF asks, and so does the next directory.
  ByteWriter values;
  const auto valuesEnd = [&] { return valueBase + static_cast<std::int64_t>(values.size()); };
  stream.u16(static_cast<std::uint16_t>(fields.size()), be);
  for (Field& f : fields) {
    if (f.pointer) pending.push_back(stream.size());
    if (f.thumbOffset) {
      ByteWriter offset;
      std::int64_t at = thumbOffset;
      offset.u32(ToBlockOffset(tiffStart + at), be);
      if (strips)
        for (std::size_t i = 0; i + 1 < info.thumbStripSizes.size(); ++i)
          offset.u32(ToBlockOffset(tiffStart + (at += info.thumbStripSizes[i])), be);
      f.value = offset.take();
    }
    stream.u16(f.tag, be);
    stream.u16(f.type, be);
    stream.u32(f.count, be);
    if (f.value.size() <= 4) {
      stream.bytes(f.value);
      zeros(stream, 4 - static_cast<std::int64_t>(f.value.size()));
      continue;
    }
    std::int64_t at = makerAt_;
    if (at < 0 || f.tag != kTagMakerNote || f.value != info.makerNote) {
      at = Place(valuesEnd() + valuesEnd() % 2, std::ssize(f.value));
      zeros(values, at - valuesEnd());
      values.bytes(f.value);
    }
    stream.u32(ToBlockOffset(tiffStart + at), be);
  }
  zeros(values, valuesEnd() % 2);
  const std::size_t nextField = stream.size();
  stream.u32(0, be);
  if (ifd1) {
    zeros(stream, thumbOffset - (dirOffset + dirSize));
    stream.bytes(thumbnail);
  }
  stream.bytes(values.data());
  return {ToBlockOffset(tiffStart + dirOffset), nextField};
}

// ---- TIPTCWriter ------------------------------------------------------------------------------------

void TIPTCWriter::WriteIptcHeader(ByteWriter& stream) {
  segmentStart = static_cast<std::int64_t>(stream.size());
  Marker(stream, kMarkerApp13);
  stream.u16(0, true);
  stream.text(std::string("Photoshop 3.0\0", 14));
}

std::size_t TIPTCWriter::WriteResourceHeader(ByteWriter& stream, std::uint16_t id, const std::string& name) {
  if (name.size() > 255) throw EExifWriter(Fill(msg::kResourceNameTooLong, name));
  stream.text("8BIM");
  stream.u16(id, true);
  stream.u8(static_cast<std::uint8_t>(name.size()));
  stream.text(name);
  // The name with its length byte is padded to an even length; the pad byte is no part of the name.
  if (name.size() % 2 == 0) stream.u8(0);
  const std::size_t sizePos = stream.size();
  stream.u32(0, true);
  return sizePos;
}

void TIPTCWriter::WriteBlock(ByteWriter& stream) {
  TBasicMetadataWriter::WriteBlock(stream);
  ByteWriter resource;
  const std::size_t sizePos = WriteResourceHeader(resource, kIptcResourceId, "");
  const std::size_t start = resource.size();
  if (const TIPTCdata* iptc = imgData().iptcData.get()) {
    // IIM wants the records in ascending order, which the blocks of several APP13 segments read one
    // after another need not give (each may hold a record 1); within a record the file's order stays.
    std::vector<const TTagEntry*> ordered;
    for (const TTagEntry& e : iptc->Entries()) ordered.push_back(&e);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const TTagEntry* a, const TTagEntry* b) { return a->tag >> 8 < b->tag >> 8; });
    bool versionWritten = false;
    for (const TTagEntry* entry : ordered) {
      const TTagEntry& e = *entry;
      // IIM wants the record version first in record 2; the source's, or version 4.
      if (e.tag >> 8 == 2 && !versionWritten) {
        TTagEntry version;
        version.tag = 2 << 8;
        version.type = 0;
        version.raw = iptc->RecordVersion().value_or(Bytes{0, 4});
        WriteDataset(resource, version);
        versionWritten = true;
      }
      WriteDataset(resource, e);
    }
  }
  const std::size_t size = resource.size() - start;
  if (size > std::numeric_limits<std::uint32_t>::max())
    throw ESegmentTooLong(Fill(msg::kSegmentTooLong, Hex2(kMarkerApp13)));
  resource.patch32(sizePos, static_cast<std::uint32_t>(size), true);
  if (size % 2 == 1) resource.u8(0);  // resource data is padded to an even size
  // More than one segment holds: the resources go on in the next APP13, each with the identifier, as
  // Photoshop splits them (and the reader puts them together again).
  constexpr std::size_t kPerSegment = kMaxSegmentLength - 2 - 14;
  const ByteView all(resource.data());
  for (std::size_t at = 0; at < all.size(); at += kPerSegment) {
    if (at > 0) {
      PatchSegmentLength(stream, segmentStart);
      WriteIptcHeader(stream);
    }
    stream.bytes(all.sub(at, std::min(kPerSegment, all.size() - at)).span());
  }
  PatchSegmentLength(stream, segmentStart);
}

// ---- TImageInfo -------------------------------------------------------------------------------------

void TImageInfo::SetImageSize(std::int64_t height, std::int64_t width) {
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
      w.u16(static_cast<std::uint16_t>(value), motorolaOrder);
    } else {
      w.u32(static_cast<std::uint32_t>(value), motorolaOrder);
    }
    e.raw = w.take();
    e.rawSize = static_cast<std::int32_t>(e.raw.size());
    e.count = 1;
    e.data = TextOfEntry(e);
  }
}

// ---- TImgData ---------------------------------------------------------------------------------------

Bytes TImgData::WriteOutput(ByteView encoded, const TOutputOptions& options, std::vector<TOutputNote>* notes) {
  ReadParts parts = options.iccProfile ? kPartIcc : kPartNone;
  // Notes of this save only: a save that fails leaves none behind.
  std::vector<TOutputNote> noted;
  if (options.metadata && HasMetadata()) {
    parts |= kMetadataParts;
    NoteWhatWasNotRead(*this, &noted);
    if (HasExif()) {
      if (options.turnedFrom != kOrientationUpright)
        MarkUpright(*exifInfo, options.turnedFrom, options.turnThumbnail, &noted);
      if (options.adjustSize) exifInfo->SetImageSize(options.height, options.width);
      if (options.stripGps) StripGpsFromExifXmp(*exifInfo, &noted);
    }
  }
  // Nothing to add: the encoder's file as it is.
  if (!(parts & kMetadataParts) && (!(parts & kPartIcc) || CarriedIccProfile().empty()))
    return Bytes(encoded.span().begin(), encoded.span().end());
  ByteWriter target;
  MergeIntoJpeg(encoded, target, parts, &options, &noted);
  if (notes) notes->insert(notes->end(), noted.begin(), noted.end());
  return target.take();
}

std::size_t TImgData::WriteMetadataSegments(ByteWriter& target, ReadParts parts, ByteView plainApp0,
                                            const TOutputOptions* options, std::vector<TOutputNote>* notes) {
  const bool stripGps = options && options->stripGps;
  Marker(target, kMarkerSoi);
  if ((parts & kPartExif) && HasExif()) {
    target.bytes(ExifSegment(*this, stripGps, notes));
  } else if (!(parts & kMetadataParts)) {
    target.bytes(plainApp0.span());
  } else if (const JpegSection* app0 = App0Section()) {
    Marker(target, static_cast<std::uint8_t>(app0->marker));
    target.bytes(app0->data);
  } else {
    // JFIF 1.02, 72 dots per inch, no thumbnail.
    Marker(target, kMarkerApp0);
    target.u16(16, true);
    target.text(std::string("JFIF\0", 5));
    for (const std::uint8_t b : {1, 2, 1}) target.u8(b);
    target.u16(72, true);
    target.u16(72, true);
    target.u8(0);
    target.u8(0);
  }
  // The XMP after the EXIF block (or the header), before the profile.
  if ((parts & kPartExif) && HasXmp()) {
    std::vector<Bytes> stripped;
    if (stripGps) {
      std::vector<std::string> causes;
      stripped = StripGpsFromXmpSegments(xmpSegments, causes);
      for (std::string& cause : causes) Note(notes, TOutputNote::Kind::kMetadata, std::move(cause));
    }
    for (const Bytes& data : stripGps ? stripped : xmpSegments) {
      Marker(target, kMarkerApp1);
      target.bytes(data);
    }
  }
  if (parts & kPartIcc) WriteIccSegments(target, CarriedIccProfile());
  if ((parts & kPartIptc) && HasIptc()) {
    TIPTCWriter writer(*this);
    writer.WriteIptcHeader(target);
    writer.WriteBlock(target);
  }
  if ((parts & kPartComment) && HasComment()) {
    if (comment.size() > kMaxSegmentLength - 2) throw ESegmentTooLong(Fill(msg::kSegmentTooLong, Hex2(kMarkerCom)));
    Marker(target, kMarkerCom);
    target.u16(static_cast<std::uint16_t>(comment.size() + 2), true);
    target.text(comment);
  }
  return target.size();
}

void TImgData::MergeIntoJpeg(ByteView encoded, ByteWriter& target, ReadParts parts, const TOutputOptions* options,
                             std::vector<TOutputNote>* notes) {
  // The encoder's segments up to its scan, checked before anything is written; its APP0 goes into
  // the header's place in a plain save, the tables and frame header follow the metadata. Our own
  // encoder's output is held to the strict form: a 0xFF before every marker.
  JpegSegmentReader reader(encoded);
  if (reader.End() == JpegWalkEnd::kNoSoi)
    throw EExifWriter(encoded.has(0, 4) ? msg::kFfExpected : msg::kIncompleteSegmentHeader);
  std::vector<JpegSegment> kept;
  std::optional<JpegSegment> app0, scan;
  std::size_t walked = reader.Position();
  while (const auto segment = reader.Next()) {
    walked = reader.Position();
    if (segment->fill == 0) throw EExifWriter(msg::kFfExpected);
    switch (segment->marker) {
      case kMarkerSos:
        scan = segment;
        break;
      case kMarkerApp0:
        if (!app0) app0 = segment;
        break;
      case kMarkerApp1:
      case kMarkerApp2:
      case kMarkerApp13:
      case kMarkerCom:
        break;  // the source's metadata and profile take their place
      default:
        kept.push_back(*segment);
    }
  }
  if (reader.End() == JpegWalkEnd::kCutHeader) throw EExifWriter(msg::kIncompleteSegmentHeader);
  if (reader.End() == JpegWalkEnd::kCutSegment && reader.Position() == walked) throw EExifWriter(msg::kFfExpected);
  if (reader.End() == JpegWalkEnd::kCutSegment)
    throw EExifWriter(Fill(msg::kSegmentError, Hex2(encoded.u8(reader.Position()).value_or(0))));
  ByteWriter plainApp0;
  if (app0) WriteSegment(plainApp0, *app0);
  WriteMetadataSegments(target, parts, plainApp0.data(), options, notes);
  for (const JpegSegment& s : kept) WriteSegment(target, s);
  // The scan header, the entropy-coded data and EOI, as they are.
  if (scan) target.bytes(encoded.span().subspan(scan->start - 1));
}

}  // namespace velmora
