#pragma once

// The JPEG layout of an output's metadata pieces (metadatawriter.h): where each piece goes among the
// encoder's segments, in which segments, and the 64 KiB limit of a JPEG segment. WriteJpegOutput is
// the one entry point of both the plain save and the save with metadata.

#include <vector>

#include "base/bytes.h"
#include "metadata/metadatawriter.h"

namespace velmora {

class TImgData;

// The output file for a picture the encoder made from `source` (its whole JPEG file), under the
// options; the caller writes it (atomically). The source is only read. Any failure throws (EMetadata
// and its kinds, FileError), and the caller then saves the picture plainly. What the output goes
// without of the source's metadata is added to `notes`, only when the file is made.
Bytes WriteJpegOutput(const TImgData& source, ByteView encoded, const TOutputOptions& options,
                      std::vector<TOutputNote>* notes = nullptr);

// Throws ESegmentTooLong when a TIFF structure would not fit an EXIF APP1 segment.
void CheckExifSegmentFits(ByteView tiff);

// SOI; the EXIF APP1, else (with metadata) the source's APP0 or a JFIF APP0, else (plain) the
// encoder's APP0; the XMP segments; the profile's APP2 segments; the IPTC APP13 (more than one when
// the datasets need it); the COM; then the encoder's segments without its SOI, APP0, APP1, APP2,
// APP13 and COM, and its scan as it is. The encoder's file is checked before anything is written.
Bytes LayOutJpeg(ByteView encoded, const TOutputMetadata& pieces);

}  // namespace velmora
