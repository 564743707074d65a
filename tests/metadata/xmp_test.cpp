#include "metadata/xmp.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <algorithm>
#include <stdexcept>
#include <string>

#include "metadata/jpegsegments.h"

namespace velmora {
namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string S(ByteView b) { return std::string(b.span().begin(), b.span().end()); }

TEST(Md5, Rfc1321TestSuite) {
  const std::pair<std::string, std::string> rows[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& [text, digest] : rows) EXPECT_EQ(Md5Hex(B(text)), digest) << text;
}

TEST(Md5, EveryLengthAroundTheBlockEdgesAgreesWithQt) {
  // The padding takes one block or two depending on the tail: lengths around 56 and 64, and large ones.
  Bytes data;
  for (std::size_t n = 0; n <= 200; ++n) {
    const QByteArray qt = QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())),
        QCryptographicHash::Md5);
    EXPECT_EQ(Md5Hex(data), qt.toHex().toUpper().toStdString()) << n << " bytes";
    data.push_back(static_cast<std::uint8_t>(n * 37 + 11));
  }
  const Bytes big(1000003, 0xA5);
  EXPECT_EQ(Md5Hex(big), QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(big.data()),
                                                                 static_cast<qsizetype>(big.size())),
                                                  QCryptographicHash::Md5)
                             .toHex()
                             .toUpper()
                             .toStdString());
}

// ---- Segments -------------------------------------------------------------------------------------

constexpr std::size_t kPacketStart = 2 + kXmpId.size() + 1;
constexpr std::size_t kPartHeader = 2 + kExtendedXmpId.size() + 1 + 32 + 4 + 4;

Bytes PacketSegment(const std::string& xml) {
  ByteWriter w;
  w.u16(static_cast<std::uint16_t>(kPacketStart + xml.size()), true);
  w.text(std::string(kXmpId));
  w.u8(0);
  w.text(xml);
  return w.take();
}

Bytes Part(const std::string& guid, std::uint32_t total, std::uint32_t offset, const std::string& chunk) {
  ByteWriter w;
  w.u16(static_cast<std::uint16_t>(kPartHeader + chunk.size()), true);
  w.text(std::string(kExtendedXmpId));
  w.u8(0);
  w.text(guid);
  w.u32(total, true);
  w.u32(offset, true);
  w.text(chunk);
  return w.take();
}

// The extension cut into chunks of at most `chunk` bytes, named by its digest.
std::vector<Bytes> Parts(const std::string& xml, std::size_t chunk) {
  const std::string guid = Md5Hex(B(xml));
  std::vector<Bytes> parts;
  for (std::size_t at = 0; at < xml.size(); at += chunk)
    parts.push_back(
        Part(guid, static_cast<std::uint32_t>(xml.size()), static_cast<std::uint32_t>(at), xml.substr(at, chunk)));
  return parts;
}

struct ParsedPart {
  std::string guid;
  std::uint32_t total = 0, offset = 0;
  std::string chunk;
};
ParsedPart ParsePart(const Bytes& data) {
  const ByteView v(data);
  EXPECT_EQ(*v.u16(0, true), data.size()) << "the length field counts the segment";
  EXPECT_EQ(S(v.sub(2, kExtendedXmpId.size() + 1)), std::string(kExtendedXmpId) + '\0');
  const std::size_t at = 2 + kExtendedXmpId.size() + 1;
  return {S(v.sub(at, 32)), *v.u32(at + 32, true), *v.u32(at + 36, true),
          S(v.sub(kPartHeader, data.size() - kPartHeader))};
}

bool IsPart(const Bytes& data) { return S(ByteView(data).sub(2, kExtendedXmpId.size())) == kExtendedXmpId; }

std::string PacketOf(const Bytes& data) {
  EXPECT_EQ(*ByteView(data).u16(0, true), data.size());
  EXPECT_EQ(S(ByteView(data).sub(2, kXmpId.size() + 1)), std::string(kXmpId) + '\0');
  return S(ByteView(data).sub(kPacketStart, data.size() - kPacketStart));
}

// The extension that the parts put together, each part stating the GUID and the whole length.
std::string Assembled(const std::vector<Bytes>& segments, std::string* guid) {
  std::string xml;
  std::uint32_t total = 0;
  for (const Bytes& s : segments) {
    if (!IsPart(s)) continue;
    const ParsedPart p = ParsePart(s);
    if (guid->empty()) *guid = p.guid;
    if (xml.empty()) total = p.total;
    EXPECT_EQ(p.guid, *guid) << "one extension";
    EXPECT_EQ(p.total, total);
    EXPECT_EQ(p.offset, xml.size()) << "chunks in order, without gaps";
    xml += p.chunk;
  }
  EXPECT_EQ(xml.size(), total);
  return xml;
}

