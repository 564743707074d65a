#include "metadata/exifreader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "jpeg_builder.h"
#include "metadata/exifedit.h"
#include "metadata/jpegsegments.h"
#include "metadata/messages.h"
#include "metadata_test_util.h"

namespace velmora {
namespace {

using namespace test;

// Reads a TIFF structure as the EXIF block of a JPEG file.
std::unique_ptr<TImgData> Read(const Bytes& tiff) {
  auto img = std::make_unique<TImgData>();
  img->ScanJpegSegments(Jpeg({ExifApp1(tiff)}), kPartsAll);
  return img;
}

const TTagEntry* Find(const std::vector<TTagEntry>& list, std::string_view name) {
  for (const auto& e : list)
    if (e.name == name) return &e;
  return nullptr;
}

TEST(ExifReader, WalksEveryStandardDirectory) {
  for (const bool be : {false, true}) {
    const TiffBuilder b(be);
    TiffEntry jpegOffset = b.Long(0x0201, {0});
    jpegOffset.blobOffset = true;
    const Bytes thumb = {0xFF, 0xD8, 9, 8, 7, 0xFF, 0xD9};
    const Bytes tiff = b.Build({
        {{b.Ascii(0x010F, "Maker"), b.Pointer(0x8769, 1), b.Pointer(0x8825, 3)}, 4},        // IFD0
        {{b.Rational(0x829A, {{1, 250}}), b.Pointer(0xA005, 2), b.Short(0xA002, {4000})}},  // Exif
        {{b.Ascii(0x0001, "R98")}},                                                         // Interoperability
        {{b.Byte(0x0000, {2, 2, 0, 0}), b.Ascii(0x0001, "N")}},                             // GPS
        {{b.Short(0x0103, {6}), jpegOffset, b.Long(0x0202, {static_cast<std::uint32_t>(thumb.size())})}, -1, thumb},
    });
    const auto img = Read(tiff);
    const TImageInfo& info = *img->exifInfo;
    struct Row {
      const char* name;
      std::uint16_t parent;
    } rows[] = {{"Make", 0},
                {"ExifOffset", 0},
                {"GPSInfo", 0},
                {"ExposureTime", 34665},
                {"InteroperabilityIndex", 40965},
                {"InteroperabilityOffset", 34665},
                {"GPSVersionID", 34853},
                {"GPSLatitudeRef", 34853}};
    for (const auto& r : rows) {
      const TTagEntry* e = Find(info.entries, r.name);
      ASSERT_NE(e, nullptr) << r.name;
      EXPECT_EQ(e->parentId, r.parent) << r.name;
      EXPECT_EQ(e->kind, 0) << r.name;
    }
    EXPECT_EQ(Find(info.entries, "GPSVersionID")->data, "2.2.0.0");
    ASSERT_EQ(info.ThumbEntryCount(), 3);
    for (const auto& e : info.thumbEntries) EXPECT_EQ(e.parentId, kParentIfd1);
    EXPECT_EQ(info.thumbnail, thumb);
    EXPECT_EQ(info.thumbCompression, 6);
    EXPECT_EQ(info.GetImageWidth(), 4000);  // no ImageWidth in IFD0: ExifImageWidth
    EXPECT_EQ(info.GetImageHeight(), 0);
  }
}

TEST(ExifReader, PointerLoopsAreHarmless) {
  const TiffBuilder b(false);
  // The Exif pointer leads back to IFD0.
  const Bytes tiff = b.Build({{{b.Ascii(0x010F, "Maker"), b.Pointer(0x8769, 0)}}});
  const auto img = Read(tiff);
  int makes = 0;
  for (const auto& e : img->exifInfo->entries) makes += e.name == "Make";
  EXPECT_EQ(makes, 1);
}

TEST(ExifReader, TagsMissingFromTheTablesAreKeptUnderTheirNumber) {
  for (const bool be : {false, true}) {
    SCOPED_TRACE(be ? "MM" : "II");
    const TiffBuilder b(be);
    // One unknown entry of each TIFF format, inline and in the value area, in every directory.
    TiffEntry sbyte = b.Byte(0xC001, {0xFE, 1});
    sbyte.type = kSByte;
    TiffEntry slong = b.Long(0xC002, {0xFFFFFFFF, 2});
    slong.type = kSLong;
    TiffEntry sshort = b.Short(0xC003, {0x8000});
    sshort.type = kSShort;
    TiffEntry floats = b.Long(0xC004, {0x3F800000});
    floats.type = kFloat;
    TiffEntry doubles = b.Rational(0xC005, {{0, 0x3FF00000}});
    doubles.type = kDouble;
    const std::vector<TiffEntry> unknown = {b.Byte(0xC000, {1, 2, 3, 4, 5}),
                                            sbyte,
                                            b.Ascii(0xA434, "EF-S18-55mm f/3.5-5.6 IS"),
                                            b.Short(0xA431, {7, 8, 9}),
                                            b.Long(0x8830, {2}),
                                            b.Rational(0xA432, {{18, 1}, {55, 1}, {35, 10}, {56, 10}}),
                                            slong,
                                            b.Undefined(0xC4A5, Text("PrintIM0300")),
                                            sshort,
                                            b.Rational(0xC006, {{1, 3}}, true),
                                            floats,
                                            doubles};
    TiffDir ifd0({b.Ascii(0x010F, "Maker"), b.Pointer(0x8769, 1), b.Pointer(0x8825, 3), b.Short(0xC100, {1})});
    TiffDir exif({b.Pointer(0xA005, 2)});
    for (const TiffEntry& e : unknown) exif.entries.push_back(e);
    const auto img = Read(b.Build({ifd0, exif, TiffDir({b.Short(0xC200, {2})}), TiffDir({b.Short(0x0040, {3})})}));
    const TImageInfo& info = *img->exifInfo;
    const auto find = [&](std::uint16_t parent, std::uint16_t tag) -> const TTagEntry* {
      for (const auto& e : info.entries)
        if (e.parentId == parent && e.tag == tag) return &e;
      return nullptr;
    };
    for (const TiffEntry& u : unknown) {
      const TTagEntry* e = find(kParentExif, u.tag);
      ASSERT_NE(e, nullptr) << u.tag;
      EXPECT_EQ(e->type, u.type);
      EXPECT_EQ(e->raw, u.value) << u.tag;
      EXPECT_EQ(e->kind, 0);
      EXPECT_EQ(e->name, UnknownTagName(u.tag));
    }
    EXPECT_EQ(UnknownTagName(0xA434), "0xA434");
    ASSERT_NE(find(kParentIfd0, 0xC100), nullptr);
    ASSERT_NE(find(kParentInterop, 0xC200), nullptr);
    ASSERT_NE(find(kParentGps, 0x0040), nullptr);
    // Nothing of the design's own reading changes: known names and texts stay as they were.
    EXPECT_EQ(info.GetTagText("Make"), "Maker");
    EXPECT_TRUE(IsNull(info.GetTagValue("Unknown")));
  }
}

TEST(ExifReader, HostileDirectoriesGiveFewerEntriesOrAnError) {
  const TiffBuilder b(false);
  {
    TiffDir dir({b.Ascii(0x010F, "Maker")});
    dir.countOverride = 65535;
    const auto img = Read(b.Build({dir}));
    EXPECT_EQ(img->errorText, msg::kIllegalDirectory);
    EXPECT_EQ(img->exifInfo->EntryCount(), 0);
  }
  {
    // Offsets of 0xFFFFFFFF: the value is dropped (and listed as lost), the sub-directory absent.
    TiffEntry farValue = b.Ascii(0x010E, "a long description");
    farValue.rawOffset = 0xFFFFFFFF;
    TiffEntry farDir = b.Long(0x8769, {0});
    farDir.rawOffset = 0xFFFFFFFF;
    TiffEntry farThumb = b.Long(0x0201, {0});
    farThumb.rawOffset = 0xFFFFFFF0;
    const auto img =
        Read(b.Build({{{farValue, farDir, b.Ascii(0x010F, "Maker")}, 1}, {{farThumb, b.Long(0x0202, {0x7FFFFFFF})}}}));
    const TImageInfo& info = *img->exifInfo;
    EXPECT_EQ(Find(info.entries, "ImageDescription"), nullptr);
    ASSERT_EQ(info.dropped.size(), 1u);
    EXPECT_EQ(info.dropped[0].tag, 0x010E);
    EXPECT_EQ(info.dropped[0].parentId, kParentIfd0);
    EXPECT_EQ(info.GetTagText("Make"), "Maker");
    EXPECT_FALSE(info.HasThumbnail());
  }
  {
    // A thumbnail that runs past the block is not kept.
    TiffEntry offset = b.Long(0x0201, {0});
    offset.blobOffset = true;
    const auto img =
        Read(b.Build({{{b.Ascii(0x010F, "Maker")}, 1}, {{offset, b.Long(0x0202, {100})}, -1, Bytes(10, 1)}}));
    EXPECT_FALSE(img->exifInfo->HasThumbnail());
  }
  {
    // A chain of Exif pointers, each to a new directory, is followed only so deep.
    std::vector<TiffDir> dirs;
    for (int i = 0; i < 40; ++i) dirs.push_back(TiffDir({b.Short(0x0112, {1}), b.Pointer(0x8769, i + 1)}));
    dirs.push_back(TiffDir({b.Short(0x0112, {1})}));
    const auto img = Read(b.Build(dirs));
    int orientations = 0;
    for (const auto& e : img->exifInfo->entries) orientations += e.name == "Orientation";
    EXPECT_EQ(orientations, IfdLimits::kMaxDirectoryDepth + 1);
  }
  {
    // Component counts that would need gigabytes (a Make of 0xFFFFFFFF bytes) or just one byte more
    // than the block holds: that entry is dropped, the ones around it kept.
    TiffEntry huge = b.Rational(0x011A, {{1, 1}});
    huge.count = 0xFFFFFFFF;
    TiffEntry make = b.Ascii(0x010F, "Maker");
    make.count = 0xFFFFFFFF;
    const Bytes block = b.Build({{{b.Ascii(0x010E, "kept before"), make, huge, b.Ascii(0x0131, "kept after")}}});
    const auto img = Read(block);
    const TImageInfo& info = *img->exifInfo;
    EXPECT_EQ(Find(info.entries, "XResolution"), nullptr);
    EXPECT_EQ(Find(info.entries, "Make"), nullptr);
    EXPECT_EQ(info.GetTagText("ImageDescription"), "kept before");
    EXPECT_EQ(info.GetTagText("Software"), "kept after");
    ASSERT_EQ(info.dropped.size(), 2u);
    EXPECT_EQ(info.dropped[0].tag, 0x010F);
    EXPECT_EQ(info.dropped[1].tag, 0x011A);
  }
  {
    // The value ends exactly at the block's end: kept; one byte more: dropped.
    for (const std::uint32_t count : {40u, 41u}) {
      TiffEntry last = b.Undefined(0xC4A5, Bytes(40, 7));
      last.count = count;
      const Bytes block = b.Build({{{last}}});
      ASSERT_EQ(block.size(), 8u + 18 + 40);  // the value is the block's last 40 bytes
      const auto img = Read(block);
      EXPECT_EQ(img->exifInfo->EntryCount(), count == 40 ? 1 : 0) << count;
    }
  }
}

TEST(ExifReader, RepeatedLargeValuesAndManyDirectoriesStayBounded) {
  const TiffBuilder b(false);
  // Thousands of entries all pointing at the same 30 KB value: kept bytes stay within the budget.
  TiffEntry big = b.Undefined(0x9000, Bytes(20000, '7'));
  std::vector<TiffEntry> many(2000, big);
  for (auto& e : many) e.rawOffset = 8;
  const auto img = Read(b.Build({TiffDir(many)}));
  std::size_t kept = 0;
  for (const auto& e : img->exifInfo->entries) kept += e.raw.size() + e.data.size();
  EXPECT_GT(img->exifInfo->EntryCount(), 10);
  EXPECT_LE(kept, IfdLimits::kMaxBytes);
  // A directory of pointers to a thousand distinct empty directories reads only so many of them.
  std::vector<TiffDir> dirs(1);
  for (int i = 1; i <= 1000; ++i) {
    dirs[0].entries.push_back(b.Pointer(i % 2 ? 0x8769 : 0xA005, i));
    dirs.push_back(TiffDir({b.Short(0x0112, {1})}));
  }
  const auto wide = Read(b.Build(dirs));
  int orientations = 0;
  for (const auto& e : wide->exifInfo->entries) orientations += e.name == "Orientation";
  EXPECT_EQ(orientations, IfdLimits::kMaxDirectories - 1);
}

TEST(ExifReader, DisplayTexts) {
  const TiffBuilder b(false);
  Bytes xpTitle;
  for (const char16_t c : std::u16string(u"Łódź 2"))
    xpTitle.insert(xpTitle.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
  xpTitle.insert(xpTitle.end(), {0, 0});
  Bytes unicodeComment = Text(std::string("UNICODE") + '\0');
  for (const char16_t c : std::u16string(u"Zażółć "))
    unicodeComment.insert(unicodeComment.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
  struct Row {
    const char* name;
    TiffEntry entry;
    std::string text;
  } rows[] = {
      {"ExposureTime", b.Rational(0x829A, {{1, 250}}), "1/250 sec"},
      {"FNumber", b.Rational(0x829D, {{28, 10}}), "F2.8"},
      {"FocalLength", b.Rational(0x920A, {{63, 10}}), "6.3 mm"},
      {"Orientation", b.Short(0x0112, {6}), "Rotate 90 CW"},
      {"Orientation", b.Short(0x0112, {9}), ""},
      {"Flash", b.Short(0x9209, {0x19}), "On, auto mode"},
      {"Flash", b.Short(0x9209, {0}), "Unknown"},
      {"Flash", b.Short(0x9209, {0x5F}), "On, strobe return, auto mode, red-eye reduction"},
      {"ShutterSpeedValue", b.Rational(0x9201, {{8, 1}}, true), "0.0039 sec (1/256)"},
      {"ExposureBiasValue", b.Rational(0x9204, {{static_cast<std::uint32_t>(-2), 3}}, true), "-2/3"},
      {"TimeZoneOffset", b.SShort(0x882A, {-1}), "-1"},
      {"BitsPerSample", b.Short(0x0102, {8, 8, 8}), "8, 8, 8"},
      {"XResolution", b.Rational(0x011A, {{300, 1}}), "300"},
      {"YResolution", b.Rational(0x011B, {{0, 1}}), "0"},
      {"DateTime", b.Ascii(0x0132, "2003:12:14 12:01:44"), "2003-12-14 12:01:44"},
      {"DateTime", b.Ascii(0x0132, "0000:00:00 00:00:00"), "0000:00:00 00:00:00"},
      {"DateTime", b.Ascii(0x0132, "2003:02:30 12:01:44"), "2003:02:30 12:01:44"},
      {"Make", b.Ascii(0x010F, std::string("Tab\tand\x01 control")), "Tab.and. control"},
      {"ImageDescription", b.Ascii(0x010E, std::string(60, 'x')), std::string(50, 'x')},
      {"Artist", b.Ascii(0x013B, "Zaj\xB9\x63"), "Zaj\xC4\x85\x63"},  // Windows-1250 "Zając"
      {"Title", TiffEntry(0x9C9B, 1, static_cast<std::uint32_t>(xpTitle.size()), xpTitle), "Łódź 2"},
      {"ExifVersion", b.Undefined(0x9000, Text("0220")), "\"0220\""},
      {"ComponentsConfiguration", b.Undefined(0x9101, {1, 2, 3, 0}), "YCbCr"},
      {"UserComment", b.Undefined(0x9286, Concat({Text("ASCII"), Bytes(3, 0), Text("Hello  ")})), "Hello"},
      {"UserComment", b.Undefined(0x9286, unicodeComment), "Zażółć"},
  };
  for (const auto& r : rows) {
    const auto img = Read(b.Build({{{r.entry}}}));
    const TTagEntry* e = Find(img->exifInfo->entries, r.name);
    ASSERT_NE(e, nullptr) << r.name;
    EXPECT_EQ(e->data, r.text) << r.name;
  }
}

TEST(ExifReader, GpsTexts) {
  for (const bool be : {false, true}) {
    const TiffBuilder b(be);
    struct Row {
      const char* name;
      TiffEntry entry;
      const char* text;
    } rows[] = {
        {"GPSLatitude", b.Rational(0x0002, {{50, 1}, {3, 1}, {1234, 100}}), "50\xC2\xB0 3' 12.34\""},
        {"GPSLatitude", b.Rational(0x0002, {{50, 1}, {315, 100}, {0, 1}}), "50\xC2\xB0 3' 9.00\""},
        {"GPSLongitude", b.Rational(0x0004, {{151, 1}, {12, 1}, {5508, 100}}), "151\xC2\xB0 12' 55.08\""},
        {"GPSAltitude", b.Rational(0x0006, {{1215, 10}}), "121.50 m"},
        {"GPSTimeStamp", b.Rational(0x0007, {{8, 1}, {20, 1}, {30, 1}}), "8:20:30"},
        {"GPSLatitudeRef", b.Ascii(0x0001, "S"), "S"},
    };
    for (const auto& r : rows) {
      const auto img = Read(b.Build({{{b.Pointer(0x8825, 1)}}, {{r.entry}}}));
      const TTagEntry* e = Find(img->exifInfo->entries, r.name);
      ASSERT_NE(e, nullptr) << r.name;
      EXPECT_EQ(e->data, r.text) << r.name;
      EXPECT_EQ(e->parentId, kParentGps);
    }
  }
}

TEST(ExifReader, Getters) {
  const TiffBuilder b(true);
  const auto img = Read(
      b.Build({{{b.Ascii(0x010F, "Maker  "), b.Long(0x0100, {1600}), b.Short(0x0101, {1200}),
                 b.Short(0x0102, {8, 8, 8}), b.Pointer(0x8769, 1)}},
               {{b.Rational(0x829A, {{1, 250}}), b.Rational(0x9201, {{8, 1}}, true), b.Undefined(0x9000, Text("0230")),
                 b.Undefined(0xA300, {3}), b.Undefined(0x927C, Text("opaque"))}}}));
  const TImageInfo& info = *img->exifInfo;
  EXPECT_EQ(std::get<double>(info.GetTagValue("exposuretime")), 0.004);
  EXPECT_DOUBLE_EQ(std::get<double>(info.GetTagValue("ShutterSpeedValue")), 1.0 / 256);
  EXPECT_EQ(std::get<std::string>(info.GetTagValue("Make")), "Maker  ");
  EXPECT_EQ(info.GetTagText("Make"), "Maker");
  EXPECT_EQ(std::get<std::string>(info.GetTagValue("ExifVersion")), "0230");
  EXPECT_EQ(std::get<std::string>(info.GetTagValue("MakerNote")), "<binary>");
  EXPECT_EQ(std::get<std::int64_t>(info.GetTagValue("ImageWidth")), 1600);
  const auto bits = std::get<std::vector<TagScalar>>(info.GetTagValue("BitsPerSample"));
  ASSERT_EQ(bits.size(), 3u);
  EXPECT_EQ(std::get<std::int64_t>(bits[2]), 8);
  EXPECT_TRUE(IsNull(info.GetTagValue("Artist")));
  EXPECT_EQ(info.GetTagNumber("FileSource"), 3);
  EXPECT_EQ(info.GetTagNumber("Artist"), -1);
  EXPECT_EQ(info.GetTagFloat("Artist"), 0);
  EXPECT_EQ(info.GetTagText("Artist"), "");
  EXPECT_EQ(info.GetImageWidth(), 1600);
  EXPECT_EQ(info.GetImageHeight(), 1200);
  EXPECT_EQ(info.GetTagText("ExposureTime"), "1/250 sec");
}

TEST(ExifReader, UserCommentCodes) {
  const Bytes jis = Concat({Text("JIS"), Bytes(5, 0), Text("abc")});
  const Bytes unknown = Concat({Text("OTHER"), Bytes(3, 0), Text("abc")});
  const Bytes undefinedCode = Concat({Bytes(8, 0), Text("plain")});
  const TiffBuilder b(false);
  EXPECT_EQ(Read(b.Build({{{b.Undefined(0x9286, undefinedCode)}}}))->exifInfo->GetUserComment(), "plain");
  EXPECT_EQ(Read(b.Build({{{b.Undefined(0x9286, unknown)}}}))->exifInfo->GetUserComment(), "");
  const auto img = Read(b.Build({{{b.Undefined(0x9286, jis)}}}));
  EXPECT_EQ(Message([&] { img->exifInfo->GetUserComment(); }), msg::kJisComment);
}

TEST(ExifReader, Derives35mmFocalLengthOnlyWhenTheFileHasNone) {
  const TiffBuilder b(false);
  // A 2272 x 1704 picture from a sensor of 8114.29 pixels per inch: 7.11 x 5.33 mm, crop factor 4.87.
  const auto exifDir = [&](bool with35) {
    TiffDir d({b.Rational(0x920A, {{682, 32}}), b.Short(0xA002, {2272}), b.Short(0xA003, {1704}),
               b.Rational(0xA20E, {{2272000, 280}}), b.Rational(0xA20F, {{1704000, 210}}), b.Short(0xA210, {2})});
    if (with35) d.entries.push_back(b.Short(0xA405, {50}));
    return d;
  };
  const auto derived = Read(b.Build({{{b.Pointer(0x8769, 1)}}, exifDir(false)}));
  const TTagEntry* e = Find(derived->exifInfo->entries, "FocalLengthIn35mmFilm");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->kind, 1);  // computed: shown, never written
  EXPECT_EQ(e->parentId, kParentExif);
  EXPECT_EQ(e->type, kShort);
  EXPECT_EQ(e->data, "103.72");  // the resolutions count as whole numbers (8114 pixels per inch)
  EXPECT_EQ(e->raw, (Bytes{104, 0}));
  const auto kept = Read(b.Build({{{b.Pointer(0x8769, 1)}}, exifDir(true)}));
  int count = 0;
  for (const auto& entry : kept->exifInfo->entries) count += entry.name == "FocalLengthIn35mmFilm";
  EXPECT_EQ(count, 1);
  EXPECT_EQ(kept->exifInfo->GetTagNumber("FocalLengthIn35mmFilm"), 50);
}

TEST(ExifReader, FractionApproximation) {
  struct Row {
    double x;
    std::int64_t num, den;
  } rows[] = {{0, 0, 1},       {0.004, 1, 250}, {2.8, 14, 5},      {1, 1, 1},     {3, 3, 1},
              {1.0 / 3, 1, 3}, {-0.5, -1, 2},   {2.9999999, 3, 1}, {1e-12, 0, 1}, {123456.5, 246913, 2}};
  for (const auto& r : rows) {
    const auto [n, d] = ApproximateFraction(r.x);
    EXPECT_EQ(n, r.num) << r.x;
    EXPECT_EQ(d, r.den) << r.x;
  }
}

TEST(ExifEdit, SetTagValueStoresValuesInTheBlocksByteOrder) {
  for (const bool be : {false, true}) {
    const TiffBuilder b(be);
    const auto img = Read(b.Build({{{b.Ascii(0x010F, "Maker"), b.Short(0x0100, {640})}}}));
    TExifEdit info(*img->exifInfo);
    const auto number = [&](std::string_view name, std::size_t at = 0) {
      const ByteView raw(Find(info.entries, name)->raw);
      return raw.size() == 2 ? raw.u16(at, be).value() : raw.u32(at, be).value();
    };
    info.SetTagValue("ExposureTime", std::string("1/250"), SetIn::kMainOrGpsTable);
    const TTagEntry* e = Find(info.entries, "ExposureTime");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->parentId, kParentExif);
    EXPECT_EQ(ByteView(e->raw).u32(0, be), 1u);
    EXPECT_EQ(ByteView(e->raw).u32(4, be), 250u);
    EXPECT_NE(Find(info.entries, "ExifOffset"), nullptr) << "the Exif directory's pointer is added";
    // An entry read as SHORT keeps its type; a new one takes the table's (LONG).
    info.SetTagValue("ImageWidth", std::int64_t{1280}, SetIn::kMainOrGpsTable);
    info.SetTagValue("ImageLength", std::int64_t{960}, SetIn::kMainOrGpsTable);
    EXPECT_EQ(Find(info.entries, "ImageWidth")->raw.size(), 2u);
    EXPECT_EQ(number("ImageWidth"), 1280u);
    EXPECT_EQ(Find(info.entries, "ImageLength")->type, kLong);
    EXPECT_EQ(number("ImageLength"), 960u);
    info.SetTagValue("Orientation", std::string("Rotate 90 CW"), SetIn::kMainTable);
    EXPECT_EQ(number("Orientation"), 6u);
    info.SetTagValue("Artist", std::string("Zając"), SetIn::kMainTable);
    EXPECT_EQ(Find(info.entries, "Artist")->raw, Concat({Text("Zając"), Bytes{0}}));
    info.SetTagValue("ShutterSpeedValue", std::string("1/256"), SetIn::kMainTable);
    EXPECT_EQ(number("ShutterSpeedValue"), 8u) << "APEX 8/1";
    EXPECT_EQ(number("ShutterSpeedValue", 4), 1u);
    info.SetTagValue("GPSLatitude", std::vector<TagScalar>{50.0, 3.0, 12.34}, SetIn::kMainOrGpsTable);
    const TTagEntry* lat = Find(info.entries, "GPSLatitude");
    ASSERT_NE(lat, nullptr);
    EXPECT_EQ(lat->parentId, kParentGps);
    EXPECT_EQ(lat->raw.size(), 24u);
    EXPECT_EQ(ByteView(lat->raw).u32(16, be), 617u);  // 12.34 = 617/50
    EXPECT_NE(Find(info.entries, "GPSInfo"), nullptr);
    EXPECT_EQ(Find(info.entries, "GPSInfo")->type, kLong);
    EXPECT_EQ(Find(info.entries, "GPSInfo")->raw.size(), 4u);
    info.SetTagValue("Compression", std::int64_t{6}, SetIn::kThumbnail);
    EXPECT_EQ(Find(info.thumbEntries, "Compression")->parentId, kParentIfd1);
    // Null and empty values remove the entry.
    info.SetTagValue("Artist", TagValue{}, SetIn::kMainTable);
    EXPECT_EQ(Find(info.entries, "Artist"), nullptr);
    info.SetTagValue("Make", std::string(), SetIn::kMainTable);
    EXPECT_EQ(Find(info.entries, "Make"), nullptr);
    info.SetTagValue("Compression", TagValue{}, SetIn::kThumbnail);
    EXPECT_EQ(Find(info.thumbEntries, "Compression"), nullptr);
  }
}

TEST(ExifEdit, SetTagValueErrors) {
  const TiffBuilder b(false);
  const auto img = Read(b.Build({{{b.Short(0x0112, {1})}}}));
  TExifEdit info(*img->exifInfo);
  struct Row {
    const char* name;
    TagValue value;
    SetIn flags;
    const char* error;
  } rows[] = {
      {"NoSuchTag", std::int64_t{1}, SetIn::kMainOrGpsTable, "Tag \"NoSuchTag\" not found."},
      {"GPSLatitude", std::int64_t{1}, SetIn::kMainTable, "Tag \"GPSLatitude\" not found."},
      {"Orientation", std::int64_t{70000}, SetIn::kMainTable, "Tag \"Orientation\": Value \"70000\" is out of range."},
      {"Orientation", std::int64_t{-1}, SetIn::kMainTable, "Tag \"Orientation\": Value \"-1\" is out of range."},
      {"Orientation", std::string("Upside down"), SetIn::kMainTable,
       "Lookup value \"Upside down\" of tag \"Orientation\" not found"},
      {"ExposureTime", std::int64_t{-1}, SetIn::kMainTable, "Tag \"ExposureTime\": Value \"-1\" is out of range."},
      {"Gamma", std::int64_t{2}, SetIn::kMainTable, "Unhandled data format in VarToNumericTag"},
  };
  for (const auto& r : rows) EXPECT_EQ(Message([&] { info.SetTagValue(r.name, r.value, r.flags); }), r.error) << r.name;
  EXPECT_EQ(Find(info.entries, "Orientation")->raw, (Bytes{1, 0})) << "a failed set leaves the value";
  // A pointer tag the table does not know cannot be added.
  EXPECT_EQ(Message([&] { info.SetTagValue("UserComment", Bytes{1}, SetIn::kMainTable); }), "no error");
  TImageInfo& read = *img->exifInfo;
  EXPECT_EQ(read.entries.size(), 1u) << "the source is not edited";
  read.entries.push_back(TTagEntry{0, 13, 0x0100, 0, 1, "ImageWidth", "", "", "", {}, "", 0, Formatter::kNone});
  read.entries.erase(read.entries.begin(), read.entries.end() - 1);
  EXPECT_EQ(Message([&] { read.GetTagValue("ImageWidth"); }), "NumericTagToVar does not handle Tag type 13");
}

TEST(ExifReader, AComputedEntryIsKeptAsComputed) {
  TImgData owner;
  TImageInfo full(owner);
  full.AddComputedEntry("LensName", "Zoom 7-21", kAscii);
  ASSERT_EQ(full.EntryCount(), 1);
  EXPECT_EQ(full.Entry(0).kind, 1);
  EXPECT_EQ(full.Entry(0).desc, "Lens Name");
  EXPECT_EQ(full.Entry(0).data, "Zoom 7-21");
}

}  // namespace
}  // namespace velmora
