#include "jpeg_builder.h"

namespace velmora::test {

namespace {

std::uint32_t ValueSize(const TiffEntry& e) { return static_cast<std::uint32_t>(e.value.size()); }

}  // namespace

TiffEntry TiffBuilder::Byte(std::uint16_t tag, std::initializer_list<std::uint8_t> v) const {
  return {tag, 1, static_cast<std::uint32_t>(v.size()), Bytes(v)};
}

TiffEntry TiffBuilder::Short(std::uint16_t tag, std::initializer_list<std::uint16_t> v) const {
  ByteWriter w;
  for (auto x : v) w.u16(x, be_);
  return {tag, 3, static_cast<std::uint32_t>(v.size()), w.take()};
}

TiffEntry TiffBuilder::SShort(std::uint16_t tag, std::initializer_list<std::int16_t> v) const {
  ByteWriter w;
  for (auto x : v) w.u16(static_cast<std::uint16_t>(x), be_);
  return {tag, 8, static_cast<std::uint32_t>(v.size()), w.take()};
}

TiffEntry TiffBuilder::Long(std::uint16_t tag, std::initializer_list<std::uint32_t> v) const {
  ByteWriter w;
  for (auto x : v) w.u32(x, be_);
  return {tag, 4, static_cast<std::uint32_t>(v.size()), w.take()};
}

TiffEntry TiffBuilder::Rational(std::uint16_t tag, std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> v,
                                bool isSigned) const {
  ByteWriter w;
  for (auto [n, d] : v) {
    w.u32(n, be_);
    w.u32(d, be_);
  }
  return {tag, static_cast<std::uint16_t>(isSigned ? 10 : 5), static_cast<std::uint32_t>(v.size()), w.take()};
}

TiffEntry TiffBuilder::Ascii(std::uint16_t tag, const std::string& text) const {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  return {tag, 2, static_cast<std::uint32_t>(b.size()), b};
}

TiffEntry TiffBuilder::Undefined(std::uint16_t tag, const Bytes& bytes) const {
  return {tag, 7, static_cast<std::uint32_t>(bytes.size()), bytes};
}

TiffEntry TiffBuilder::Pointer(std::uint16_t tag, int dir) const {
  TiffEntry e{tag, 4, 1, Bytes(4, 0)};
  e.subDir = dir;
  return e;
}

Bytes TiffBuilder::Build(const std::vector<TiffDir>& dirs) const {
  // First pass: where each directory starts.
  std::vector<std::uint32_t> at(dirs.size());
  std::uint32_t pos = 8;
  for (std::size_t d = 0; d < dirs.size(); ++d) {
    at[d] = pos;
    pos += 2 + 12 * static_cast<std::uint32_t>(dirs[d].entries.size()) + 4;
    for (const auto& e : dirs[d].entries)
      if (ValueSize(e) > 4) pos += (ValueSize(e) + 1) & ~1u;
    pos += static_cast<std::uint32_t>(dirs[d].blob.size());
  }
  ByteWriter w;
  w.text(be_ ? "MM" : "II");
  w.u16(42, be_);
  w.u32(8, be_);
  for (std::size_t d = 0; d < dirs.size(); ++d) {
    const auto& dir = dirs[d];
    const std::uint32_t n = static_cast<std::uint32_t>(dir.entries.size());
    std::uint32_t valueAt = at[d] + 2 + 12 * n + 4;
    std::uint32_t blobAt = valueAt;
    for (const auto& e : dir.entries)
      if (ValueSize(e) > 4) blobAt += (ValueSize(e) + 1) & ~1u;
    w.u16(static_cast<std::uint16_t>(dir.countOverride >= 0 ? dir.countOverride : n), be_);
    Bytes values;
    for (const auto& e : dir.entries) {
      w.u16(e.tag, be_);
      w.u16(e.type, be_);
      w.u32(e.count, be_);
      if (e.subDir >= 0 || e.blobOffset || e.rawOffset >= 0) {
        w.u32(e.subDir >= 0  ? at[static_cast<std::size_t>(e.subDir)]
              : e.blobOffset ? blobAt
                             : static_cast<std::uint32_t>(e.rawOffset),
              be_);
      } else if (ValueSize(e) <= 4) {
        Bytes v = e.value;
        v.resize(4, 0);
        w.bytes(v);
      } else {
        w.u32(valueAt + static_cast<std::uint32_t>(values.size()), be_);
        values.insert(values.end(), e.value.begin(), e.value.end());
        if (values.size() % 2) values.push_back(0);
      }
    }
    w.u32(dir.next >= 0 ? at[static_cast<std::size_t>(dir.next)] : 0, be_);
    w.bytes(values);
    w.bytes(dir.blob);
  }
  return w.take();
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Segment(std::uint8_t marker, const Bytes& payload) {
  ByteWriter w;
  w.u8(0xFF);
  w.u8(marker);
  w.u16(static_cast<std::uint16_t>(payload.size() + 2), true);
  w.bytes(payload);
  return w.take();
}

Bytes ExifApp1(const Bytes& tiff) { return Segment(0xE1, Concat({Text("Exif"), Bytes{0, 0}, tiff})); }

Bytes PhotoshopApp13(const Bytes& resources) {
  return Segment(0xED, Concat({Text("Photoshop 3.0"), Bytes{0}, resources}));
}

Bytes Resource(std::uint16_t id, const Bytes& data, const std::string& name, bool pad) {
  ByteWriter w;
  w.text("8BIM");
  w.u16(id, true);
  w.u8(static_cast<std::uint8_t>(name.size()));
  w.text(name);
  if ((name.size() + 1) % 2) w.u8(0);
  w.u32(static_cast<std::uint32_t>(data.size()), true);
  w.bytes(data);
  if (pad && data.size() % 2) w.u8(0);
  return w.take();
}

Bytes Dataset(int record, int dataset, const Bytes& value) {
  ByteWriter w;
  w.u8(0x1C);
  w.u8(static_cast<std::uint8_t>(record));
  w.u8(static_cast<std::uint8_t>(dataset));
  w.u16(static_cast<std::uint16_t>(value.size()), true);
  w.bytes(value);
  return w.take();
}

Bytes Sof0(int width, int height) {
  ByteWriter w;
  w.u8(8);
  w.u16(static_cast<std::uint16_t>(height), true);
  w.u16(static_cast<std::uint16_t>(width), true);
  w.bytes(Bytes{1, 1, 0x11, 0});
  return Segment(0xC0, w.take());
}

Bytes Jpeg(std::initializer_list<Bytes> segments, int width, int height) {
  Bytes out{0xFF, 0xD8};
  for (const auto& s : segments) out.insert(out.end(), s.begin(), s.end());
  const Bytes tail = Concat({Segment(0xDB, Bytes(65, 1)), Sof0(width, height), Segment(0xC4, Bytes(20, 0)),
                             Segment(0xDA, Bytes{1, 1, 0, 0, 63, 0}), Bytes{0x12, 0x34, 0xFF, 0xD9}});
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

}  // namespace velmora::test
