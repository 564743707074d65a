#pragma once

// Small helpers shared by the metadata tests.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
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

// The marker segments of a JPEG up to its scan: marker and whole segment bytes.
inline std::vector<std::pair<int, Bytes>> Segments(const Bytes& jpeg) {
  std::vector<std::pair<int, Bytes>> out;
  const ByteView v(jpeg);
  std::size_t pos = 2;
  while (v.has(pos, 4)) {
    const int marker = *v.u8(pos + 1);
    const std::size_t length = *v.u16(pos + 2, true);
    const auto bytes = v.bytesUpTo(pos, length + 2);
    out.push_back({marker, Bytes(bytes.begin(), bytes.end())});
    if (marker == 0xDA) break;
    pos += length + 2;
  }
  return out;
}

}  // namespace velmora::test
