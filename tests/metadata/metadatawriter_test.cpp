#include "metadata/metadatawriter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

#include "base/fileio.h"
#include "jpeg_builder.h"
#include "metadata/exifedit.h"
#include "metadata/jpeglayout.h"
#include "metadata/jpegsegments.h"
#include "metadata/messages.h"
#include "metadata_test_util.h"

namespace velmora {
namespace {

using namespace test;

// What an encoder hands over: its own APP0 and COM, which the merge must drop, then tables and scan.
Bytes EncodedWithComment() {
  return Jpeg({Segment(0xE0, Concat({Text("JFIF"), Bytes(9, 1)})), Segment(0xFE, Text("encoder"))});
}

// The merged file for a source held in memory, with the picture's new size 320 x 240.
Bytes Save(const Bytes& source, const std::function<void(TImgData&)>& change = {}) {
  TImgData img;
  img.ScanJpegSegments(source, kPartsAll);
  if (change) change(img);
  TOutputOptions options;
  options.metadata = true;
  options.width = 320;
  options.height = 240;
  return WriteJpegOutput(img, EncodedWithComment(), options);
}

std::vector<int> Markers(const Bytes& jpeg) {
  std::vector<int> out;
  for (const auto& [marker, bytes] : Segments(jpeg)) out.push_back(marker);
  return out;
}

// The TIFF structure inside the output's first segment, which must be the EXIF APP1.
Bytes TiffOf(const Bytes& jpeg) {
  const auto segments = Segments(jpeg);
  if (segments.empty() || segments[0].first != 0xE1) return {};
  return Bytes(segments[0].second.begin() + 10, segments[0].second.end());
}

// One directory of a written TIFF structure, with every value resolved.
struct Field {
  std::uint16_t tag = 0, type = 0;
  std::uint32_t count = 0, valueField = 0;
  Bytes value;
};
struct Dir {
  std::uint32_t offset = 0, next = 0;
  std::vector<Field> fields;
  const Field* find(std::uint16_t tag) const {
    for (const auto& f : fields)
      if (f.tag == tag) return &f;
    return nullptr;
  }
};

Dir ReadDir(const Bytes& tiff, std::uint32_t at, bool be) {
  const ByteView v(tiff);
  Dir d;
  d.offset = at;
  const std::uint16_t n = v.u16(at, be).value();
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::size_t p = at + 2 + 12 * i;
    Field f{*v.u16(p, be), *v.u16(p + 2, be), *v.u32(p + 4, be), *v.u32(p + 8, be), {}};
    const std::size_t size = static_cast<std::size_t>(FormatSize(f.type)) * f.count;
    const auto bytes = size <= 4 ? v.bytes(p + 8, size) : v.bytes(f.valueField, size);
    EXPECT_EQ(bytes.size(), size) << "value of tag " << f.tag << " outside the block";
    f.value.assign(bytes.begin(), bytes.end());
    d.fields.push_back(std::move(f));
  }
  d.next = v.u32(at + 2 + 12 * n, be).value();
  return d;
}

Bytes U16(std::initializer_list<std::uint16_t> v, bool be) {
  ByteWriter w;
  for (auto x : v) w.u16(x, be);
  return w.take();
}
Bytes U32(std::uint32_t v, bool be) {
  ByteWriter w;
  w.u32(v, be);
  return w.take();
}

TEST(MetadataWriter, SmallExifBlockByteForByte) {
  // IFD0 holding Make "Canon" stored without its zero byte. Written: the new size as LONG entries in
  // tag order before it, "Canon" with its zero byte (count 6) in the value area.
  struct Row {
    bool be;
    Bytes expected;
  };
  const Row rows[] = {
      {false, Concat({Bytes{0xFF, 0xE1, 0x00, 0x40}, Text("Exif"), Bytes{0, 0}, Text("II"), Bytes{0x2A, 0, 8, 0, 0, 0},
                      Bytes{3, 0},                                            //
                      Bytes{0x00, 0x01, 4, 0, 1, 0, 0, 0, 0x40, 0x01, 0, 0},  // ImageWidth 320
                      Bytes{0x01, 0x01, 4, 0, 1, 0, 0, 0, 0xF0, 0x00, 0, 0},  // ImageLength 240
                      Bytes{0x0F, 0x01, 2, 0, 6, 0, 0, 0, 0x32, 0x00, 0, 0},  // Make at offset 50
                      Bytes{0, 0, 0, 0}, Text("Canon"), Bytes{0}})},
      {true, Concat({Bytes{0xFF, 0xE1, 0x00, 0x40}, Text("Exif"), Bytes{0, 0}, Text("MM"), Bytes{0, 0x2A, 0, 0, 0, 8},
                     Bytes{0, 3},                                            //
                     Bytes{0x01, 0x00, 0, 4, 0, 0, 0, 1, 0, 0, 0x01, 0x40},  //
                     Bytes{0x01, 0x01, 0, 4, 0, 0, 0, 1, 0, 0, 0x00, 0xF0},  //
                     Bytes{0x01, 0x0F, 0, 2, 0, 0, 0, 6, 0, 0, 0x00, 0x32},  //
                     Bytes{0, 0, 0, 0}, Text("Canon"), Bytes{0}})},
  };
  for (const Row& r : rows) {
    const TiffBuilder b(r.be);
    const Bytes out = Save(Jpeg({ExifApp1(b.Build({{{TiffEntry(0x010F, kAscii, 5, Text("Canon"))}}}))}));
    const auto segments = Segments(out);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments[0].second, r.expected) << (r.be ? "MM" : "II");
  }
}

