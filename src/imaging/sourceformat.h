#pragma once

// The picture formats a run reads, told apart by their content, and the decoders of those besides
// JPEG (which keeps its own streamed decode, jpegcodec.h). Every decoder gives the same thing: an
// 8-bit Format_RGB32 picture (Format_RGBA64 for 16-bit sources), transparency composed over white,
// and the metadata the file carries as
// the blocks a JPEG would hold (the TIFF structure of its EXIF, the XMP packet, the ICC profile), so
// the metadata library and the colour step treat them alike.

#include <QImage>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "imaging/imagingerror.h"
#include "imaging/jpegcodec.h"

namespace velmora {

enum class PictureFormat { kJpeg, kHeif, kPng, kTiff, kWebp };

// The format a file name's extension stands for, case ignored; nothing for a name no format takes.
std::optional<PictureFormat> formatOfName(std::string_view name);
// The format the file's first bytes (a dozen are enough) belong to; nothing when none.
std::optional<PictureFormat> formatOfContent(ByteView head);
// "JPEG", "HEIF", "PNG", "TIFF", "WebP".
std::string_view formatName(PictureFormat format);

// The format of a file named `name` holding `file`: the one its extension names, when the content is
// of that format (or of none, under a JPEG name: the JPEG decoder then says what is wrong). Throws
// ImagingError otherwise ("Plik ma rozszerzenie JPEG, a zawiera obraz PNG").
PictureFormat checkedFormat(std::string_view name, ByteView file);

struct SourceMetadata {
  Bytes exif;  // the TIFF structure ("II*\0" or "MM\0*" first), as after a JPEG APP1's "Exif\0\0"
  Bytes xmp;   // the XMP packet
  Bytes icc;   // the ICC profile
  // The container's own rotation and mirroring (HEIF) were applied by the decoder: the EXIF
  // Orientation describes the stored pixels and must not be applied again.
  bool upright = false;
};

struct DecodedPicture {
  // Format_RGB32; Format_RGBA64 for a 16-bit PNG or TIFF, which the resampler (scaleHalftone) reduces
  // to 8 bits after scaling.
  QImage picture;
  SourceMetadata metadata;
  QSize fullSize;  // the picture's own size: larger than `picture` for a container's preview
};

struct DecodeLimits {
  std::uint64_t maxPixels = kMaxPixels;
  MemoryGate gate;  // without one, a decode is held to kDecodeMemoryLimit
};

// Decodes a picture of any format but JPEG. Throws ImagingError with a Polish message.
DecodedPicture decodePicture(ByteView file, PictureFormat format, const DecodeLimits& limits = {});
// The preview a container keeps beside the picture (a HEIF thumbnail item), upright, with the
// picture's metadata and size, when it has one.
std::optional<DecodedPicture> decodeEmbeddedPreview(ByteView file, PictureFormat format);

}  // namespace velmora
