#include "imaging/colourtags.h"

#include "imaging/colour.h"

namespace velmora {

TSrgbConversion SrgbConversion() { return {ColourConversion::SrgbProfile(), ColourConversion::kSrgbName}; }

}  // namespace velmora