TEST(MetadataWriter, DirectoriesThumbnailAndPointers) {
  const Bytes thumbnail{0xFF, 0xD8, 0xFF, 0xDB, 0, 3, 7, 0xFF, 0xD9};  // odd length on purpose
  for (const bool be : {false, true}) {
    SCOPED_TRACE(be ? "MM" : "II");
    const TiffBuilder b(be);
    // Directories: 0 IFD0, 1 IFD1, 2 Exif, 3 GPS, 4 Interoperability.
    TiffEntry jpegOffset(0x0201, kLong, 1, {});
    jpegOffset.blobOffset = true;
    const Bytes source = Jpeg({ExifApp1(b.Build({
        {{TiffEntry(0x0110, kAscii, 3, Text("abc")), b.Short(0x0102, {8, 8, 8}), b.Pointer(0x8769, 2),
          b.Pointer(0x8825, 3)},
         1},
        {{b.Short(0x0103, {6}), jpegOffset, b.Long(0x0202, {static_cast<std::uint32_t>(thumbnail.size())})},
         -1,
         thumbnail},
        {{b.Rational(0x829A, {{1, 250}}), b.Pointer(0xA005, 4)}},
        {{b.Byte(0x0000, {2, 2, 0, 0})}},
        {{b.Ascii(0x0001, "R98")}},
    }))});
    const Bytes tiff = TiffOf(Save(source));
    ASSERT_GE(tiff.size(), 8u);
    EXPECT_EQ(Bytes(tiff.begin(), tiff.begin() + 8),
              be ? (Bytes{'M', 'M', 0, 42, 0, 0, 0, 8}) : (Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}));

    const Dir ifd0 = ReadDir(tiff, 8, be);
    std::vector<std::uint16_t> tags;
    for (const auto& f : ifd0.fields) tags.push_back(f.tag);
    EXPECT_EQ(tags, (std::vector<std::uint16_t>{0x0100, 0x0101, 0x0102, 0x0110, 0x8769, 0x8825}));
    EXPECT_EQ(ifd0.find(0x0100)->type, kLong);
    EXPECT_EQ(ifd0.find(0x0100)->value, U32(320, be));
    EXPECT_EQ(ifd0.find(0x0101)->value, U32(240, be));
    // "abc" gains its zero byte and stays in the entry; three SHORTs go to the value area.
    EXPECT_EQ(ifd0.find(0x0110)->count, 4u);
    EXPECT_EQ(ifd0.find(0x0110)->value, Concat({Text("abc"), Bytes{0}}));
    EXPECT_EQ(ifd0.find(0x0102)->count, 3u);
    EXPECT_GT(ifd0.find(0x0102)->valueField, ifd0.offset);
    EXPECT_EQ(ifd0.find(0x0102)->value, U16({8, 8, 8}, be));

    // IFD0's next offset leads to IFD1, whose JPEG offset leads to the thumbnail bytes.
    ASSERT_NE(ifd0.next, 0u);
    const Dir ifd1 = ReadDir(tiff, ifd0.next, be);
    ASSERT_NE(ifd1.find(0x0201), nullptr);
    const std::uint32_t thumbAt = ByteView(ifd1.find(0x0201)->value).u32(0, be).value();
    EXPECT_EQ(ByteView(tiff).bytes(thumbAt, thumbnail.size()).size(), thumbnail.size());
    EXPECT_TRUE(std::equal(thumbnail.begin(), thumbnail.end(), tiff.begin() + thumbAt));
    EXPECT_EQ(ifd1.find(0x0202)->value, U32(static_cast<std::uint32_t>(thumbnail.size()), be));
    EXPECT_EQ(ifd1.next, 0u);

    // The Exif directory is written after IFD1, the Interoperability directory reached through it.
    const std::uint32_t exifAt = ByteView(ifd0.find(0x8769)->value).u32(0, be).value();
    EXPECT_GT(exifAt, ifd1.offset);
    const Dir exif = ReadDir(tiff, exifAt, be);
    EXPECT_EQ(exif.find(0x829A)->value, Concat({U32(1, be), U32(250, be)}));
    const Dir interop = ReadDir(tiff, ByteView(exif.find(0xA005)->value).u32(0, be).value(), be);
    EXPECT_EQ(interop.find(0x0001)->value, Concat({Text("R98"), Bytes{0}}));
    const Dir gps = ReadDir(tiff, ByteView(ifd0.find(0x8825)->value).u32(0, be).value(), be);
    EXPECT_EQ(gps.find(0x0000)->value, (Bytes{2, 2, 0, 0}));

    // TIFF asks for directories and values on even offsets.
    for (const Dir* d : {&ifd0, &ifd1, &exif, &interop, &gps}) {
      EXPECT_EQ(d->offset % 2, 0u);
      for (const auto& f : d->fields)
        if (f.value.size() > 4) {
          EXPECT_EQ(f.valueField % 2, 0u) << "tag " << f.tag;
        }
    }

    // Read back, the output holds the source's entries, with the new size.
    TImgData before, after;
    before.ScanJpegSegments(source, kPartsAll);
    after.ScanJpegSegments(Save(source), kPartsAll);
    ASSERT_TRUE(after.HasExif());
    EXPECT_EQ(after.exifInfo->thumbnail, thumbnail);
    EXPECT_EQ(after.exifInfo->GetImageWidth(), 320);
    for (const auto& e : before.exifInfo->entries) {
      const auto it = std::find_if(after.exifInfo->entries.begin(), after.exifInfo->entries.end(),
                                   [&](const TTagEntry& a) { return a.tag == e.tag && a.parentId == e.parentId; });
      ASSERT_NE(it, after.exifInfo->entries.end()) << e.name;
      if (e.tag != 0x8769 && e.tag != 0x8825 && e.tag != 0xA005 && e.type != kAscii) {
        EXPECT_EQ(it->raw, e.raw) << e.name;
      }
    }
  }
}

