#pragma once

// Builds the bytes of TIFF structures, EXIF and IPTC segments and small JPEG files inside the tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace velmora::test {

struct TiffEntry {
  TiffEntry() = default;
  TiffEntry(std::uint16_t t, std::uint16_t ty, std::uint32_t c, Bytes v)
      : tag(t), type(ty), count(c), value(std::move(v)) {}
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  Bytes value;                  // in the block's byte order
  int subDir = -1;              // the value is the offset of that directory
  bool blobOffset = false;      // the value is the offset of the directory's blob
  std::int64_t rawOffset = -1;  // the value is this offset, as given (hostile offsets)
};

struct TiffDir {
  TiffDir(std::vector<TiffEntry> e = {}, int n = -1, Bytes b = {})
      : entries(std::move(e)), next(n), blob(std::move(b)) {}
  std::vector<TiffEntry> entries;
  int next = -1;                    // index of the directory the next-directory field points to
  Bytes blob;                       // bytes placed after the directory (a thumbnail)
  std::int64_t countOverride = -1;  // entry count written instead of the real one
};

class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian) : be_(bigEndian) {}
  bool bigEndian() const { return be_; }

  TiffEntry Byte(std::uint16_t tag, std::initializer_list<std::uint8_t> v) const;
  TiffEntry Short(std::uint16_t tag, std::initializer_list<std::uint16_t> v) const;
  TiffEntry SShort(std::uint16_t tag, std::initializer_list<std::int16_t> v) const;
  TiffEntry Long(std::uint16_t tag, std::initializer_list<std::uint32_t> v) const;
  TiffEntry Rational(std::uint16_t tag, std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> v,
                     bool isSigned = false) const;
  TiffEntry Ascii(std::uint16_t tag, const std::string& text) const;  // adds the zero byte
  TiffEntry Undefined(std::uint16_t tag, const Bytes& bytes) const;
  TiffEntry Pointer(std::uint16_t tag, int dir) const;

  // Header, then the directories in order (IFD0 first), each followed by its values and blob.
  Bytes Build(const std::vector<TiffDir>& dirs) const;

 private:
  bool be_;
};

Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Text(const std::string& s);
// 0xFF, marker, big-endian length, payload.
Bytes Segment(std::uint8_t marker, const Bytes& payload);
// An APP1 EXIF segment holding the TIFF bytes.
Bytes ExifApp1(const Bytes& tiff);
// An APP13 "Photoshop 3.0" segment holding the 8BIM resources.
Bytes PhotoshopApp13(const Bytes& resources);
// One 8BIM resource; the name is padded to an even length and the data to an even size.
Bytes Resource(std::uint16_t id, const Bytes& data, const std::string& name = "", bool pad = true);
// One IPTC dataset.
Bytes Dataset(int record, int dataset, const Bytes& value);
// SOI, the segments, a baseline frame header and tables, a scan header, two bytes of scan data, EOI.
Bytes Jpeg(std::initializer_list<Bytes> segments, int width = 640, int height = 480);
Bytes Sof0(int width, int height);

}  // namespace velmora::test
