#pragma once

// The metadata writer: the EXIF APP1 block rewritten from the decoded entries, the IPTC APP13 block
// rewritten from the decoded records, and the merge of those (with the source's comment or APP0 and its
// colour profile) into a freshly encoded JPEG. Everything is written through an appending ByteWriter;
// lengths and offsets known only later are patched in. The entry point is TImgData::WriteOutput (the
// plain save and the save with metadata) with its helpers (jpegsegments.h); the writers below each write one segment
// and live only for that.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "metadata/tagentry.h"
#include "metadata/xmp.h"

namespace velmora {

class TImgData;

// Decodes a JPEG thumbnail, turns it upright from the given EXIF orientation (2 to 8) and encodes it
// again. Nothing (or a throw) when it cannot: the thumbnail is then left out. The codec lives in the
// imaging library, which this one does not use, so the caller hands it in.
using ThumbnailTurner = std::function<std::optional<Bytes>(ByteView jpeg, int orientation)>;

// Something of the source's metadata that an output goes without, and why (TImgData::WriteOutput).
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

// What an output file takes from its source besides the encoded picture (TImgData::WriteOutput).
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
};

// Raised by the writers with the texts of messages.h.
class EExifWriter : public EMetadata {
 public:
  using EMetadata::EMetadata;
};

// A segment that would not fit its 16-bit length field; the EXIF writer then tries without the
// thumbnail before giving up.
class ESegmentTooLong : public EExifWriter {
 public:
  using EExifWriter::EExifWriter;
};

// Positions of pointer entries whose directories are still to be written, first in first out.
using PendingPointers = std::deque<std::size_t>;

class TBasicMetadataWriter {
 public:
  explicit TBasicMetadataWriter(const TImgData& imgData) : imgData_(&imgData) {}
  virtual ~TBasicMetadataWriter() = default;
  TBasicMetadataWriter(const TBasicMetadataWriter&) = delete;
  TBasicMetadataWriter& operator=(const TBasicMetadataWriter&) = delete;

  // Writes the writer's block; the base version only clears `names`.
  virtual void WriteBlock(ByteWriter& /*stream*/) { names.clear(); }

  // Puts the big-endian length of the segment that starts at segmentStart (its marker) into its
  // length field; nothing when segmentStart is negative. Throws ESegmentTooLong rather than wrap.
  static void PatchSegmentLength(ByteWriter& stream, std::int64_t segmentStart);

  std::vector<std::string> names;  // no writer fills it

 protected:
  const TImgData& imgData() const { return *imgData_; }

 private:
  const TImgData* imgData_;
};

// The EXIF APP1 segment: "Exif" 0 0, then a TIFF structure (IFD0, IFD1 with the thumbnail, the Exif,
// GPS and Interoperability directories) in the source's byte order, offsets relative to its header.
// The TImgData must hold EXIF (HasExif).
class TExifWriter : public TBasicMetadataWriter {
 public:
  explicit TExifWriter(const TImgData& imgData);

  void WriteExifHeader(ByteWriter& stream);
  void WriteBlock(ByteWriter& stream) override;
  // A stream position as an offset from the TIFF header; throws "Incorrect stream position" for a
  // position before it (or beyond what 32 bits hold).
  std::uint32_t ToBlockOffset(std::int64_t position) const;

  bool motorolaOrder = false;
  std::int64_t tiffStart = 0;
  std::int64_t segmentStart = -1;
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

  std::set<std::uint16_t> claimed_;  // directories written or waiting: each is written once
  // The maker note keeps its block offset, since the offsets inside many makers' notes count from
  // the TIFF header; so do the values of the note that lie outside it. Nothing else is put there.
  struct Range {
    std::int64_t start, end;  // block offsets
  };
  std::vector<Range> kept_;    // sorted, apart
  std::int64_t makerAt_ = -1;  // the note's kept offset; -1: it moves like any value
};

// The IPTC APP13 segment: "Photoshop 3.0", one 8BIM resource 0x0404 holding the datasets.
class TIPTCWriter : public TBasicMetadataWriter {
 public:
  explicit TIPTCWriter(const TImgData& imgData) : TBasicMetadataWriter(imgData) {}

  void WriteIptcHeader(ByteWriter& stream);
  void WriteBlock(ByteWriter& stream) override;
  // An 8BIM resource header with a zero size; returns the position of the size field for patching.
  // Throws "Image resource name "%s" too long." for a name over 255 bytes.
  static std::size_t WriteResourceHeader(ByteWriter& stream, std::uint16_t id, const std::string& name);

  std::int64_t segmentStart = -1;
};

}  // namespace velmora