TEST(MetadataWriter, SegmentOrderAndTheApp0) {
  const Bytes app0 = Segment(0xE0, Concat({Text("JFIF"), Bytes{0, 1, 1, 0, 0, 1, 0, 1, 0, 0}}));
  const Bytes comment = Segment(0xFE, Text("Kraków, lipiec"));
  const Bytes exif = ExifApp1(TiffBuilder(false).Build({{{TiffBuilder(false).Ascii(0x010F, "Acme")}}}));
  const Bytes iptc = PhotoshopApp13(Resource(0x0404, Dataset(2, 90, Text("Gdańsk"))));
  const Bytes jfif = Concat({Bytes{0xFF, 0xE0, 0, 16}, Text("JFIF"), Bytes{0, 1, 2, 1, 0, 72, 0, 72, 0, 0}});
  struct Row {
    const char* what;
    Bytes source;
    std::vector<int> markers;
    Bytes first;  // the first segment, byte for byte (empty: not checked)
  };
  const Row rows[] = {
      {"EXIF, APP0 and a comment: no APP0 beside the EXIF block",
       Jpeg({app0, exif, comment}),
       {0xE1, 0xFE, 0xDB, 0xC0, 0xC4, 0xDA},
       {}},
      {"APP0 and a comment: the source's APP0 unchanged",
       Jpeg({app0, comment}),
       {0xE0, 0xFE, 0xDB, 0xC0, 0xC4, 0xDA},
       app0},
      {"IPTC only: the 18-byte JFIF APP0", Jpeg({iptc}), {0xE0, 0xED, 0xDB, 0xC0, 0xC4, 0xDA}, jfif},
  };
  const Bytes encoded = EncodedWithComment(), sos{0xFF, 0xDA};
  const auto scan = std::search(encoded.begin(), encoded.end(), sos.begin(), sos.end());
  for (const Row& r : rows) {
    const Bytes out = Save(r.source);
    EXPECT_EQ(Markers(out), r.markers) << r.what;
    if (!r.first.empty()) {
      EXPECT_EQ(Segments(out).at(0).second, r.first) << r.what;
    }
    for (const auto& [marker, bytes] : Segments(out))
      if (marker == 0xFE) {
        EXPECT_EQ(bytes, comment) << r.what;
      }
    // From the scan on, the encoder's bytes as they were.
    ASSERT_GE(out.size(), static_cast<std::size_t>(encoded.end() - scan));
    EXPECT_TRUE(std::equal(scan, encoded.end(), out.end() - (encoded.end() - scan))) << r.what;
  }
}

