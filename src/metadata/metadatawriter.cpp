#include "metadata/metadatawriter.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "metadata/exifedit.h"
#include "metadata/exiftags.h"
#include "metadata/jpegmarkers.h"
#include "metadata/jpegsegments.h"
#include "metadata/messages.h"
#include "metadata/tagtables.h"
#include "metadata/xmpgps.h"

namespace velmora {

namespace {

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

// The EXIF piece; when the container cannot hold it, the thumbnail and IFD1 are left out (and
// noted) and, if it still does not fit, ESegmentTooLong goes to the caller.
Bytes ExifTiff(const TExifEdit& exif, bool stripGps, const TPieceLimits& limits, std::vector<TOutputNote>* notes) {
  bool withThumbnail = true;
  while (true) {
    TExifWriter writer(exif);
    writer.writeThumbnail = writer.writeThumbnail && withThumbnail;
    writer.stripGps = stripGps;
    ByteWriter tiff;
    try {
      writer.WriteBlock(tiff);
      if (limits.tiffFits) limits.tiffFits(tiff.data());
      return tiff.take();
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
void StripGpsFromExifXmp(TExifEdit& exif, std::vector<TOutputNote>* notes) {
  std::erase_if(exif.entries, [&](TTagEntry& e) {
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
void MarkUpright(TExifEdit& exif, int from, const ThumbnailTurner& turn, std::vector<TOutputNote>* notes) {
  exif.MarkOrientationUpright();
  if (!exif.thumbStrips.empty()) {
    exif.thumbStrips.clear();
    exif.thumbStripSizes.clear();
    Note(notes, TOutputNote::Kind::kThumbnail, msg::kStripsNotTurned);
  }
  if (!exif.HasThumbnail()) return;
  std::optional<Bytes> turned;
  std::string cause = msg::kThumbnailNotTurned;
  if (turn) {
    try {
      turned = turn(exif.thumbnail, from);
    } catch (const std::exception& e) {
      cause += std::string(" (") + e.what() + ")";
      turned.reset();
    }
  }
  if (turned && !turned->empty()) {
    exif.thumbnail = std::move(*turned);
  } else {
    exif.thumbnail.clear();
    Note(notes, TOutputNote::Kind::kThumbnail, cause);
  }
}

}  // namespace

std::string TOutputNote::Text() const {
  if (kind == Kind::kOutput) return cause;
  if (kind == Kind::kColour) return msg::kWithoutColourConversion + cause;
  return (kind == Kind::kThumbnail ? msg::kWithoutThumbnail : msg::kWithoutMetadata) + cause;
}

std::string WithMarker(std::string_view pattern, unsigned marker) { return Fill(pattern, Hex2(marker)); }

// ---- TExifWriter ------------------------------------------------------------------------------------

TExifWriter::TExifWriter(const TExifEdit& exif) : motorolaOrder(exif.source().motorolaOrder), exif_(exif) {
  writeThumbnail = (exif.HasThumbnail() || !exif.thumbStrips.empty()) && !exif.thumbEntries.empty();
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
  const TImageInfo& info = exif_.source();
  const bool be = motorolaOrder;
  PendingPointers pending;
  claimed_ = {kParentIfd0, kParentIfd1};
  kept_.clear();
  makerAt_ = -1;
  const bool noteWritten = std::any_of(exif_.entries.begin(), exif_.entries.end(), [&](const TTagEntry& e) {
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
  const bool be = motorolaOrder;
  const bool ifd1 = parent == kParentIfd1;
  std::vector<Field> fields;
  for (const TTagEntry& e : ifd1 ? exif_.thumbEntries : exif_.entries) {
    if (e.parentId != parent || e.kind != 0) continue;
    if (strips && e.tag == kTagStripOffsets) {
      const auto n = static_cast<std::uint32_t>(exif_.thumbStripSizes.size());
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
  const TExifEdit& info = exif_;
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
    if (at < 0 || f.tag != kTagMakerNote || f.value != info.source().makerNote) {
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

Bytes TIPTCWriter::Resource() const {
  ByteWriter resource;
  const std::size_t sizePos = WriteResourceHeader(resource, kIptcResourceId, "");
  const std::size_t start = resource.size();
  // IIM wants the records in ascending order, which the blocks of several APP13 segments read one
  // after another need not give (each may hold a record 1); within a record the file's order stays.
  std::vector<const TTagEntry*> ordered;
  for (const TTagEntry& e : iptc_.Entries()) ordered.push_back(&e);
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
      version.raw = iptc_.RecordVersion().value_or(Bytes{0, 4});
      WriteDataset(resource, version);
      versionWritten = true;
    }
    WriteDataset(resource, e);
  }
  const std::size_t size = resource.size() - start;
  if (size > std::numeric_limits<std::uint32_t>::max())
    throw ESegmentTooLong(Fill(msg::kSegmentTooLong, Hex2(kMarkerApp13)));
  resource.patch32(sizePos, static_cast<std::uint32_t>(size), true);
  if (size % 2 == 1) resource.u8(0);  // resource data is padded to an even size
  return resource.take();
}

// ---- The pieces -------------------------------------------------------------------------------------

ByteView TOutputMetadata::XmpPacket() const {
  const std::size_t head = kXmpId.size() + 1;
  for (const Bytes& payload : xmp)
    if (payload.size() >= head && std::equal(kXmpId.begin(), kXmpId.end(), payload.begin()) && payload[head - 1] == 0)
      return ByteView(payload).sub(head, payload.size() - head);
  return {};
}

void RenameXmpIccProfile(Bytes& segment, std::string_view name) {
  constexpr std::string_view kProperty = "photoshop:ICCProfile";
  if (segment.size() < 2) return;
  std::string text(segment.begin() + 2, segment.end());
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t at = 0;
  bool changed = false;
  while ((at = text.find(kProperty, at)) != std::string::npos) {
    const bool closingTag = at > 0 && text[at - 1] == '/';
    std::size_t pos = at + kProperty.size();
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
  if (!changed || text.size() + 2 > kMaxSegmentLength) return;
  segment.resize(2);
  segment[0] = static_cast<std::uint8_t>((text.size() + 2) >> 8);
  segment[1] = static_cast<std::uint8_t>((text.size() + 2) & 0xFF);
  segment.insert(segment.end(), text.begin(), text.end());
}

namespace {

// The EXIF side of a picture converted to sRGB; the picture is sRGB whatever the source's entries
// allow, so an entry the writer cannot take stays as read.
void MarkSrgb(TExifEdit& exif) {
  try {
    exif.SetTagValue("ColorSpace", std::int64_t{1}, SetIn::kMainTable);
  } catch (const EMetadata&) {
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

// The XMP segments as carried (each JpegSection data: length field first), edited for the output.
std::vector<Bytes> XmpSegments(const TImgData& source, const TOutputOptions& options, std::vector<TOutputNote>* notes) {
  std::vector<Bytes> segments = source.xmpSegments;
  if (options.convertedToSrgb)
    for (Bytes& segment : segments) RenameXmpIccProfile(segment, options.convertedToSrgb->profileName);
  if (options.stripGps) {
    std::vector<std::string> causes;
    segments = StripGpsFromXmpSegments(segments, causes);
    for (std::string& cause : causes) Note(notes, TOutputNote::Kind::kMetadata, std::move(cause));
  }
  return segments;
}

}  // namespace

TOutputMetadata MakeOutputMetadata(const TImgData& source, const TOutputOptions& options, const TPieceLimits& limits) {
  TOutputMetadata out;
  if (options.iccProfile) {
    const ByteView profile =
        options.convertedToSrgb ? ByteView(options.convertedToSrgb->profile) : source.CarriedIccProfile();
    out.icc.assign(profile.span().begin(), profile.span().end());
  }
  out.metadata = options.metadata && source.HasMetadata();
  if (!out.metadata) return out;
  std::vector<TOutputNote>* notes = &out.notes;
  NoteWhatWasNotRead(source, notes);
  if (source.HasExif()) {
    TExifEdit exif(*source.exifInfo);
    if (options.convertedToSrgb) MarkSrgb(exif);
    if (!limits.thumbnail) {  // nor is it turned: the format has its own
      exif.thumbnail.clear();
      exif.thumbStrips.clear();
      exif.thumbStripSizes.clear();
    }
    if (options.turnedFrom != kOrientationUpright) MarkUpright(exif, options.turnedFrom, options.turnThumbnail, notes);
    if (options.adjustSize) exif.SetImageSize(options.height, options.width);
    if (options.stripGps) StripGpsFromExifXmp(exif, notes);
    out.tiff = ExifTiff(exif, options.stripGps, limits, notes);
  } else if (const JpegSection* app0 = source.App0Section()) {
    ByteWriter segment;
    segment.u8(0xFF);
    segment.u8(static_cast<std::uint8_t>(app0->marker));
    segment.bytes(app0->data);
    out.jpegApp0 = segment.take();
  }
  for (const Bytes& segment : XmpSegments(source, options, notes))
    if (segment.size() >= 2) out.xmp.emplace_back(segment.begin() + 2, segment.end());
  if (source.HasIptc()) out.iptc = TIPTCWriter(*source.iptcData).Resource();
  out.comment = source.comment;
  return out;
}

}  // namespace velmora