const std::string kRdf = "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"";
const std::string kNamespaces =
    " xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\""
    " xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\" xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\"";

std::string MainPacket(const std::string& guid, bool gps) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
         " <rdf:RDF " +
         kRdf + ">\n  <rdf:Description rdf:about=\"\"" + kNamespaces + "\n   xmpNote:HasExtendedXMP=\"" + guid +
         "\"\n   xmp:Rating=\"4\"" + (gps ? "\n   exif:GPSLatitude=\"50,3.5N\"" : "") +
         "/>\n </rdf:RDF>\n</x:xmpmeta>\n" + std::string(200, ' ') + "\n<?xpacket end=\"w\"?>";
}

// An extension whose history makes it `size` bytes long or so.
std::string Extension(bool gps, std::size_t size = 1000) {
  return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF " + kRdf + "><rdf:Description rdf:about=\"\"" + kNamespaces +
         ">\n   <photoshop:History>" + std::string(size, 'h') + "</photoshop:History>" +
         (gps ? "\n   <exif:GPSLongitude>19,56.2E</exif:GPSLongitude>" : "") + "\n   <exif:Flash>0</exif:Flash>" +
         "\n  </rdf:Description></rdf:RDF></x:xmpmeta>";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::vector<Bytes> Strip(const std::vector<Bytes>& segments, std::vector<std::string>& causes) {
  return StripGpsFromXmpSegments(segments, causes);
}

TEST(XmpSegments, WithoutGpsEverySegmentStaysByteForByte) {
  const std::string ext = Extension(false);
  std::vector<Bytes> in = {PacketSegment(MainPacket(Md5Hex(B(ext)), false))};
  for (const Bytes& p : Parts(ext, 300)) in.push_back(p);
  // Parts out of order, and one twice, are still one whole extension.
  std::swap(in[1], in[3]);
  in.push_back(in[2]);
  std::vector<std::string> causes;
  EXPECT_EQ(Strip(in, causes), in);
  EXPECT_TRUE(causes.empty());
}

TEST(XmpSegments, GpsOnlyInThePacket) {
  const std::string ext = Extension(false);
  const std::string guid = Md5Hex(B(ext));
  std::vector<Bytes> in = {PacketSegment(MainPacket(guid, true))};
  for (const Bytes& p : Parts(ext, 400)) in.push_back(p);
  std::vector<std::string> causes;
  const std::vector<Bytes> out = Strip(in, causes);
  EXPECT_TRUE(causes.empty());
  ASSERT_EQ(out.size(), in.size());
  EXPECT_EQ(PacketOf(out[0]), MainPacket(guid, false));
  for (std::size_t i = 1; i < in.size(); ++i) EXPECT_EQ(out[i], in[i]) << "part " << i;
}

TEST(XmpSegments, GpsOnlyInTheExtensionGivesItANewGuid) {
  for (const std::size_t size : {std::size_t{1000}, std::size_t{150000}}) {
    SCOPED_TRACE(size);
    const std::string ext = Extension(true, size);
    const std::string guid = Md5Hex(B(ext));
    const std::string packet = MainPacket(guid, false);
    std::vector<Bytes> in = {PacketSegment(packet)};
    for (const Bytes& p : Parts(ext, 60000)) in.push_back(p);
    std::vector<std::string> causes;
    const std::vector<Bytes> out = Strip(in, causes);
    EXPECT_TRUE(causes.empty()) << causes.at(0);

    const std::string stripped = Extension(false, size);
    const std::string newGuid = Md5Hex(B(stripped));
    ASSERT_NE(newGuid, guid);
    // The packet names the new extension; nothing else of it changed.
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(PacketOf(out[0]), Replaced(packet, guid, newGuid));
    std::string partGuid;
    std::size_t parts = 0;
    for (const Bytes& s : out) {
      if (!IsPart(s)) continue;
      ++parts;
      EXPECT_EQ(ParsePart(s).total, stripped.size());
      EXPECT_LE(s.size(), 65535u);
    }
    EXPECT_EQ(parts, (stripped.size() + 65535 - kPartHeader - 1) / (65535 - kPartHeader));
    EXPECT_EQ(Assembled(out, &partGuid), stripped);
    EXPECT_EQ(partGuid, newGuid);
  }
}

TEST(XmpSegments, GpsInBoth) {
  const std::string ext = Extension(true);
  const std::string guid = Md5Hex(B(ext));
  std::vector<Bytes> in = Parts(ext, 250);
  in.insert(in.begin() + 2, PacketSegment(MainPacket(guid, true)));  // the packet between parts
  std::vector<std::string> causes;
  const std::vector<Bytes> out = Strip(in, causes);
  EXPECT_TRUE(causes.empty());
  const std::string newGuid = Md5Hex(B(Extension(false)));
  // The new parts stand where the first one stood.
  ASSERT_EQ(out.size(), 2u);
  EXPECT_TRUE(IsPart(out[0]));
  EXPECT_EQ(PacketOf(out[1]), MainPacket(newGuid, false));
  std::string partGuid;
  EXPECT_EQ(Assembled(out, &partGuid), Extension(false));
  EXPECT_EQ(partGuid, newGuid);
}

TEST(XmpSegments, WhatCannotBeMadeSafeIsLeftOutWithItsCause) {
  const std::string ext = Extension(false);  // no GPS: an incomplete one cannot be told apart from one with it
  const std::string guid = Md5Hex(B(ext));
  const auto total = static_cast<std::uint32_t>(ext.size());
  const Bytes packet = PacketSegment(MainPacket(guid, false));
  const Bytes gpsPacket = PacketSegment(MainPacket(guid, true));
  Bytes cutPart = Part(guid, total, 0, ext);
  cutPart.resize(60);
  struct Row {
    const char* what;
    std::vector<Bytes> in;
    std::string cause;
  };
  const Row rows[] = {
      {"a chunk missing",
       {packet, Part(guid, total, 0, ext.substr(0, 300)), Part(guid, total, 600, ext.substr(600))},
       "rozszerzenie XMP niepełne"},
      {"the last chunk missing", {packet, Part(guid, total, 0, ext.substr(0, 300))}, "rozszerzenie XMP niepełne"},
      {"offsets overlapping with other bytes",
       {packet, Part(guid, total, 0, ext.substr(0, 300)), Part(guid, total, 200, ext.substr(300))},
       "rozszerzenie XMP niepełne"},
      {"a chunk past the stated length",
       {packet, Part(guid, total, 0, ext), Part(guid, total, total, "<more/>")},
       "rozszerzenie XMP niepełne"},
      {"lengths disagreeing",
       {packet, Part(guid, total, 0, ext.substr(0, 300)), Part(guid, total + 1, 300, ext.substr(300))},
       "rozszerzenie XMP niepełne"},
      {"a part cut inside its header", {packet, cutPart}, "część rozszerzenia XMP uszkodzona"},
      {"an extension that is no XML", {packet, Part(guid, 9, 0, "GPS<x:no>")}, "rozszerzenie XMP nieczytelne"},
  };
  for (const Row& r : rows) {
    for (const Bytes& head : {packet, gpsPacket}) {
      std::vector<Bytes> in = r.in;
      in[0] = head;
      std::vector<std::string> causes;
      const std::vector<Bytes> out = Strip(in, causes);
      ASSERT_EQ(causes.size(), 1u) << r.what;
      EXPECT_EQ(causes[0].rfind(r.cause, 0), 0u) << r.what << ": " << causes[0];
      // The packet goes on without its position; the extension's parts stay behind.
      ASSERT_EQ(out.size(), 1u) << r.what;
      EXPECT_EQ(PacketOf(out[0]), MainPacket(guid, false)) << r.what;
    }
  }
}

TEST(XmpSegments, AnUnreadablePacketIsLeftOut) {
  const std::string ext = Extension(true);
  std::vector<Bytes> in = {PacketSegment("<x:xmpmeta><exif:GPSLatitude>1</x:xmpmeta>")};
  for (const Bytes& p : Parts(ext, 500)) in.push_back(p);
  std::vector<std::string> causes;
  const std::vector<Bytes> out = Strip(in, causes);
  ASSERT_EQ(causes.size(), 1u);
  EXPECT_EQ(causes[0].rfind("pakiet XMP nieczytelny (", 0), 0u) << causes[0];
  std::string guid;
  EXPECT_EQ(Assembled(out, &guid), Extension(false));
  EXPECT_EQ(out.size(), 1u);
}

}  // namespace
}  // namespace velmora