TEST(MetadataWriter, SourceWithoutMetadataGivesTheEncodersFile) {
  QTemporaryDir dir;
  const std::string plain = dir.filePath("plain.jpg").toStdString();
  writeFileAtomically(plain, Jpeg({}));
  TOutputOptions options;
  options.metadata = true;
  for (const std::string& source : {plain, dir.filePath("missing.jpg").toStdString()}) {
    TImgData img;
    img.OpenForMetadata(source);
    EXPECT_EQ(WriteJpegOutput(img, EncodedWithComment(), options), EncodedWithComment()) << source;
  }
}

TEST(MetadataWriter, IptcBlockByteForByte) {
  Bytes longCaption(40000, 'x');
  const Bytes extended = Concat({Bytes{0x1C, 2, 120, 0x80, 0x04}, U32(40000, true), longCaption});
  struct Row {
    const char* what;
    Bytes datasets;  // as read
    Bytes written;   // the resource data as written
  };
  const Bytes version4 = Dataset(2, 0, Bytes{0, 4});
  const Row rows[] = {
      {"repeated keywords, an odd-length caption as read, a dataset the table does not name; the record version "
       "first in record 2, as the source has it",
       Concat({Dataset(2, 25, Text("alpha")), Dataset(2, 0, Bytes{0, 2}), Dataset(2, 25, Text("beta")),
               Dataset(2, 120, Text("Hello")), Dataset(2, 221, Bytes{1, 2, 3})}),
       Concat({Dataset(2, 0, Bytes{0, 2}), Dataset(2, 25, Text("alpha")), Dataset(2, 25, Text("beta")),
               Dataset(2, 120, Text("Hello")), Dataset(2, 221, Bytes{1, 2, 3})})},
      {"no record version in the source: version 4, after record 1",
       Concat({Dataset(1, 90, Text("\x1b%G")), Dataset(2, 5, Text("title"))}),
       Concat({Dataset(1, 90, Text("\x1b%G")), version4, Dataset(2, 5, Text("title"))})},
      {"no record 2: no record version", Dataset(1, 90, Text("\x1b%G")), Dataset(1, 90, Text("\x1b%G"))},
      {"a value of 32,768 bytes or more in IIM's extended form", extended, Concat({version4, extended})},
  };
  for (const Row& r : rows) {
    const Bytes out = Save(Jpeg({PhotoshopApp13(Resource(0x0404, r.datasets))}));
    const auto segments = Segments(out);
    ASSERT_EQ(segments.at(1).first, 0xED) << r.what;
    const std::size_t size = r.written.size();
    const Bytes expected =
        Concat({Bytes{0xFF, 0xED}, U16({static_cast<std::uint16_t>(2 + 14 + 12 + size + size % 2)}, true),
                Text("Photoshop 3.0"), Bytes{0}, Text("8BIM"), Bytes{4, 4, 0, 0},
                U32(static_cast<std::uint32_t>(size), true), r.written, Bytes(size % 2, 0)});
    EXPECT_EQ(segments[1].second, expected) << r.what;
    // And it reads back to the same records.
    TImgData before, after;
    before.ScanJpegSegments(Jpeg({PhotoshopApp13(Resource(0x0404, r.datasets))}), kPartsAll);
    after.ScanJpegSegments(out, kPartsAll);
    ASSERT_EQ(after.iptcData->Count(), before.iptcData->Count()) << r.what;
    for (int i = 0; i < before.iptcData->Count(); ++i) {
      EXPECT_EQ(after.iptcData->EntryAt(i).name, before.iptcData->EntryAt(i).name) << r.what;
      EXPECT_EQ(after.iptcData->EntryAt(i).raw, before.iptcData->EntryAt(i).raw) << r.what;
      EXPECT_EQ(after.iptcData->EntryAt(i).data, before.iptcData->EntryAt(i).data) << r.what;
    }
  }
}

