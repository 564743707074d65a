#pragma once

// What the writer is given for a picture converted to sRGB, so the metadata says what the pixels are:
// the sRGB profile in place of the source's, EXIF ColorSpace 1 (sRGB), the Interoperability index
// "R98" where the source has one, and XMP's photoshop:ICCProfile (where present) naming the new
// profile. Nothing else changes.

#include "metadata/jpegsegments.h"

namespace velmora {

void MarkConvertedToSrgb(TImgData& source);

}  // namespace velmora
