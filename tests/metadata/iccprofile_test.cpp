#include "metadata/iccprofile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "jpeg_builder.h"
#include "metadata/jpegsegments.h"
#include "metadata/jpeglayout.h"
#include "metadata/metadatawriter.h"
#include "metadata_test_util.h"

namespace velmora {
namespace {

using namespace test;

// A profile of n bytes whose header states the data colour space; the rest counts up.
Bytes Profile(std::size_t n, const char* space = "RGB ") {
  Bytes p(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  if (n >= 20) std::copy(space, space + 4, p.begin() + 16);
  return p;
}

// One APP2 ICC segment.
Bytes Chunk(int sequence, int count, const Bytes& data) {
  return Segment(0xE2, Concat({Text("ICC_PROFILE"),
                               Bytes{0, static_cast<std::uint8_t>(sequence), static_cast<std::uint8_t>(count)}, data}));
}

// The profile cut into parts of the given sizes.
std::vector<Bytes> Cut(const Bytes& profile, std::initializer_list<std::size_t> sizes) {
  std::vector<Bytes> parts;
  std::size_t at = 0;
  for (std::size_t n : sizes) {
    parts.emplace_back(profile.begin() + static_cast<std::ptrdiff_t>(at),
                       profile.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  }
  return parts;
}

Bytes JpegWith(const std::vector<Bytes>& segments) {
  Bytes body;
  for (const Bytes& s : segments) body.insert(body.end(), s.begin(), s.end());
  return Jpeg({body});
}

// The profile as a checker would read it from a JPEG: the APP2 ICC chunks in sequence order.
Bytes ProfileIn(const Bytes& jpeg) {
  std::vector<std::pair<int, Bytes>> chunks;
  for (const auto& [marker, bytes] : Segments(jpeg))
    if (marker == 0xE2 && bytes.size() >= 18) chunks.push_back({bytes[16], Bytes(bytes.begin() + 18, bytes.end())});
  std::sort(chunks.begin(), chunks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  Bytes out;
  for (const auto& c : chunks) out.insert(out.end(), c.second.begin(), c.second.end());
  return out;
}

TEST(IccProfile, ChunksAreReassembledOnlyWhenTheyFitTogether) {
  const Bytes p = Profile(3000);
  const auto parts = Cut(p, {1000, 1500, 500});
  const Bytes grey = Profile(600, "GRAY");
  struct Row {
    const char* what;
    std::vector<Bytes> segments;
    Bytes read;  // the profile the scan keeps; empty: none
  };
  const Row rows[] = {
      {"three chunks in order", {Chunk(1, 3, parts[0]), Chunk(2, 3, parts[1]), Chunk(3, 3, parts[2])}, p},
      {"three chunks out of order", {Chunk(3, 3, parts[2]), Chunk(1, 3, parts[0]), Chunk(2, 3, parts[1])}, p},
      {"with another APP2 between",
       {Chunk(1, 3, parts[0]), Segment(0xE2, Text("FPXR\0abc")), Chunk(2, 3, parts[1]), Chunk(3, 3, parts[2])},
       p},
      {"one chunk missing", {Chunk(1, 3, parts[0]), Chunk(3, 3, parts[2])}, {}},
      {"a chunk twice",
       {Chunk(1, 3, parts[0]), Chunk(2, 3, parts[1]), Chunk(2, 3, parts[1]), Chunk(3, 3, parts[2])},
       {}},
      {"counts disagree", {Chunk(1, 3, parts[0]), Chunk(2, 4, parts[1]), Chunk(3, 3, parts[2])}, {}},
      {"sequence number 0", {Chunk(0, 2, parts[0]), Chunk(1, 2, parts[1])}, {}},
      {"sequence number above the count", {Chunk(1, 2, parts[0]), Chunk(3, 2, parts[1])}, {}},
      {"count 0", {Chunk(1, 0, parts[0])}, {}},
      {"header cut short", {Segment(0xE2, Concat({Text("ICC_PROFILE"), Bytes{0, 1}}))}, {}},
      {"a grey profile is read, but not carried", {Chunk(1, 1, grey)}, grey},
      {"none", {Segment(0xE2, Text("FPXR"))}, {}},
  };
  for (const Row& r : rows) {
    TImgData img;
    img.ScanJpegSegments(JpegWith(r.segments), kPartIcc);
    EXPECT_EQ(img.iccProfile, r.read) << r.what;
    EXPECT_EQ(img.CarriedIccProfile().size(), IsRgbProfile(r.read) ? r.read.size() : 0u) << r.what;
    // Without the part, nothing is collected.
    TImgData without;
    without.ScanJpegSegments(JpegWith(r.segments), kPartsAll);
    EXPECT_TRUE(without.iccProfile.empty()) << r.what;
  }
}

TEST(IccProfile, OnlyAnRgbProfileIsCarried) {
  struct Row {
    Bytes profile;
    bool rgb;
  };
  const Row rows[] = {{Profile(200, "RGB "), true},  {Profile(200, "CMYK"), false}, {Profile(200, "GRAY"), false},
                      {Profile(200, "Lab "), false}, {Profile(19), false},          {Bytes{}, false}};
  for (const Row& r : rows) EXPECT_EQ(IsRgbProfile(r.profile), r.rgb) << r.profile.size();
}

TEST(IccProfile, WrittenInChunksOfAtMost65519Bytes) {
  struct Row {
    std::size_t size;
    std::vector<std::size_t> chunks;
  };
  const Row rows[] = {{1, {1}}, {65519, {65519}}, {65520, {65519, 1}}, {3 * 65519 + 10, {65519, 65519, 65519, 10}}};
  for (const Row& r : rows) {
    const Bytes p = Profile(r.size);
    ByteWriter w;
    ASSERT_TRUE(WriteIccSegments(w, p));
    const Bytes jpeg = Concat({Bytes{0xFF, 0xD8}, w.data(), Bytes{0xFF, 0xDA, 0, 2}});
    std::vector<std::size_t> sizes;
    int sequence = 0;
    for (const auto& [marker, bytes] : Segments(jpeg)) {
      if (marker != 0xE2) continue;
      ++sequence;
      ASSERT_GE(bytes.size(), 18u);
      EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 16), Concat({Text("ICC_PROFILE"), Bytes{0}}));
      EXPECT_EQ(bytes[16], sequence);
      EXPECT_EQ(bytes[17], r.chunks.size());
      sizes.push_back(bytes.size() - 18);
    }
    EXPECT_EQ(sizes, r.chunks) << r.size;
    EXPECT_EQ(ProfileIn(jpeg), p) << r.size;
    // Read back through the scan, the same bytes.
    TImgData img;
    img.ScanJpegSegments(Concat({jpeg, Bytes{0, 0}}), kPartIcc);
    EXPECT_EQ(img.iccProfile, p) << r.size;
  }
  ByteWriter none;
  EXPECT_FALSE(WriteIccSegments(none, Bytes{}));
  EXPECT_FALSE(WriteIccSegments(none, Profile(255 * 65519 + 1)));
  EXPECT_EQ(none.size(), 0u);
}

// What an encoder hands over: SOI, its own APP0, tables, frame, scan.
Bytes Encoded() { return Jpeg({Segment(0xE0, Concat({Text("JFIF"), Bytes(9, 1)}))}); }

TEST(IccProfile, EveryOutputCarriesItAfterTheHeaderAndBeforeTheTables) {
  const Bytes p = Profile(70000);  // two chunks
  const auto parts = Cut(p, {40000, 30000});
  const TiffBuilder b(false);
  const Bytes exif = ExifApp1(b.Build({{{b.Ascii(0x010F, "Acme")}}}));
  const Bytes iptc = PhotoshopApp13(Resource(0x0404, Dataset(2, 120, Text("caption"))));
  const Bytes app0 = Segment(0xE0, Concat({Text("JFIF"), Bytes{0, 1, 1, 1, 0, 96, 0, 96, 0, 0}}));
  const Bytes chunk1 = Chunk(1, 2, parts[0]), chunk2 = Chunk(2, 2, parts[1]);
  struct Row {
    const char* what;
    Bytes source;
    bool metadata;
    std::vector<int> markers;  // of the output, up to its scan
  };
  const Row rows[] = {
      {"plain save", JpegWith({app0, exif, chunk2, chunk1, iptc}), false, {0xE0, 0xE2, 0xE2, 0xDB, 0xC0, 0xC4, 0xDA}},
      {"with metadata",
       JpegWith({app0, exif, chunk2, chunk1, iptc, Segment(0xFE, Text("note"))}),
       true,
       {0xE1, 0xE2, 0xE2, 0xED, 0xFE, 0xDB, 0xC0, 0xC4, 0xDA}},
      {"with metadata, no EXIF",
       JpegWith({chunk1, chunk2, iptc}),
       true,
       {0xE0, 0xE2, 0xE2, 0xED, 0xDB, 0xC0, 0xC4, 0xDA}},
      {"with metadata, only the profile", JpegWith({chunk1, chunk2}), true, {0xE0, 0xE2, 0xE2, 0xDB, 0xC0, 0xC4, 0xDA}},
  };
  const Bytes encoded = Encoded();
  for (const Row& r : rows) {
    TImgData img;
    img.ScanJpegSegments(r.source, (r.metadata ? kPartsAll : kPartOrientation) | kPartIcc);
    TOutputOptions o;
    o.metadata = r.metadata;
    o.width = 320;
    o.height = 240;
    const Bytes out = WriteJpegOutput(img, encoded, o);
    std::vector<int> markers;
    for (const auto& [marker, bytes] : Segments(out)) markers.push_back(marker);
    EXPECT_EQ(markers, r.markers) << r.what;
    EXPECT_EQ(ProfileIn(out), p) << r.what;
    if (!r.metadata) {
      // The plain save is the encoder's file with the profile put in after its APP0.
      const auto enc = Segments(encoded);
      const std::size_t app0End = 2 + enc[0].second.size();
      Bytes expected(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(app0End));
      ByteWriter w;
      WriteIccSegments(w, p);
      expected.insert(expected.end(), w.data().begin(), w.data().end());
      expected.insert(expected.end(), encoded.begin() + static_cast<std::ptrdiff_t>(app0End), encoded.end());
      EXPECT_EQ(out, expected);
    }
  }
}

TEST(IccProfile, NoProfileToCarryLeavesThePlainSaveUntouched) {
  const Bytes encoded = Encoded();
  const Bytes cmyk = Chunk(1, 1, Profile(500, "CMYK"));
  for (const Bytes& source : {Jpeg({}), Jpeg({cmyk}), Jpeg({Chunk(1, 2, Profile(500))})}) {
    TImgData img;
    img.ScanJpegSegments(source, kPartIcc | kPartOrientation);
    EXPECT_EQ(WriteJpegOutput(img, encoded, TOutputOptions{}), encoded);
    TOutputOptions off;
    off.iccProfile = false;
    EXPECT_EQ(WriteJpegOutput(img, encoded, off), encoded);
  }
  // Asked not to, even an RGB profile stays out.
  TImgData img;
  img.ScanJpegSegments(Jpeg({Chunk(1, 1, Profile(500))}), kPartIcc);
  TOutputOptions off;
  off.iccProfile = false;
  EXPECT_EQ(WriteJpegOutput(img, encoded, off), encoded);
  EXPECT_NE(WriteJpegOutput(img, encoded, TOutputOptions{}), encoded);
}

}  // namespace
}  // namespace velmora