TEST(MetadataWriter, ResourceNamesArePaddedToAnEvenLength) {
  struct Row {
    std::string name;
    Bytes header;  // after "8BIM" and the id, before the size
  };
  const Row rows[] = {{"", {0, 0}}, {"a", {1, 'a'}}, {"ab", {2, 'a', 'b', 0}}};
  for (const Row& r : rows) {
    ByteWriter w;
    EXPECT_EQ(TIPTCWriter::WriteResourceHeader(w, 0x0404, r.name), 6 + r.header.size());
    EXPECT_EQ(w.data(), Concat({Text("8BIM"), Bytes{4, 4}, r.header, Bytes(4, 0)})) << r.name;
  }
  ByteWriter w;
  EXPECT_EQ(Message([&] { TIPTCWriter::WriteResourceHeader(w, 0x0404, std::string(256, 'n')); }),
            "Image resource name \"" + std::string(256, 'n') + "\" too long.");
}

TEST(MetadataWriter, TooLongForTheSegmentDropsTheThumbnailThenFails) {
  const TiffBuilder b(false);
  // The source block is as long as a segment allows; the two size entries make it longer.
  const std::size_t thumbSize = 65527 - 44;
  TiffEntry jpegOffset(0x0201, kLong, 1, {});
  jpegOffset.blobOffset = true;
  const Bytes source = Jpeg({ExifApp1(b.Build({
      {{}, 1},
      {{jpegOffset, b.Long(0x0202, {static_cast<std::uint32_t>(thumbSize)})}, -1, Bytes(thumbSize, 0xAB)},
  }))});
  ASSERT_EQ(Segments(source).at(0).second.size(), 65537u);
  const Bytes tiff = TiffOf(Save(source));
  const Dir ifd0 = ReadDir(tiff, 8, false);
  EXPECT_EQ(ifd0.next, 0u) << "no IFD1";
  EXPECT_EQ(ifd0.fields.size(), 2u);
  EXPECT_LT(tiff.size(), 100u);

  // Still too long without a thumbnail: the writer refuses rather than wrap the length.
  const auto huge = [](TImgData& img) {
    TExifEdit edit(*img.exifInfo);
    edit.SetTagValue("UserComment", Bytes(70000, 'x'), SetIn::kMainTable);
    img.exifInfo->entries = edit.entries;
  };
  EXPECT_EQ(Message([&] { Save(source, huge); }), "Segment $FFe1 przekracza 65535 bajtów");
}

TEST(MetadataWriter, EveryDirectoryOnceAndNoPointerIntoNowhere) {
  const TiffBuilder b(false);
  TiffEntry backToIfd0 = b.Pointer(0x8769, 0);
  // Directories: 0 IFD0, 1 Exif (pointing back to IFD0), 2 a SubIFD, which is not written.
  const Bytes source = Jpeg({ExifApp1(b.Build({
      {{b.Pointer(0x014A, 2), b.Pointer(0x8769, 1)}},
      {{b.Rational(0x829A, {{1, 60}}), backToIfd0}},
      {{b.Short(0x0103, {1})}},
  }))});
  const Bytes tiff = TiffOf(Save(source));
  const Dir ifd0 = ReadDir(tiff, 8, false);
  std::vector<std::uint16_t> tags;
  for (const auto& f : ifd0.fields) tags.push_back(f.tag);
  EXPECT_EQ(tags, (std::vector<std::uint16_t>{0x0100, 0x0101, 0x8769}));
  const Dir exif = ReadDir(tiff, ByteView(ifd0.find(0x8769)->value).u32(0, false).value(), false);
  ASSERT_EQ(exif.fields.size(), 1u);
  EXPECT_EQ(exif.fields[0].tag, 0x829A);
}

