#pragma once

// The metadata writer: what an output carries of its source's metadata, made as pieces in no
// container's form (TOutputMetadata: the TIFF structure of the EXIF block, the XMP, the colour profile,
// the IPTC resource, the comment) from a source that it reads only. What the output changes (the size,
// the orientation, the GPS position, the colours converted) is edited in the writer's own copies.
// A layout places the pieces in a file: jpeglayout.h for JPEG. The writers below each make one piece.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "metadata/tagentry.h"
#include "metadata/xmp.h"

namespace velmora {

class TImgData;
class TExifEdit;
class TIPTCdata;

// Decodes a JPEG thumbnail, turns it upright from the given EXIF orientation (2 to 8) and encodes it
// again. Nothing (or a throw) when it cannot: the thumbnail is then left out. The codec lives in the
// imaging library, which this one does not use, so the caller hands it in.
using ThumbnailTurner = std::function<std::optional<Bytes>(ByteView jpeg, int orientation)>;

// Something of the source's metadata that an output goes without, and why (MakeOutputMetadata).
struct TOutputNote {
  enum class Kind {
    kMetadata,   // "zapisano bez metadanych": the metadata or part of it
    kThumbnail,  // "zapisano bez miniatury": the EXIF thumbnail
    kColour,     // "zapisano bez konwersji kolorów": the colours as the source stored them
    kOutput,     // about the written file itself (its size limit, its date): the cause is the whole text
  };
  Kind kind = Kind::kMetadata;
  std::string cause;  // Polish, for the user
  // "zapisano bez metadanych: CAUSE", "zapisano bez miniatury: CAUSE" or "zapisano bez konwersji kolorów: CAUSE".
  std::string Text() const;
  bool operator==(const TOutputNote&) const = default;
};

// The pixels were converted to sRGB: the profile that then goes out, and its name for XMP.
struct TSrgbConversion {
  Bytes profile;
  std::string profileName;
};

// What an output file takes from its source besides the encoded picture.
struct TOutputOptions {
  // "zachowaj EXIF": the EXIF block (or the source's APP0), the IPTC records and the comment. Off, a
  // plain save: the encoder's file with only the colour profile added.
  bool metadata = false;
  // The size the EXIF block states becomes the picture's (with metadata).
  bool adjustSize = true;
  int width = 0;
  int height = 0;
  // The source's RGB colour profile, in the plain save and the save with metadata alike.
  bool iccProfile = true;
  // The orientation the picture was turned upright from (2 to 8); 1: not turned. When turned, the
  // carried Orientation becomes 1 and the thumbnail is turned the same way by turnThumbnail (left out
  // when that is empty or fails), so that viewers agree with the picture.
  int turnedFrom = 1;
  ThumbnailTurner turnThumbnail;
  // "usuń dane GPS": the GPS directory and its pointer are not written, and every XMP packet (the
  // segments' and IFD0's) loses its exif:GPS* properties (xmpgps.h).
  bool stripGps = false;
  // Set when the pixels were converted to sRGB, so that the metadata says what they are: its profile
  // in place of the source's (with iccProfile), EXIF ColorSpace 1 (sRGB), the Interoperability index
  // "R98" where the source has one, and XMP's photoshop:ICCProfile (where present) naming the profile.
  std::optional<TSrgbConversion> convertedToSrgb;
};

// What an output carries of its source's metadata, for a layout to place. Empty pieces are left out.
struct TOutputMetadata {
  // A save with metadata; false: a plain save, which carries the colour profile alone.
  bool metadata = false;
  // The EXIF block as a TIFF structure: its header, then the directories, every offset counted from
  // the header (what follows "Exif" 0 0 in a JPEG's APP1).
  Bytes tiff;
  // The XMP as the source's APP1 segments held it, each segment's payload (no length field): the
  // identifier, its zero byte and the packet, or a part of the packet's extension. XmpPacket: the packet.
  std::vector<Bytes> xmp;
  Bytes icc;  // the colour profile, whole
  // The IPTC datasets as one Photoshop image resource (8BIM 0x0404), padded to an even size.
  Bytes iptc;
  std::string comment;  // the source's comment, as its COM segment held it
  // With metadata but no EXIF block: the source's APP0 segment (0xFF, marker, data), which a JPEG
  // output then starts with; empty: none.
  Bytes jpegApp0;
  // What the output goes without (a thumbnail left out, entries that could not be read or written,
  // XMP that could not be made safe).
  std::vector<TOutputNote> notes;

