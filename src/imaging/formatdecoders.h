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

// A picture of that size (Format_RGB32, or Format_RGBA64 for a 16-bit source), after the size and its
// memory passed the limits (the caller's extra bytes, a decoder's own buffers, counted too). Throws
// ImagingError.
QImage allocatePicture(int width, int height, const DecodeLimits& limits, std::uint64_t extraBytes = 0,
                       QImage::Format format = QImage::Format_RGB32);

// One row of 8-bit pixels with straight (not premultiplied) alpha, B G R A in memory order, composed
// over white into a Format_RGB32 row, in place.
void composeOverWhite(std::uint8_t* bgra, int width);

// The same for a row of 16-bit R G B A values (Format_RGBA64), which keeps its 16 bits.
void composeOverWhite16(std::uint16_t* rgba, int width);

// The 8-bit "Exif\0\0" prefix some writers put before the TIFF structure, dropped.
Bytes tiffStructure(ByteView exif);

}  // namespace velmora
