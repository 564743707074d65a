#pragma once

// What the decoders of sourceformat.h share; one file per format implements one FormatDecoder.

#include <QImage>
#include <optional>

#include "imaging/sourceformat.h"

namespace velmora {

struct FormatDecoder {
  DecodedPicture (*decode)(ByteView file, const DecodeLimits& limits);
  std::optional<DecodedPicture> (*preview)(ByteView file);  // may be null
};

extern const FormatDecoder kPngDecoder;
extern const FormatDecoder kWebpDecoder;
extern const FormatDecoder kTiffDecoder;
extern const FormatDecoder kHeifDecoder;

// A Format_RGB32 picture of that size, after the size and its memory passed the limits (the
// caller's extra bytes, a decoder's own buffers, counted too). Throws ImagingError.
QImage allocatePicture(int width, int height, const DecodeLimits& limits, std::uint64_t extraBytes = 0);

// One row of 8-bit pixels with straight (not premultiplied) alpha, B G R A in memory order, composed
// over white into a Format_RGB32 row, in place.
void composeOverWhite(std::uint8_t* bgra, int width);

// The 8-bit "Exif\0\0" prefix some writers put before the TIFF structure, dropped.
Bytes tiffStructure(ByteView exif);

}  // namespace velmora
