#include "metadata/xmp.h"

#include <algorithm>
#include <array>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "metadata/jpegsegments.h"
#include "metadata/messages.h"
#include "metadata/xmpgps.h"

namespace velmora {

namespace {

// Length field, identifier with its zero byte: where a segment's packet or extension header starts.
constexpr std::size_t kPacketStart = 2 + kXmpId.size() + 1;
constexpr std::size_t kExtensionStart = 2 + kExtendedXmpId.size() + 1;
constexpr std::size_t kGuidSize = 32;
// GUID, the whole extension's length and the chunk's offset in it, then the chunk.
constexpr std::size_t kChunkStart = kExtensionStart + kGuidSize + 4 + 4;
// A segment's length field counts itself: 65,533 bytes of payload at most.
constexpr std::size_t kMaxSegmentData = 65535;
constexpr std::size_t kMaxChunk = kMaxSegmentData - kChunkStart;

constexpr std::array<std::uint32_t, 64> kMd5Sines = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr std::array<int, 16> kMd5Shifts = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

std::uint32_t RotateLeft(std::uint32_t v, int n) { return v << n | v >> (32 - n); }

void Md5Block(std::array<std::uint32_t, 4>& state, const std::uint8_t* block) {
  std::array<std::uint32_t, 16> m{};
  for (std::size_t i = 0; i < 16; ++i)
    m[i] = static_cast<std::uint32_t>(block[4 * i]) | static_cast<std::uint32_t>(block[4 * i + 1]) << 8 |
           static_cast<std::uint32_t>(block[4 * i + 2]) << 16 | static_cast<std::uint32_t>(block[4 * i + 3]) << 24;
  auto [a, b, c, d] = state;
  for (std::size_t i = 0; i < 64; ++i) {
    std::uint32_t f;
    std::size_t g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    f += a + kMd5Sines[i] + m[g];
    a = d;
    d = c;
    c = b;
    b += RotateLeft(f, kMd5Shifts[i / 16 * 4 + i % 4]);
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

bool HasPrefix(ByteView data, std::string_view id) {
  const auto bytes = data.bytes(2, id.size() + 1);
  return !bytes.empty() && std::equal(id.begin(), id.end(), bytes.begin()) && bytes.back() == 0;
}

Bytes SegmentData(std::string_view id, ByteView header, ByteView body) {
  ByteWriter w;
  w.u16(static_cast<std::uint16_t>(2 + id.size() + 1 + header.size() + body.size()), true);
  w.text(std::string(id));
  w.u8(0);
  w.bytes(header.span());
  w.bytes(body.span());
  return w.take();
}

std::string What(const std::exception& e) { return e.what(); }

struct Chunk {
  std::size_t segment;  // index in the input
  std::uint32_t offset;
  ByteView bytes;
};

struct Extension {
  std::uint32_t length = 0;
  std::vector<Chunk> chunks;
  bool dropped = false;
  bool changed = false;
  std::vector<Bytes> rewritten;  // the new parts, when changed
  std::string newGuid;
};

// The extension's packet when its chunks, with the length they all state, cover it once from 0.
std::optional<Bytes> Assemble(Extension& ext) {
  std::sort(ext.chunks.begin(), ext.chunks.end(), [](const Chunk& a, const Chunk& b) { return a.offset < b.offset; });
  Bytes packet;
  for (const Chunk& c : ext.chunks) {
    if (c.offset == packet.size()) {
      packet.insert(packet.end(), c.bytes.span().begin(), c.bytes.span().end());
    } else if (c.offset < packet.size() && c.bytes.size() <= packet.size() - c.offset &&
               std::equal(c.bytes.span().begin(), c.bytes.span().end(), packet.begin() + c.offset)) {
      continue;  // the same chunk twice
    } else {
      return std::nullopt;
    }
  }
  if (packet.size() != ext.length) return std::nullopt;
  return packet;
}

}  // namespace

std::string Md5Hex(ByteView bytes) {
  std::array<std::uint32_t, 4> state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const auto data = bytes.span();
  std::size_t full = data.size() / 64 * 64;
  for (std::size_t i = 0; i < full; i += 64) Md5Block(state, data.data() + i);
  // The tail, 0x80, zeros to 56 bytes of a block, and the length in bits, little-endian.
  std::array<std::uint8_t, 128> tail{};
  const std::size_t rest = data.size() - full;
  std::copy(data.begin() + static_cast<std::ptrdiff_t>(full), data.end(), tail.begin());
  tail[rest] = 0x80;
  const std::size_t tailSize = rest < 56 ? 64 : 128;
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (std::size_t i = 0; i < 8; ++i) tail[tailSize - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (std::size_t i = 0; i < tailSize; i += 64) Md5Block(state, tail.data() + i);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const std::uint32_t word : state)
    for (int i = 0; i < 4; ++i) {
      const auto byte = static_cast<std::uint8_t>(word >> (8 * i));
      hex += kDigits[byte >> 4];
      hex += kDigits[byte & 15];
    }
  return hex;
}

namespace {

using Extensions = std::map<std::string, Extension>;

// The parts of every extension by GUID; `broken` gets the parts whose header cannot be read.
Extensions GatherExtensions(const std::vector<Bytes>& segments, std::set<std::size_t>& broken) {
  Extensions extensions;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const ByteView data(segments[i]);
    if (!HasPrefix(data, kExtendedXmpId)) continue;
    const auto guid = data.bytes(kExtensionStart, kGuidSize);
    const auto length = data.u32(kExtensionStart + kGuidSize, true);
    const auto offset = data.u32(kExtensionStart + kGuidSize + 4, true);
    if (guid.empty() || !length || !offset) {
      broken.insert(i);
      continue;
    }
    Extension& ext = extensions[std::string(guid.begin(), guid.end())];
    if (!ext.chunks.empty() && ext.length != *length) ext.dropped = true;
    ext.length = *length;
    ext.chunks.push_back({i, *offset, data.sub(kChunkStart, data.size() - kChunkStart)});
  }
  return extensions;
}

// The extension without its GPS position, in new parts under its new GUID when that changed it;
// dropped (with the cause) when it is incomplete or cannot be read.
void StripExtension(Extension& ext, std::vector<std::string>& causes) {
  std::optional<Bytes> packet;
  if (!ext.dropped) packet = Assemble(ext);
  if (!packet) {
    ext.dropped = true;
    causes.push_back(msg::kXmpExtensionIncomplete);
    return;
  }
  Bytes stripped;
  try {
    stripped = StripXmpGps(*packet);
  } catch (const std::exception& e) {
    ext.dropped = true;
    causes.push_back(msg::WithDetail(msg::kXmpExtensionUnreadable, What(e)));
    return;
  }
  if (stripped == *packet) return;
  ext.changed = true;
  ext.newGuid = Md5Hex(stripped);
  std::size_t at = 0;
  do {
    ByteWriter header;
    header.text(ext.newGuid);
    header.u32(static_cast<std::uint32_t>(stripped.size()), true);
    header.u32(static_cast<std::uint32_t>(at), true);
    const std::size_t n = std::min(kMaxChunk, stripped.size() - at);
    ext.rewritten.push_back(SegmentData(kExtendedXmpId, header.data(), ByteView(stripped).sub(at, n)));
    at += n;
  } while (at < stripped.size());
}

// The main packet's segment without its GPS position and naming its extensions' new GUIDs; nothing
// (with the cause) when it cannot be read or no longer fits its segment.
std::optional<Bytes> StripMainPacket(const Bytes& segment, const Extensions& extensions,
                                     std::vector<std::string>& causes) {
  const ByteView data(segment);
  const ByteView packet = data.sub(kPacketStart, data.size() - kPacketStart);
  Bytes stripped;
  try {
    stripped = StripXmpGps(packet);
  } catch (const std::exception& e) {
    causes.push_back(msg::WithDetail(msg::kXmpUnreadable, What(e)));
    return std::nullopt;
  }
  // The packet names its extension by the GUID, which changed with it.
  bool renamed = false;
  for (const auto& [guid, ext] : extensions) {
    if (!ext.changed) continue;
    for (auto it = std::search(stripped.begin(), stripped.end(), guid.begin(), guid.end()); it != stripped.end();
         it = std::search(it + kGuidSize, stripped.end(), guid.begin(), guid.end())) {
      std::copy(ext.newGuid.begin(), ext.newGuid.end(), it);
      renamed = true;
    }
  }
  if (!renamed && std::equal(stripped.begin(), stripped.end(), packet.span().begin(), packet.span().end()))
    return segment;
  if (kPacketStart + stripped.size() > kMaxSegmentData) {
    causes.push_back(msg::kXmpTooLong);
    return std::nullopt;
  }
  return SegmentData(kXmpId, {}, stripped);
}

}  // namespace

std::vector<Bytes> StripGpsFromXmpSegments(const std::vector<Bytes>& segments, std::vector<std::string>& causes) {
  std::set<std::size_t> broken;  // parts whose header cannot be read
  Extensions extensions = GatherExtensions(segments, broken);
  if (!broken.empty()) causes.push_back(msg::kXmpPartBroken);
  for (auto& [guid, ext] : extensions) StripExtension(ext, causes);

  std::vector<Bytes> out;
  std::set<std::string> emitted;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const ByteView data(segments[i]);
    if (broken.contains(i)) continue;
    if (HasPrefix(data, kExtendedXmpId)) {
      const auto guid = data.bytes(kExtensionStart, kGuidSize);
      const std::string key(guid.begin(), guid.end());
      const Extension& ext = extensions.at(key);
      if (ext.dropped) continue;
      if (!ext.changed) {
        out.push_back(segments[i]);
      } else if (emitted.insert(key).second) {
        out.insert(out.end(), ext.rewritten.begin(), ext.rewritten.end());
      }
    } else if (!HasPrefix(data, kXmpId)) {
      out.push_back(segments[i]);
    } else if (auto stripped = StripMainPacket(segments[i], extensions, causes)) {
      out.push_back(std::move(*stripped));
    }
  }
  return out;
}

}  // namespace velmora
