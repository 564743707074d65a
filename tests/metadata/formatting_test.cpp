#include "metadata/formatting.h"

#include <gtest/gtest.h>

#include "base/textcodec.h"
#include "metadata/tagtables.h"

namespace velmora {
namespace {

TEST(Formatting, LookupCodeFindsItemsSeparatedByCommasOnly) {
  const std::string photometric = "1:Monochrome, 2:RGB, 6:YCbCr";
  struct Row {
    std::string map, value, text;
  } rows[] = {
      {"1:Horizontal (normal),6:Rotate 90 CW", "6", "Rotate 90 CW"},
      {"1:Horizontal (normal),6:Rotate 90 CW", " 6 ", "Rotate 90 CW"},
      {"1:Horizontal (normal),6:Rotate 90 CW", "9", ""},
      {photometric, "1", "Monochrome"},
      {photometric, "2", ""},  // ", " separated items after the first are not found
      {"7:Portrait,8:Landscape;9:Bulb", "8", "Landscape;9:Bulb"},
      {"", "1", ""},
  };
  for (const auto& r : rows) EXPECT_EQ(LookupCode(r.map, r.value), r.text) << r.map << " / " << r.value;
  EXPECT_EQ(ReverseLookupCode("1:Auto,2:Manual", "Manual"), 2);
  EXPECT_FALSE(ReverseLookupCode("1:Auto,2:Manual", "manual").has_value());
}

TEST(Formatting, ParseFraction) {
  struct Row {
    const char* text;
    double value;
  } rows[] = {{"1/250", 0.004}, {" 28/10 ", 2.8}, {"1 1/2", 1.5}, {"5/0", 0},     {"2.5", 2.5}, {"-3", -3},
              {"abc", 0},       {"", 0},          {"1/x", 0},     {"7 2.5", 9.5}, {"3/4 mm", 0}};
  for (const auto& r : rows) EXPECT_DOUBLE_EQ(ParseFraction(r.text), r.value) << r.text;
}

TEST(Formatting, NumbersByFormat) {
  ByteWriter w;
  w.u32(28, false);
  w.u32(10, false);
  const Bytes fnumber = w.take();
  w.u32(static_cast<std::uint32_t>(-5), true);
  w.u32(3, true);
  const Bytes negative = w.take();
  w.u32(0x40490FDB, false);  // 3.1415927f
  const Bytes pi = w.take();
  struct Row {
    const char* what;
    Bytes bytes;
    std::uint32_t count;
    int format;
    const char* code;
    const char* fmt;
    bool be;
    std::string text;
  } rows[] = {
      {"rational with format", fnumber, 1, kRational, "", "F%0.1f", false, "F2.8"},
      {"rational as text", fnumber, 1, kRational, "", "%s sec", false, "28/10 sec"},
      {"signed rational", negative, 1, kSRational, "", "", true, "-5/3"},
      {"float", pi, 1, kFloat, "", "", false, "3.1415927"},
      {"shorts", Bytes{1, 0, 2, 0, 3, 0}, 3, kShort, "", "", false, "1, 2, 3"},
      {"shorts with codes", Bytes{0, 1, 0, 3}, 2, kShort, "1:one,3:three", "", true, "one, three"},
      {"undefined byte", Bytes{3}, 1, kUndefined, "3:Digital camera", "", false, "Digital camera"},
      {"undefined bytes", Bytes{3, 4}, 2, kUndefined, "", "", false, "?, ?"},
      {"fewer bytes than components", Bytes{1, 0, 2}, 3, kShort, "", "", false, "1"},
      {"unknown format", Bytes{1, 2}, 2, 13, "", "", false, ""},
      {"%f shows two decimals", fnumber, 1, kRational, "", "%f", false, "2.80"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(FormatNumbers(r.bytes, r.count, r.format, {r.code, r.fmt}, r.be), r.text) << r.what;
  // At most 128 components are shown.
  const Bytes many(400, 1);
  EXPECT_EQ(SplitList(FormatNumbers(many, 400, kByte, {}, false)).size(), kMaxShownComponents);
  EXPECT_EQ(ValueAsFloat(Bytes{1, 0, 0, 0, 0, 0, 0, 0}, kRational, false), 0) << "denominator 0";
}

TEST(Formatting, Formatters) {
  struct Row {
    Formatter f;
    const char* text;
    std::string result;
  } rows[] = {
      {Formatter::kShutterSpeed, "8", "0.0039 sec (1/256)"},
      {Formatter::kShutterSpeed, "0", "1.0000 sec"},
      {Formatter::kShutterSpeed, "100000", "0.0000 sec (1/INF)"},
      {Formatter::kFlash, "", "Unknown"},
      {Formatter::kFlash, "16", "Off, surpressed"},
      {Formatter::kFlash, "45", "On, no strobe return, forced, no flash function"},
      {Formatter::kGpsVersion, "2, 2, 0, 0", "2.2.0.0"},
      {Formatter::kGpsAltitude, "1215/10", "121.50 m"},
      {Formatter::kNikonColorMode, "\"MODE2\"", "Mode 2 (Adobe RGB)"},
      {Formatter::kNikonColorMode, "\"COLOR\"", "COLOR"},
      {Formatter::kNikonLens, "18, 70, 35/10, 45/10", "18.0-70.0 mm  F3.5-F4.5"},
      {Formatter::kVersion, "\"0220\"", "\"0220\""},
  };
  for (const auto& r : rows) EXPECT_EQ(ApplyFormatter(r.f, {r.text, {}, false}), r.result) << r.text;
}

TEST(Formatting, CanonFieldsBecomeComputedFields) {
  // Camera settings: item 1 macro mode 2 (Normal), item 4 flash mode 1 (Auto), item 24 = 682.
  std::string settings = "92";
  for (int i = 1; i < 40; ++i) settings += ", " + std::to_string(i == 1 ? 2 : i == 4 ? 1 : i == 23 ? 682 : 0);
  std::vector<ComputedField> fields;
  const std::string text = ApplyFormatter(Formatter::kCanonExposureInfo1, {settings, {}, false}, &fields);
  ASSERT_FALSE(fields.empty());
  EXPECT_EQ(fields[0].name, "Macro mode");
  EXPECT_EQ(fields[0].text, "Normal");
  EXPECT_NE(text.find("\nFlash Mode = Auto"), std::string::npos);
  EXPECT_NE(text.find("\nLong focal = 682"), std::string::npos) << "no map: item k counted from 1";
  std::vector<ComputedField> custom;
  ApplyFormatter(Formatter::kCanonCustomFunctions, {"257, 513, 5000, 12, 3841, 99", {}, false}, &custom);
  ASSERT_EQ(custom.size(), 3u);
  EXPECT_EQ(custom[0].name, "Noise Reduction");
  EXPECT_EQ(custom[0].text, " On");
  EXPECT_EQ(custom[1].name, "Shutter AE Lock Button");
  EXPECT_EQ(custom[1].text, "AE lock/AF");
  EXPECT_EQ(custom[2].text, "Disable");
  EXPECT_EQ(custom[2].name, "Shutter Release w/o CF Card");
}

TEST(Formatting, ExifDates) {
  EXPECT_EQ(FormatExifDate("2003:12:14 12:01:44", "yyyy-mm-dd hh:nn:ss"), "2003-12-14 12:01:44");
  EXPECT_EQ(FormatExifDate("2004:02:29 00:00:00", "dd.mm.yy"), "29.02.04");
  for (const char* bad : {"0000:00:00 00:00:00", "2003:02:29 10:00:00", "2003:12:14 24:00:00", "2003:12:14 12:01",
                          "abcd:12:14 12:01:44", "2003:1a:14 12:01:44"})
    EXPECT_FALSE(FormatExifDate(bad, "yyyy-mm-dd hh:nn:ss").has_value()) << bad;
}

TEST(TagTables, RowsAndDescriptions) {
  EXPECT_EQ(MainTagTable().size(), 251u);
  EXPECT_EQ(GpsTagTable().size(), 32u);
  EXPECT_STREQ(UnknownTagRow().name, "Unknown");
  struct Row {
    const char* name;
    const char* desc;
  } rows[] = {{"ExposureTime", "Exposure time"},
              {"ISOSpeedRatings", "ISOSpeed Ratings"},
              {"GPSVersionID", "GPSVersion ID"},
              {"T4Options", "T4 Options"},
              {"IPTC/NAA", "IPTC/NAA"},
              {"FocalLengthIn35mmFilm", "Focal Length in 35mm Film"},
              {"Make", "Make"}};
  for (const auto& r : rows) {
    const TagRow* row = FindRowByName(MainTagTable(), r.name);
    if (!row) row = FindRowByName(GpsTagTable(), r.name);
    ASSERT_NE(row, nullptr) << r.name;
    EXPECT_EQ(EntryFromRow(*row).desc, r.desc) << r.name;
  }
  EXPECT_EQ(DescriptionFromName("ab"), "ab");
  // Every GPS row belongs to the GPS directory; the Exif rows to the Exif directory.
  for (const auto& row : GpsTagTable()) EXPECT_EQ(row.parentId, kParentGps) << row.name;
  EXPECT_EQ(FindRowByTag(MainTagTable(), 0x829A)->parentId, kParentExif);
  EXPECT_EQ(FindRowByTag(MainTagTable(), 0x8825)->parentId, kParentIfd0);
  EXPECT_STREQ(FindRowByTag(MainTagTable(), 0x8822)->code,
               "0:Not denfined,1:Manual,2:Program AE,3:Aperture-priority AE,4:Shutter speed priority AE,5:Creative "
               "(slow speed),6:Action (high speed),7:Portrait,8:Landscape;9:Bulb");
}

}  // namespace
}  // namespace velmora
