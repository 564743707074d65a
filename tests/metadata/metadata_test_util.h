#pragma once

// Small helpers shared by the metadata tests.

#include <cstdint>
#include <functional>
#include <string>

#include "metadata/tagentry.h"

namespace velmora::test {

// The text of the EMetadata the call raises, or "no error".
inline std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const EMetadata& e) {
    return e.what();
  }
  return "no error";
}

// exiftool's group (-G1) for the directory an entry belongs to; empty for any other.
inline const char* GroupOf(std::uint16_t parent) {
  switch (parent) {
    case kParentIfd0:
      return "IFD0";
    case kParentIfd1:
      return "IFD1";
    case kParentExif:
      return "ExifIFD";
    case kParentGps:
      return "GPS";
    case kParentInterop:
      return "InteropIFD";
    default:
      return "";
  }
}

}  // namespace velmora::test
