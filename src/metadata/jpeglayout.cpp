#include "metadata/jpeglayout.h"

#include <algorithm>
#include <optional>
#include <string>

#include "metadata/iccprofile.h"
#include "metadata/jpegmarkers.h"
#include "metadata/jpegsegments.h"
#include "metadata/messages.h"
#include "metadata/segmentreader.h"

namespace velmora {

namespace {

void Marker(ByteWriter& out, std::uint8_t code) {
  out.u8(0xFF);
  out.u8(code);
}

void WriteSegment(ByteWriter& out, const JpegSegment& segment) {
  Marker(out, segment.marker);
  out.bytes(segment.data.span());
}

// Puts the big-endian length of the segment that starts at segmentStart (its marker) into its length
// field; throws ESegmentTooLong rather than wrap.
void PatchSegmentLength(ByteWriter& stream, std::size_t start) {
  const std::size_t length = stream.size() - (start + 2);
  if (length > kMaxSegmentLength) throw ESegmentTooLong(WithMarker(msg::kSegmentTooLong, stream.data()[start + 1]));
  stream.patch16(start + 2, static_cast<std::uint16_t>(length), true);
}

// A segment's marker and a zero length field, patched once its payload is written; returns its start.
std::size_t StartSegment(ByteWriter& out, std::uint8_t marker) {
  const std::size_t start = out.size();
  Marker(out, marker);
  out.u16(0, true);
  return start;
}

void WriteExifSegment(ByteWriter& out, ByteView tiff) {
  const std::size_t start = StartSegment(out, kMarkerApp1);
  out.text(std::string("Exif\0\0", 6));
  out.bytes(tiff.span());
  PatchSegmentLength(out, start);
}

void WriteJfifApp0(ByteWriter& out) {
  // JFIF 1.02, 72 dots per inch, no thumbnail.
  Marker(out, kMarkerApp0);
  out.u16(16, true);
  out.text(std::string("JFIF\0", 5));
  for (const std::uint8_t b : {1, 2, 1}) out.u8(b);
  out.u16(72, true);
  out.u16(72, true);
  out.u8(0);
  out.u8(0);
}

// "Photoshop 3.0" and the resource. More than one segment holds: the resources go on in the next
// APP13, each with the identifier, as Photoshop splits them (and the reader puts them together again).
void WriteIptcSegments(ByteWriter& out, ByteView resource) {
  constexpr std::size_t kPerSegment = kMaxSegmentLength - 2 - 14;
  std::size_t at = 0;
  do {
    const std::size_t start = StartSegment(out, kMarkerApp13);
    out.text(std::string("Photoshop 3.0\0", 14));
    out.bytes(resource.sub(at, std::min(kPerSegment, resource.size() - at)).span());
    PatchSegmentLength(out, start);
    at += kPerSegment;
  } while (at < resource.size());
}

// The encoder's segments up to its scan: the ones kept after the metadata, its first APP0 and its
// scan. Our own encoder's output is held to the strict form: a 0xFF before every marker.
struct EncodedParts {
  std::vector<JpegSegment> kept;
  std::optional<JpegSegment> app0, scan;
};

EncodedParts WalkEncoded(ByteView encoded) {
  JpegSegmentReader reader(encoded);
  if (reader.End() == JpegWalkEnd::kNoSoi)
    throw EExifWriter(encoded.has(0, 4) ? msg::kFfExpected : msg::kIncompleteSegmentHeader);
  EncodedParts parts;
  std::size_t walked = reader.Position();
  while (const auto segment = reader.Next()) {
    walked = reader.Position();
    if (segment->fill == 0) throw EExifWriter(msg::kFfExpected);
    switch (segment->marker) {
      case kMarkerSos:
        parts.scan = segment;
        break;
      case kMarkerApp0:
        if (!parts.app0) parts.app0 = segment;
        break;
      case kMarkerApp1:
      case kMarkerApp2:
      case kMarkerApp13:
      case kMarkerCom:
        break;  // the source's metadata and profile take their place
      default:
        parts.kept.push_back(*segment);
    }
  }
  if (reader.End() == JpegWalkEnd::kCutHeader) throw EExifWriter(msg::kIncompleteSegmentHeader);
  if (reader.End() == JpegWalkEnd::kCutSegment && reader.Position() == walked) throw EExifWriter(msg::kFfExpected);
  if (reader.End() == JpegWalkEnd::kCutSegment)
    throw EExifWriter(WithMarker(msg::kSegmentError, encoded.u8(reader.Position()).value_or(0)));
  return parts;
}

}  // namespace

void CheckExifSegmentFits(ByteView tiff) {
  if (2 + 6 + tiff.size() > kMaxSegmentLength) throw ESegmentTooLong(WithMarker(msg::kSegmentTooLong, kMarkerApp1));
}

Bytes LayOutJpeg(ByteView encoded, const TOutputMetadata& pieces) {
  const EncodedParts parts = WalkEncoded(encoded);
  ByteWriter out;
  Marker(out, kMarkerSoi);
  if (!pieces.tiff.empty()) {
    WriteExifSegment(out, pieces.tiff);
  } else if (!pieces.metadata) {
    if (parts.app0) WriteSegment(out, *parts.app0);
  } else if (!pieces.jpegApp0.empty()) {
    out.bytes(pieces.jpegApp0);
  } else {
    WriteJfifApp0(out);
  }
  // The XMP after the EXIF block (or the header), before the profile.
  for (const Bytes& payload : pieces.xmp) {
    const std::size_t start = StartSegment(out, kMarkerApp1);
    out.bytes(payload);
    PatchSegmentLength(out, start);
  }
  WriteIccSegments(out, pieces.icc);
  if (!pieces.iptc.empty()) WriteIptcSegments(out, pieces.iptc);
  if (!pieces.comment.empty()) {
    const std::size_t start = StartSegment(out, kMarkerCom);
    out.text(pieces.comment);
    PatchSegmentLength(out, start);
  }
  for (const JpegSegment& s : parts.kept) WriteSegment(out, s);
  // The scan header, the entropy-coded data and EOI, as they are.
  if (parts.scan) out.bytes(encoded.span().subspan(parts.scan->start - 1));
  return out.take();
}

Bytes WriteJpegOutput(const TImgData& source, ByteView encoded, const TOutputOptions& options,
                      std::vector<TOutputNote>* notes) {
  TOutputMetadata pieces = MakeOutputMetadata(source, options, {.tiffFits = CheckExifSegmentFits});
  // Nothing to add: the encoder's file as it is.
  if (!pieces.metadata && pieces.icc.empty()) return Bytes(encoded.span().begin(), encoded.span().end());
  Bytes file = LayOutJpeg(encoded, pieces);
  if (notes) notes->insert(notes->end(), pieces.notes.begin(), pieces.notes.end());
  return file;
}

}  // namespace velmora