TEST(MetadataWriter, MakerNoteKeepsItsOffset) {
  // Offsets inside many makers' notes count from the TIFF header: moved, the note would lie.
  const TiffBuilder b(true);
  Bytes note = Text("NOTE");
  for (int i = 0; note.size() < 40; ++i) note.push_back(static_cast<std::uint8_t>(i));
  const Bytes source = Jpeg({ExifApp1(b.Build({
      {{b.Ascii(0x010F, "Acme"), b.Pointer(0x8769, 1)}},
      {{b.Rational(0x829A, {{1, 60}}), b.Undefined(0x927C, note), b.Ascii(0x9003, "2024:07:01 12:00:00")}},
  }))});
  const Bytes sourceTiff = TiffOf(source);
  const Dir sourceExif =
      ReadDir(sourceTiff, ByteView(ReadDir(sourceTiff, 8, true).find(0x8769)->value).u32(0, true).value(), true);
  const std::uint32_t noteAt = sourceExif.find(0x927C)->valueField;

  const Bytes tiff = TiffOf(Save(source));
  const Dir ifd0 = ReadDir(tiff, 8, true);
  const Dir exif = ReadDir(tiff, ByteView(ifd0.find(0x8769)->value).u32(0, true).value(), true);
  EXPECT_EQ(exif.find(0x927C)->valueField, noteAt);
  EXPECT_EQ(exif.find(0x927C)->value, note);
  // Nothing else was put over it.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> used;
  for (const Dir* d : {&ifd0, &exif}) {
    used.push_back({d->offset, d->offset + 2 + 12 * static_cast<std::uint32_t>(d->fields.size()) + 4});
    for (const auto& f : d->fields)
      if (f.value.size() > 4 && f.tag != 0x927C)
        used.push_back({f.valueField, f.valueField + static_cast<std::uint32_t>(f.value.size())});
  }
  for (const auto& [from, to] : used) EXPECT_TRUE(to <= noteAt || from >= noteAt + note.size()) << from << ".." << to;
  EXPECT_EQ(exif.find(0x9003)->value, Concat({Text("2024:07:01 12:00:00"), Bytes{0}}));
}

TEST(MetadataWriter, DefectiveEncoderOutput) {
  struct Row {
    Bytes encoded;
    std::string error;
  };
  const Row rows[] = {
      {{0xFF, 0xD8, 0xFF}, msg::kIncompleteSegmentHeader},
      {{0xFF, 0xD8, 0x12, 0x34, 0x00, 0x04}, msg::kFfExpected},
      {{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 1, 2}, "Read/write error in segment $FFdb"},
      {{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 1, 2}, "no error"},  // no scan: ends with the data
  };
  for (const Row& r : rows) {
    TOutputMetadata pieces;
    pieces.metadata = true;
    EXPECT_EQ(Message([&] { LayOutJpeg(r.encoded, pieces); }), r.error);
  }
}

