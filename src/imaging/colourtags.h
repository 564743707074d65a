#pragma once

// What the metadata writer is told of a picture converted to sRGB (TOutputOptions::convertedToSrgb),
// so that the metadata says what the pixels are: the sRGB profile that then goes out, and its name.

#include "metadata/metadatawriter.h"

namespace velmora {

TSrgbConversion SrgbConversion();

}  // namespace velmora
