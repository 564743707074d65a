#pragma once

// Read, write, read again, over one input, as the writer's fuzz target and its regression test use it:
// the input is taken as a source JPEG (and as the TIFF block of an EXIF APP1), its metadata and colour
// profile are merged into a small encoded picture (as turned upright from the source's orientation, as
// not turned, with the GPS position stripped, and as a plain save with the profile alone), and the
// result is read back. The input is also taken as an XMP packet for the GPS stripper. Only the
// library's own exception types are expected from the write; a broken promise about the written file
// throws std::logic_error, so the fuzzer reports it as a crash and the regression test as a failure.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "metadata/jpeglayout.h"
#include "metadata/jpegsegments.h"
#include "metadata/messages.h"
#include "metadata/metadatawriter.h"
#include "metadata/xmpgps.h"

namespace velmora::fuzz {

// What an encoder hands over: SOI, its APP0, a table, a frame header, a scan and EOI.
inline const Bytes& EncodedPicture() {
  static const Bytes bytes{0xFF, 0xD8,                                                                       // SOI
                           0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0,  1, 1,    0,    0,    1,   0, 1, 0, 0,  // APP0
                           0xFF, 0xDB, 0, 4,  0,   1,                                                        // DQT
                           0xFF, 0xC0, 0, 11, 8,   0,   16,  0,   16, 1, 1,    0x11, 0,                      // SOF0
                           0xFF, 0xDA, 0, 8,  1,   1,   0,   0,   63, 0, 0x12, 0x34, 0xFF, 0xD9};            // SOS, EOI
  return bytes;
}

inline void Require(bool condition, const std::string& what) {
  if (!condition) throw std::logic_error("metadata write path: " + what);
}

// What the thumbnail turn gives back: a fixed small JPEG, nothing, or a failure, by the input.
inline std::optional<Bytes> TurnedThumbnail(ByteView jpeg, int) {
  if (jpeg.size() % 3 == 1) return std::nullopt;
  if (jpeg.size() % 3 == 2) throw std::runtime_error("thumbnail does not decode");
  return EncodedPicture();
}

// The packet of an XMP segment's data (length field, identifier, zero byte, packet); empty for the
// parts of an extension.
inline ByteView XmpPacketOf(const Bytes& segment) {
  const ByteView data(segment);
  const std::size_t head = 2 + kXmpId.size() + 1;
  const auto id = data.bytes(2, kXmpId.size());
  if (!data.has(0, head) || std::string_view(reinterpret_cast<const char*>(id.data()), id.size()) != kXmpId) return {};
  return ByteView(data.bytesUpTo(head, data.size() - head));
}

// A packet with nothing left to strip reads as XML and comes back the same.
inline void RequireNoGps(ByteView packet, const std::string& where) {
  Bytes again;
  try {
    again = StripXmpGps(packet);
  } catch (const EMetadata&) {
    Require(false, where + ": a carried packet no longer reads");
  }
  Require(again == Bytes(packet.span().begin(), packet.span().end()), where + ": GPS left in the XMP");
}

inline void PlainSaveAndReadAgain(const TImgData& source) {
  Bytes written;
  try {
    written = WriteJpegOutput(source, EncodedPicture(), TOutputOptions{});
  } catch (const EMetadata&) {
    return;
  }
  TImgData again;
  again.ScanJpegSegments(written, kPartsAll | kPartIcc);
  const ByteView carried = source.CarriedIccProfile();
  Require(again.iccProfile == Bytes(carried.span().begin(), carried.span().end()), "profile not carried plainly");
  Require(!again.HasMetadata(), "metadata in a plain save");
}

inline void WriteAndReadAgain(const TImgData& source, bool turned, bool stripGps = false) {
  const bool hadExif = source.HasExif(), hadIptc = source.HasIptc();
  const int iptcCount = hadIptc ? source.iptcData->Count() : 0;
  const std::string comment = source.comment;
  const ByteView carried = source.CarriedIccProfile();
  const Bytes profile(carried.span().begin(), carried.span().end());
  const int orientation = source.Orientation();
  const std::vector<Bytes> xmp = source.xmpSegments;
  std::vector<TOutputNote> notes;
  Bytes written;
  try {
    TOutputOptions options;
    options.metadata = true;
    options.width = 640;
    options.height = 480;
    options.turnedFrom = turned ? orientation : 1;
    options.turnThumbnail = TurnedThumbnail;
    options.stripGps = stripGps;
    written = WriteJpegOutput(source, EncodedPicture(), options, &notes);
  } catch (const EMetadata&) {
    return;  // the batch run then saves the picture plainly
  }
  Require(source.xmpSegments == xmp && source.Orientation() == orientation, "the source changed");
  Require(written.size() >= 4 && written[0] == 0xFF && written[1] == 0xD8, "no SOI");
  TImgData again;
  again.ScanJpegSegments(written, kPartsAll | kPartIcc);  // must not throw
  Require(again.iccProfile == profile, "profile not carried");
  Require(!hadExif || again.Orientation() == (turned ? 1 : orientation), "orientation not as the picture");
  Require(again.HasExif() == hadExif, "EXIF block lost or invented");
  for (const char* fault : {msg::kIncorrectExifHeader, msg::kInvalidAlignment, msg::kIllegalDirectory})
    Require(again.errorText != fault, std::string("written EXIF reads back with \"") + fault + "\"");
  if (hadExif) {
    Require(again.exifInfo->GetImageWidth() == 640 && again.exifInfo->GetImageHeight() == 480, "size not set");
    Require(again.exifInfo->thumbnail.empty() || again.exifInfo->thumbnail == source.exifInfo->thumbnail ||
                (turned && again.exifInfo->thumbnail == EncodedPicture()),
            "thumbnail changed");
  }
  Require(again.HasIptc() == hadIptc && (!hadIptc || again.iptcData->Count() == iptcCount), "IPTC records changed");
  Require(again.comment == comment, "comment changed");
  for (const TOutputNote& note : notes) Require(!note.cause.empty(), "a note without its cause");
  if (!stripGps) {
    Require(again.xmpSegments == xmp, "XMP not carried byte for byte");
    return;
  }
  Require(again.xmpSegments.size() <= xmp.size(), "XMP segments invented");
  // A packet left out must be said; one carried has no position left.
  Require(again.xmpSegments.size() == xmp.size() || !notes.empty(), "XMP left out silently");
  for (const Bytes& segment : again.xmpSegments) {
    const ByteView packet = XmpPacketOf(segment);
    if (!packet.empty()) RequireNoGps(packet, "segment");
  }
  if (again.HasExif()) {
    for (const TTagEntry& e : again.exifInfo->entries) {
      Require(e.parentId != kParentGps, "a GPS entry written");
      Require(!(e.parentId == kParentIfd0 && e.tag == kParentGps), "the GPS pointer written");
    }
  }
}

inline void RunMetadataWritePath(const std::uint8_t* data, std::size_t size) {
  const ByteView input(std::span<const std::uint8_t>(data, size));
  {
    for (const bool turned : {false, true}) {
      TImgData img;
      try {
        img.ScanJpegSegments(input, kPartsAll | kPartIcc | kPartOrientation);
      } catch (const EMetadata&) {
      } catch (const ByteRangeError&) {
      }
      WriteAndReadAgain(img, turned);
    }
    TImgData stripped;
    try {
      stripped.ScanJpegSegments(input, kPartsAll | kPartIcc | kPartOrientation);
    } catch (const EMetadata&) {
    } catch (const ByteRangeError&) {
    }
    WriteAndReadAgain(stripped, true, true);
    TImgData plain;
    try {
      plain.ScanJpegSegments(input, kPartIcc | kPartOrientation);
    } catch (const EMetadata&) {
    } catch (const ByteRangeError&) {
    }
    PlainSaveAndReadAgain(plain);
  }
  // As the TIFF structure of an EXIF APP1 block, which reaches the directory walk directly.
  if (size <= 65533 - 6) {
    ByteWriter app1;
    for (const std::uint8_t b : {0xFF, 0xD8, 0xFF, 0xE1}) app1.u8(b);
    app1.u16(static_cast<std::uint16_t>(size + 8), true);
    app1.text(std::string("Exif\0\0", 6));
    app1.bytes(input.span());
    for (const std::uint8_t b : {0xFF, 0xD9}) app1.u8(b);
    TImgData img;
    try {
      img.ScanJpegSegments(app1.data(), kPartsAll);
    } catch (const EMetadata&) {
    } catch (const ByteRangeError&) {
    }
    WriteAndReadAgain(img, true, true);
  }
  // As an XMP packet: what is stripped has no position left and still reads.
  {
    Bytes once;
    bool read = true;
    try {
      once = StripXmpGps(input);
    } catch (const EMetadata&) {
      read = false;
    }
    if (read) RequireNoGps(once, "packet");
  }
}

}  // namespace velmora::fuzz