TEST(MetadataWriter, TurnedPictureStatesOrientation1AndTurnsItsThumbnail) {
  const Bytes thumbnail = Concat({Bytes{0xFF, 0xD8}, Text("stored sideways"), Bytes{0xFF, 0xD9}});
  const Bytes turned = Concat({Bytes{0xFF, 0xD8}, Text("upright now"), Bytes{0xFF, 0xD9}});
  struct Row {
    const char* what;
    bool be;
    int turnedFrom;
    std::function<std::optional<Bytes>(ByteView, int)> turn;
    std::uint16_t orientation;  // written in IFD0 and IFD1
    Bytes thumbnail;            // written; empty: no IFD1
  };
  const Row rows[] = {
      {"turned", false, 6, [&](ByteView, int) { return std::optional<Bytes>(turned); }, 1, turned},
      {"turned, big-endian", true, 8, [&](ByteView, int) { return std::optional<Bytes>(turned); }, 1, turned},
      {"thumbnail that does not turn", false, 6, [](ByteView, int) { return std::optional<Bytes>(); }, 1, {}},
      {"thumbnail turn that throws",
       false,
       3,
       [](ByteView, int) -> std::optional<Bytes> { throw std::runtime_error("no JPEG"); },
       1,
       {}},
      {"no hook", false, 6, {}, 1, {}},
      {"not turned", false, 1, [](ByteView, int) -> std::optional<Bytes> { throw std::logic_error("called"); }, 6,
       thumbnail},
  };
  for (const Row& r : rows) {
    const TiffBuilder b(r.be);
    TiffEntry jpegOffset(0x0201, kLong, 1, {});
    jpegOffset.blobOffset = true;
    const Bytes source = Jpeg({ExifApp1(b.Build({
        {{b.Ascii(0x010F, "Acme"), b.Short(0x0112, {6})}, 1},
        {{b.Short(0x0112, {6}), jpegOffset, b.Long(0x0202, {static_cast<std::uint32_t>(thumbnail.size())})},
         -1,
         thumbnail},
    }))});
    TImgData img;
    img.ScanJpegSegments(source, kPartsAll);
    int seen = 0;
    Bytes handed;
    TOutputOptions o;
    o.metadata = true;
    o.width = 240;
    o.height = 320;
    o.turnedFrom = r.turnedFrom;
    if (r.turn) {
      o.turnThumbnail = [&](ByteView jpeg, int from) {
        handed.assign(jpeg.span().begin(), jpeg.span().end());
        seen = from;
        return r.turn(jpeg, from);
      };
    }
    const Bytes out = WriteJpegOutput(img, EncodedWithComment(), o);
    const Bytes tiff = TiffOf(out);
    const Dir ifd0 = ReadDir(tiff, 8, r.be);
    ASSERT_NE(ifd0.find(0x0112), nullptr) << r.what;
    EXPECT_EQ(ifd0.find(0x0112)->value, U16({r.orientation}, r.be)) << r.what;
    EXPECT_EQ(ifd0.find(0x0100)->value, U32(240, r.be)) << r.what;
    if (r.turn && r.turnedFrom != 1) {
      EXPECT_EQ(seen, r.turnedFrom) << r.what;
      EXPECT_EQ(handed, thumbnail) << r.what;
    }
    TImgData after;
    after.ScanJpegSegments(out, kPartsAll);
    EXPECT_EQ(after.Orientation(), r.orientation) << r.what;
    if (r.thumbnail.empty()) {
      EXPECT_EQ(ifd0.next, 0u) << r.what << ": the thumbnail left out, not left sideways";
      EXPECT_FALSE(after.HasThumbnail()) << r.what;
      continue;
    }
    ASSERT_NE(ifd0.next, 0u) << r.what;
    const Dir ifd1 = ReadDir(tiff, ifd0.next, r.be);
    EXPECT_EQ(ifd1.find(0x0112)->value, U16({r.orientation}, r.be)) << r.what;
    EXPECT_EQ(ifd1.find(0x0202)->value, U32(static_cast<std::uint32_t>(r.thumbnail.size()), r.be)) << r.what;
    EXPECT_EQ(after.exifInfo->thumbnail, r.thumbnail) << r.what;
  }
}

// A source with all an output may change: Orientation 6 and a thumbnail, GPS, ColorSpace and the
// Interoperability index, XMP with a position and a profile name.
Bytes ChangeableSource() {
  const TiffBuilder b(false);
  const Bytes thumbnail{0xFF, 0xD8, 's', 0xFF, 0xD9};
  TiffEntry jpegOffset(0x0201, kLong, 1, {});
  jpegOffset.blobOffset = true;
  const std::string xmp =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
      "<rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
      "xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\" exif:GPSLatitude=\"50,3.5N\" "
      "photoshop:ICCProfile=\"Adobe RGB (1998)\"/></rdf:RDF></x:xmpmeta>";
  return Jpeg({ExifApp1(b.Build({
                   {{b.Short(0x0112, {6}), b.Pointer(0x8769, 2), b.Pointer(0x8825, 3)}, 1},
                   {{b.Short(0x0112, {6}), jpegOffset, b.Long(0x0202, {5})}, -1, thumbnail},
                   {{b.Short(0xA001, {65535}), b.Pointer(0xA005, 4)}},
                   {{b.Byte(0x0000, {2, 2, 0, 0})}},
                   {{b.Ascii(0x0001, "R03")}},
               })),
               Segment(0xE1, Concat({Text("http://ns.adobe.com/xap/1.0/"), Bytes{0}, Text(xmp)}))});
}

