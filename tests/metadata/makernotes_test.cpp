#include "metadata/makernotes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jpeg_builder.h"
#include "metadata/jpegsegments.h"

namespace velmora {
namespace {

using namespace test;

// A maker-note directory after `header`; values longer than four bytes follow it, and their offset
// fields hold (position in the note) + delta.
Bytes MakerNote(bool be, const Bytes& header, const std::vector<TiffEntry>& entries, std::int64_t delta,
                std::size_t countAt = SIZE_MAX) {
  ByteWriter w;
  w.bytes(header);
  while (countAt != SIZE_MAX && w.size() < countAt) w.u8(0);
  const std::size_t valuesAt = w.size() + 2 + 12 * entries.size() + 4;
  Bytes values;
  w.u16(static_cast<std::uint16_t>(entries.size()), be);
  for (const auto& e : entries) {
    w.u16(e.tag, be);
    w.u16(e.type, be);
    w.u32(e.count, be);
    if (e.value.size() <= 4) {
      Bytes v = e.value;
      v.resize(4, 0);
      w.bytes(v);
    } else {
      w.u32(static_cast<std::uint32_t>(static_cast<std::int64_t>(valuesAt + values.size()) + delta), be);
      values.insert(values.end(), e.value.begin(), e.value.end());
    }
  }
  w.u32(0, be);
  w.bytes(values);
  return w.take();
}

enum class Offsets { kFromTiffHeader, kFromNote, kFromInnerHeader };

struct Camera {
  const char* make;
  const char* exifVersion;
  bool be;      // the EXIF block's byte order
  bool noteBe;  // the maker note's byte order
  Bytes header;
  std::size_t countAt;
  Offsets offsets;
};

// Builds an EXIF block with the make, the Exif version and the maker note, and reads it.
std::unique_ptr<TImgData> ReadCamera(const Camera& c, const std::vector<TiffEntry>& noteEntries) {
  const TiffBuilder b(c.be);
  auto build = [&](std::int64_t notePos) {
    std::int64_t delta = 0;
    if (c.offsets == Offsets::kFromTiffHeader) delta = notePos;
    if (c.offsets == Offsets::kFromInnerHeader) delta = -10;
    const Bytes note = MakerNote(c.noteBe, c.header, noteEntries, delta, c.countAt);
    return std::make_pair(b.Build({{{b.Ascii(0x010F, c.make), b.Ascii(0x0110, "Model D1"), b.Pointer(0x8769, 1)}},
                                   {{b.Undefined(0x9000, Text(c.exifVersion)), b.Undefined(0x927C, note)}}}),
                          note);
  };
  auto [first, note] = build(0);
  const auto at = std::search(first.begin(), first.end(), note.begin(), note.end());
  const Bytes tiff = build(at - first.begin()).first;
  auto img = std::make_unique<TImgData>();
  img->ScanJpegSegments(Jpeg({ExifApp1(tiff)}), kPartsAll | kPartTexts);
  return img;
}

std::vector<const TTagEntry*> MakerEntries(const TImgData& img) {
  std::vector<const TTagEntry*> out;
  for (const auto& e : img.exifInfo->entries)
    if (e.kind == 1) out.push_back(&e);
  return out;
}

TiffEntry Short(bool be, std::uint16_t tag, std::uint16_t v) { return TiffBuilder(be).Short(tag, {v}); }

TEST(MakerNotes, EachMakeDecodesItsTable) {
  const Bytes nikon3Header = Concat({Text("Nikon"), Bytes{0, 2, 0, 0, 0}, Text("II*"), Bytes{0, 8, 0, 0, 0}});
  struct Row {
    Camera camera;
    std::vector<TiffEntry> entries;
    const char* name;  // the entry to look at
    std::string text;
  } rows[] = {
      {{"NIKON", "0210", false, false, Concat({Text("Nikon"), Bytes{0, 1, 0}}), 8, Offsets::kFromTiffHeader},
       {Short(false, 0x0002, 9), Short(false, 0x0003, 12), Short(false, 0x0004, 1)},
       "Quality",
       "2 Mpixel Fine"},
      {{"NIKON", "0210", true, true, {}, 0, Offsets::kFromTiffHeader},
       {TiffBuilder(true).Ascii(0x0003, "MODE1a ")},
       "ColorMode",
       "Mode1 (sRGB)"},
      {{"NIKON CORPORATION", "0221", false, false, nikon3Header, 18, Offsets::kFromInnerHeader},
       {TiffBuilder(false).Rational(0x0084, {{18, 1}, {70, 1}, {35, 10}, {45, 10}})},
       "LensInformation",
       "18.0-70.0 mm  F3.5-F4.5"},
      {{"OLYMPUS OPTICAL CO.,LTD", "0220", true, true, Concat({Text("OLYMP"), Bytes{0, 1, 0}}), 8,
        Offsets::kFromTiffHeader},
       {Short(true, 0x0200, 1), Short(true, 0x0201, 3), TiffBuilder(true).Ascii(0x0209, "OLYMPUS DIGITAL CAMERA")},
       "JpegQual",
       "SHQ"},
      {{"CASIO COMPUTER CO.,LTD", "0220", true, true, Concat({Text("QVC"), Bytes{0, 0, 0}}), 6,
        Offsets::kFromTiffHeader},
       {Short(true, 0x0008, 2), Short(true, 0x3001, 1)},
       "Quality",
       "Super Fine"},
      {{"CASIO", "0210", true, true, {}, 0, Offsets::kFromTiffHeader},
       {Short(true, 0x0001, 1), Short(true, 0x0002, 3), Short(true, 0x000A, 1)},
       "Quality",
       "Fine"},
      {{"FUJIFILM", "0220", true, false, Concat({Text("FUJIFILM"), Bytes{12, 0, 0, 0}}), 12, Offsets::kFromNote},
       {Short(false, 0x1001, 3), Short(false, 0x1020, 1), TiffBuilder(false).Ascii(0x1000, "NORMAL ")},
       "Sharpness",
       "Normal"},
      {{"Canon", "0220", false, false, {}, 0, Offsets::kFromTiffHeader},
       {TiffBuilder(false).Ascii(0x0006, "IMG:PowerShot JPEG"), TiffBuilder(false).Long(0x0008, {1171771})},
       "ImageNumber",
       "1171771"},
      {{"SEIKO EPSON CORP.", "0210", false, false, Concat({Text("EPSON"), Bytes{0, 1, 0}}), 8,
        Offsets::kFromTiffHeader},
       {Short(false, 0x0200, 0), Short(false, 0x0201, 2)},
       "JpegQuality",
       "2"},
      {{"SANYO Electric Co.,Ltd.", "0210", false, false, Concat({Text("SANYO"), Bytes{0, 1, 0}}), 8,
        Offsets::kFromTiffHeader},
       {Short(false, 0x0200, 0), Short(false, 0x0202, 1)},
       "Macro",
       "1"},
      {{"MINOLTA CO.,LTD", "0220", false, false, {}, 0, Offsets::kFromTiffHeader},
       {TiffBuilder(false).Undefined(0x0000, Text("MLT0")), TiffBuilder(false).Undefined(0x0E00, Text("PrintIM data"))},
       "PIMdata",
       "\"PrintIM data\""},
  };
  for (const auto& r : rows) {
    const auto img = ReadCamera(r.camera, r.entries);
    ASSERT_TRUE(img->HasExif()) << r.camera.make;
    EXPECT_TRUE(img->exifInfo->makerNoteResult) << r.camera.make;
    const TTagEntry* found = nullptr;
    for (const TTagEntry* e : MakerEntries(*img))
      if (e->name == r.name) found = e;
    ASSERT_NE(found, nullptr) << r.camera.make << " " << r.name;
    EXPECT_EQ(found->data, r.text) << r.camera.make;
    EXPECT_EQ(found->parentId, kParentMakerNote) << r.camera.make;
    // The table's first row (the note's version or family) is never stored.
    EXPECT_LE(MakerEntries(*img).size(), r.entries.size()) << r.camera.make;
  }
}

TEST(MakerNotes, FirstRowAndSkipRowsAreNotStored) {
  const auto img =
      ReadCamera({"CASIO", "0210", true, true, {}, 0, Offsets::kFromTiffHeader},
                 {Short(true, 0x0001, 1), Short(true, 0x0002, 3), Short(true, 0x0008, 5), Short(true, 0x7777, 1)});
  const auto entries = MakerEntries(*img);
  ASSERT_EQ(entries.size(), 1u);  // RecordingMode is the first row, 0x0008 is Skip, 0x7777 unknown
  EXPECT_EQ(entries[0]->name, "Quality");
}

TEST(MakerNotes, CanonFieldsJoinTheMainList) {
  std::vector<std::uint16_t> settings(40, 0);
  settings[0] = 80;
  settings[1] = 2;   // macro mode: Normal
  settings[4] = 16;  // flash mode: External flash
  TiffEntry info1(0x0001, kShort, static_cast<std::uint32_t>(settings.size()), {});
  ByteWriter w;
  for (auto v : settings) w.u16(v, false);
  info1.value = w.take();
  const auto img = ReadCamera({"Canon", "0220", false, false, {}, 0, Offsets::kFromTiffHeader}, {info1});
  std::map<std::string, std::string> computed;
  for (const auto& e : img->exifInfo->entries)
    if (e.kind == 1 && e.parentId == 0) computed[e.name] = e.data;
  EXPECT_EQ(computed["Macro mode"], "Normal");
  EXPECT_EQ(computed["Flash Mode"], "External flash");
  EXPECT_EQ(computed["Drive Mode"], "Single");
}

TEST(MakerNotes, UnknownMakesAndBrokenNotesLeaveTheBytesOnly) {
  const auto sony =
      ReadCamera({"SONY", "0220", false, false, {}, 0, Offsets::kFromTiffHeader}, {Short(false, 0x0001, 1)});
  EXPECT_FALSE(sony->exifInfo->makerNoteResult);
  EXPECT_TRUE(MakerEntries(*sony).empty());
  EXPECT_NE(sony->exifInfo->IndexOfName("MakerNote"), -1);
  // A directory whose count runs past the note, with offsets past everything.
  TiffEntry far = TiffBuilder(false).Ascii(0x0207, "firmware text");
  const auto olympus =
      ReadCamera({"OLYMPUS", "0220", false, false, Concat({Text("OLYMP"), Bytes{0, 1, 0}}), 8, Offsets::kFromNote},
                 {far, Short(false, 0x0201, 2)});
  EXPECT_TRUE(olympus->exifInfo->makerNoteResult);
  EXPECT_EQ(olympus->exifInfo->GetTagText("Make"), "OLYMPUS");
}

}  // namespace
}  // namespace velmora
