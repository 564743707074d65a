#pragma once

// A picture of another format than JPEG as the run's metadata path takes it: its metadata blocks laid
// out as a JPEG header holds them, so the one segment reader reads them, and the EXIF, XMP and profile
// are carried exactly as a JPEG source's are.

#include <string>
#include <vector>

#include "base/bytes.h"
#include "imaging/sourceformat.h"

namespace velmora {

// SOI, the EXIF APP1, the XMP APP1 and the ICC profile's APP2 segments, EOI. A block no segment can
// hold (an EXIF or XMP block over 64 KiB) is left out, and the cause for the user goes to `dropped`.
Bytes jpegHeaderOf(const SourceMetadata& metadata, std::vector<std::string>& dropped);

}  // namespace velmora
