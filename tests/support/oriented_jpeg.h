#pragma once

// Test inputs for the EXIF Orientation: the APP1 segment that states it, and the stored picture whose
// turn by an orientation is a given upright picture.

#include <QImage>
#include <cstdint>
#include <string>

#include "base/bytes.h"
#include "imaging/orientation.h"

namespace velmora::test {

// An EXIF APP1 segment (little-endian) whose IFD0 holds Orientation (a SHORT) and, with a thumbnail,
// whose IFD1 holds the thumbnail's offset and length and is followed by its bytes.
inline Bytes OrientedExifApp1(int orientation, const Bytes& thumbnail = {}) {
  const bool ifd1 = !thumbnail.empty();
  ByteWriter t;
  t.text("II");
  t.u16(42, false);
  t.u32(8, false);
  t.u16(1, false);  // IFD0 at 8: Orientation
  t.u16(0x0112, false);
  t.u16(3, false);
  t.u32(1, false);
  t.u32(static_cast<std::uint32_t>(orientation), false);
  t.u32(ifd1 ? 26 : 0, false);
  if (ifd1) {
    t.u16(2, false);  // IFD1 at 26, the thumbnail right after it at 26 + 2 + 2 * 12 + 4
    const std::uint32_t entries[2][2] = {{0x0201, 56}, {0x0202, static_cast<std::uint32_t>(thumbnail.size())}};
    for (const auto& [tag, value] : entries) {
      t.u16(static_cast<std::uint16_t>(tag), false);
      t.u16(4, false);  // LONG
      t.u32(1, false);
      t.u32(value, false);
    }
    t.u32(0, false);
    t.bytes(thumbnail);
  }
  ByteWriter head;
  head.u8(0xFF);
  head.u8(0xE1);
  head.u16(static_cast<std::uint16_t>(2 + 6 + t.size()), true);
  head.text(std::string("Exif\0\0", 6));
  // Reserved first: GCC 12 at -O3 takes the growth of the ten-byte head for an overflow (-Warray-bounds).
  Bytes app1;
  app1.reserve(head.size() + t.size());
  app1.insert(app1.end(), head.data().begin(), head.data().end());
  app1.insert(app1.end(), t.data().begin(), t.data().end());
  return app1;
}

// The JPEG with the segments put right after its SOI.
inline Bytes WithSegmentsAfterSoi(const Bytes& jpeg, const Bytes& segments) {
  // Reserved first: GCC 12 at -O3 takes the growth of a two-byte vector for an overflow (-Warray-bounds).
  Bytes out;
  out.reserve(jpeg.size() + segments.size());
  out.insert(out.end(), jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), segments.begin(), segments.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// The stored picture whose turn by `orientation` is `upright`: 6 and 8 undo each other, the others
// undo themselves.
inline QImage StoredFor(const QImage& upright, int orientation) {
  return TurnUpright(upright, orientation == 6 ? 8 : orientation == 8 ? 6 : orientation);
}

}  // namespace velmora::test