TEST(MetadataWriter, TheSourceIsOnlyRead) {
  TOutputOptions turned;
  turned.metadata = true;
  turned.width = 240;
  turned.height = 320;
  turned.turnedFrom = 6;
  turned.turnThumbnail = [](ByteView, int) { return std::optional<Bytes>(Bytes{0xFF, 0xD8, 'u', 0xFF, 0xD9}); };
  turned.stripGps = true;
  turned.convertedToSrgb = TSrgbConversion{Bytes{1, 2, 3}, "sRGB IEC61966-2.1"};
  TOutputOptions kept = turned;
  kept.turnedFrom = 1;
  kept.stripGps = false;
  kept.convertedToSrgb.reset();
  kept.width = 100;
  TImgData img;
  img.ScanJpegSegments(ChangeableSource(), kPartsAll);
  const std::vector<TTagEntry> entries = img.exifInfo->entries;
  const Bytes thumbnail = img.exifInfo->thumbnail;
  const std::vector<Bytes> xmp = img.xmpSegments;
  // Each twice from the one source, as the size limit's search writes them: the same as from a fresh one.
  for (const TOutputOptions* o : {&turned, &kept, &turned, &kept}) {
    TImgData fresh;
    fresh.ScanJpegSegments(ChangeableSource(), kPartsAll);
    EXPECT_EQ(WriteJpegOutput(img, EncodedWithComment(), *o), WriteJpegOutput(fresh, EncodedWithComment(), *o));
  }
  ASSERT_EQ(img.exifInfo->entries.size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(img.exifInfo->entries[i].raw, entries[i].raw) << entries[i].name;
    EXPECT_EQ(img.exifInfo->entries[i].data, entries[i].data) << entries[i].name;
  }
  EXPECT_EQ(img.exifInfo->thumbnail, thumbnail);
  EXPECT_EQ(img.xmpSegments, xmp);
  EXPECT_TRUE(img.iccProfile.empty());
}

TEST(MetadataWriter, AFormatWithAThumbnailOfItsOwnGetsNoIfd1) {
  TImgData img;
  img.ScanJpegSegments(ChangeableSource(), kPartsAll);
  TOutputOptions o;
  o.metadata = true;
  o.turnedFrom = 6;
  o.turnThumbnail = [](ByteView, int) -> std::optional<Bytes> { throw std::logic_error("called"); };
  const TOutputMetadata pieces = MakeOutputMetadata(img, o, {.thumbnail = false});
  EXPECT_EQ(ReadDir(pieces.tiff, 8, false).next, 0u);
  EXPECT_TRUE(pieces.notes.empty()) << "nothing turned, nothing lost";
  EXPECT_TRUE(img.HasThumbnail());
}

TEST(MetadataWriter, ConvertedToSrgbSaysSoInTheOutput) {
  TImgData img;
  img.ScanJpegSegments(ChangeableSource(), kPartsAll);
  TOutputOptions o;
  o.metadata = true;
  o.convertedToSrgb = TSrgbConversion{Bytes{1, 2, 3}, "sRGB IEC61966-2.1"};
  const TOutputMetadata pieces = MakeOutputMetadata(img, o);
  EXPECT_EQ(pieces.icc, (Bytes{1, 2, 3}));
  const std::string packet(pieces.XmpPacket().span().begin(), pieces.XmpPacket().span().end());
  EXPECT_NE(packet.find("photoshop:ICCProfile=\"sRGB IEC61966-2.1\""), std::string::npos) << packet;
  TImgData again;
  again.ScanJpegSegments(LayOutJpeg(EncodedWithComment(), pieces), kPartsAll);
  ASSERT_TRUE(again.HasExif());
  EXPECT_EQ(again.exifInfo->GetTagNumber("ColorSpace"), 1);
  const auto& entries = again.exifInfo->entries;
  const auto interop = std::find_if(entries.begin(), entries.end(),
                                    [](const TTagEntry& e) { return e.parentId == kParentInterop && e.tag == 1; });
  ASSERT_NE(interop, entries.end());
  EXPECT_EQ(interop->raw, Concat({Text("R98"), Bytes{0}}));
  // Without ColorSpace in the source, one is added; without an Interoperability index, none.
  TImgData bare;
  bare.ScanJpegSegments(Jpeg({ExifApp1(TiffBuilder(true).Build({{{TiffBuilder(true).Ascii(0x010F, "Acme")}}}))}),
                        kPartsAll);
  again.ScanJpegSegments(WriteJpegOutput(bare, EncodedWithComment(), o), kPartsAll);
  EXPECT_EQ(again.exifInfo->GetTagNumber("ColorSpace"), 1);
  EXPECT_EQ(again.exifInfo->IndexOfName("InteroperabilityIndex"), -1);
}

}  // namespace
}  // namespace velmora