  // The packet of the XMP segment that holds one; empty for none.
  ByteView XmpPacket() const;
};

// What the output's format takes of the pieces.
struct TPieceLimits {
  // Checks that the container can hold a TIFF structure; throws ESegmentTooLong when not, and the
  // EXIF piece is then made again without the thumbnail (and that is noted). Empty: any size.
  std::function<void(ByteView tiff)> tiffFits = {};
  // False for a format that carries its own thumbnail: the TIFF structure goes without IFD1.
  bool thumbnail = true;
};

// The pieces for a picture encoded from `source` under `options`. Throws EMetadata (and its kinds)
// for metadata that cannot be written; the caller then saves the picture plainly. The source is
// left exactly as it was, so one source serves any number of outputs.
TOutputMetadata MakeOutputMetadata(const TImgData& source, const TOutputOptions& options,
                                   const TPieceLimits& limits = {});

// A message of messages.h with its marker placeholder (%s or %.2x) filled: "Segment $FFe1 ...".
std::string WithMarker(std::string_view pattern, unsigned marker);

// The XMP segment's data (length field first) with the value of photoshop:ICCProfile, as an attribute
// or an element, replaced by `name`; a segment that would grow past its length field keeps the old one.
void RenameXmpIccProfile(Bytes& segment, std::string_view name);

// Raised by the writers with the texts of messages.h.
class EExifWriter : public EMetadata {
 public:
  using EMetadata::EMetadata;
};

// A piece that would not fit its place in the container (a JPEG segment's 16-bit length field, a
// TIFF directory's entry count); the EXIF piece is then made without the thumbnail before giving up.
class ESegmentTooLong : public EExifWriter {
 public:
  using EExifWriter::EExifWriter;
};

// Positions of pointer entries whose directories are still to be written, first in first out.
using PendingPointers = std::deque<std::size_t>;

// The TIFF structure of an EXIF block (IFD0, IFD1 with the thumbnail, the Exif, GPS and
// Interoperability directories) in the source's byte order, written from the writer's copy of the
// entries; offsets count from its header.
class TExifWriter {
 public:
  explicit TExifWriter(const TExifEdit& exif);

  // Appends the structure at the stream's end, which becomes its header's position.
  void WriteBlock(ByteWriter& stream);
  // A stream position as an offset from the TIFF header; throws "Incorrect stream position" for a
  // position before it (or beyond what 32 bits hold).
  std::uint32_t ToBlockOffset(std::int64_t position) const;

  bool motorolaOrder = false;
  std::int64_t tiffStart = 0;
  bool writeThumbnail = false;
  bool stripGps = false;  // the GPS directory and its pointer are not written

 private:
  struct Written {
    std::uint32_t offset;   // of the directory in the block
    std::size_t nextField;  // stream position of its next-directory offset
  };
  Written WriteDirectory(ByteWriter& stream, std::uint16_t parent, PendingPointers& pending);
  struct Field;
  // The entries of one directory as written, in reading order (IFD1 gets the thumbnail's).
  std::vector<Field> DirectoryFields(std::uint16_t parent, bool strips, const Bytes& thumbnail);
  // Where a chunk of n bytes wanted at block offset `at` goes: at, or past the kept ranges it would
  // overlap, on an even offset.
  std::int64_t Place(std::int64_t at, std::int64_t n) const;

  const TExifEdit& exif_;
  std::set<std::uint16_t> claimed_;  // directories written or waiting: each is written once
  // The maker note keeps its block offset, since the offsets inside many makers' notes count from
  // the TIFF header; so do the values of the note that lie outside it. Nothing else is put there.
  struct Range {
    std::int64_t start, end;  // block offsets
  };
  std::vector<Range> kept_;    // sorted, apart
  std::int64_t makerAt_ = -1;  // the note's kept offset; -1: it moves like any value
};

// The IPTC piece: one 8BIM resource 0x0404 holding the datasets, records in ascending order.
class TIPTCWriter {
 public:
  explicit TIPTCWriter(const TIPTCdata& iptc) : iptc_(iptc) {}

  Bytes Resource() const;
  // An 8BIM resource header with a zero size; returns the position of the size field for patching.
  // Throws "Image resource name "%s" too long." for a name over 255 bytes.
  static std::size_t WriteResourceHeader(ByteWriter& stream, std::uint16_t id, const std::string& name);

 private:
  const TIPTCdata& iptc_;
};

}  // namespace velmora
