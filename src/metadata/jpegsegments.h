#pragma once

// TImgData: the metadata container of one photo file. It reads the file's JPEG marker segments up to
// the compressed image data, keeps the ones that carry metadata (EXIF APP1, IPTC APP13, APP0, the scan
// header) and hands them to the EXIF reader (TImageInfo) and the IPTC reader (TIPTCdata). One object
// serves one file; it keeps no state outside itself, so separate objects may be used on any threads.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "metadata/exifreader.h"
#include "metadata/exiftags.h"
#include "metadata/iptc.h"
#include "metadata/jpegmarkers.h"

namespace velmora {

// One kept marker segment. `data` is everything after the two marker bytes: the length field as
// stored (big-endian) and the payload, so 0xFF, marker and data reproduce the segment. `size` is the
// length field's value (payload + 2). An EOI slot has no length field: empty data, size 0.
struct JpegSection {
  Bytes data;
  int marker = 0;
  int size = 0;
};

// Bits of the `parts` argument.
inline constexpr int kPartExif = 1;
inline constexpr int kPartIptc = 2;
inline constexpr int kPartComment = 4;
inline constexpr int kPartsAll = 7;
// Beyond the design's parts: the ICC profile of the APP2 segments, and IFD0's Orientation read alone
// from the EXIF block without decoding it (for a save without metadata).
inline constexpr int kPartIcc = 8;
inline constexpr int kPartOrientation = 16;

// EXIF Orientation (TIFF 6.0): how the stored rows and columns map onto the picture as seen.
// 1 is upright; 2 to 8 call for mirroring or turning.

// IFD0's Orientation in the EXIF APP1 segment's data (length field, "Exif\0\0", TIFF structure):
// 2 to 8 when it is a SHORT with one value in that range; 1 for anything else or none.
int ReadExifOrientation(ByteView app1Data);

// The identifiers (without their zero byte) of the APP1 segments of an XMP packet and of the parts
// of its extension.
// The APP1 segment's data (length field and payload) is one of those.
bool IsXmpSegment(ByteView app1Data);

class TImgData : public TEndInd {
 public:
  // The scan reads the header up to the first scan, however many segments it holds, but starts no
  // segment past this many bytes from the file's start: room for the largest colour profile carried
  // (16 MiB, in 256 segments) and as much again for EXIF, XMP and its extension, IPTC and the rest,
  // while a damaged or hostile file of endless segments costs a bounded copy. What lies beyond is
  // dropped and said (headerCut).
  static constexpr std::uintmax_t kHeaderBudget = std::uintmax_t{32} << 20;
  // A prefix of a JPEG file that holds everything the scan can look at: the budget, then one whole
  // segment that starts just inside it (with room for fill bytes).
  static constexpr std::uintmax_t kJpegPrefixBytes = kHeaderBudget + 2 * 65536;
  // TIFF input: the window read from file offset 8.
  static constexpr std::size_t kTiffWindow = 256000;

  TImgData();
  ~TImgData();
  TImgData(const TImgData&) = delete;
  TImgData& operator=(const TImgData&) = delete;

  void Reset();
  void ClearMetadata();

  // Reads the file by its extension (.jpg/.jpeg/.jpe, .tif/.tiff/.nef). True when metadata was found;
  // errorText then is "<none>", otherwise why not.
  bool OpenFile(const std::string& fileName, int parts = kPartsAll);
  bool OpenForMetadata(const std::string& fileName);
  // Throws FileError when the file cannot be read.
  bool ReadJpeg(const std::string& fileName, int parts);
  // The segment scan over the bytes of a JPEG file (or its first kJpegPrefixBytes bytes).
  bool ScanJpegSegments(ByteView stream, int parts);
  bool ReadTiff(const std::string& fileName);
  bool ScanTiffStream(ByteView stream);
  void DecodeExifSection();

  bool HasExif() const { return exifInfo != nullptr; }
  bool HasIptc() const { return iptcData && iptcData->Count() > 0; }
  bool HasComment() const { return !comment.empty(); }
  bool HasXmp() const { return !xmpSegments.empty(); }
  bool HasMetadata() const { return HasExif() || HasComment() || HasIptc() || HasXmp(); }
  bool HasThumbnail() const { return exifInfo && exifInfo->HasThumbnail(); }
  // The EXIF thumbnail's JPEG bytes for the codec, or nothing.
  std::optional<Bytes> ThumbnailAsJpeg() const;

  int SectionCount() const { return static_cast<int>(sections.size()); }
  const JpegSection* ExifSection() const {
    return exifSection >= 0 ? &sections[static_cast<std::size_t>(exifSection)] : nullptr;
  }
  const JpegSection* App0Section() const {
    return app0Section >= 0 ? &sections[static_cast<std::size_t>(app0Section)] : nullptr;
  }
  // IFD0's Orientation, 2 to 8 (a SHORT with one value), from the decoded EXIF entries or, without
  // them, from the kPartOrientation read; 1 for none and for any other value or type.
  int Orientation() const;
  // The source's ICC profile when it may go into an output, which is always RGB: read (kPartIcc),
  // complete, and with the RGB data colour space. Empty otherwise.
  ByteView CarriedIccProfile() const;

  // The comment as UTF-8 text (`comment` keeps the segment's bytes for writing them back unchanged).
  std::string CommentText() const;

  std::string fileName;
  std::filesystem::file_time_type fileDateTime{};
  std::int64_t fileSize = 0;
  int imageHeight = 0;
  int imageWidth = 0;
  std::string errorText;
  std::string comment;
  std::string dateFormat = "yyyy-mm-dd hh:nn:ss";
  bool decodeValues = true;
  int app0Section = -1;               // index into sections, -1: none
  std::vector<JpegSection> sections;  // the kept segments in file order
  // The scan stopped at kHeaderBudget before the first scan header: the segments from headerCutAt on
  // (metadata among them, perhaps) were not read.
  bool headerCut = false;
  std::size_t headerCutAt = 0;
  // IPTC records after the picture's end that were not read, since the APP13 segments held others.
  bool iptcTrailerLeft = false;
  bool isTiff = false;
  int exifSection = -1;  // index into sections, -1: none
  std::unique_ptr<TImageInfo> exifInfo;
  std::unique_ptr<TIPTCdata> iptcData;
  // The XMP APP1 segments (the packet and the parts of its extension) read with kPartExif, each as a
  // JpegSection's data, in file order: carried byte for byte.
  std::vector<Bytes> xmpSegments;
  // The reassembled ICC profile (kPartIcc), whatever its colour space; empty when the file has none
  // or its chunks do not fit together.
  Bytes iccProfile;
  // IFD0's Orientation as the kPartOrientation read found it (1 when not read).
  int exifOrientation = kOrientationUpright;
};

}  // namespace velmora
