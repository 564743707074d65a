#include "imaging/batchrules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "imaging/imagingerror.h"

namespace velmora {
namespace {

struct SizeRow {
  int w, h, limit;
  bool enlarge;
  ScaleAction action;
  int newW, newH;
};

TEST(SizeRule, FollowsTheExamples) {
  const SizeRow rows[] = {
      {3000, 2000, 1280, false, ScaleAction::Reduce, 1280, 853},
      {2000, 3000, 1280, false, ScaleAction::Reduce, 853, 1280},
      {2000, 2000, 1280, false, ScaleAction::Reduce, 1280, 1280},
      {2560, 1707, 1280, false, ScaleAction::Reduce, 1280, 854},  // 853.5: ties to even
      {2560, 1705, 1280, false, ScaleAction::Reduce, 1280, 852},  // 852.5
      {1707, 2560, 1280, false, ScaleAction::Reduce, 854, 1280},
      {1000, 800, 1280, true, ScaleAction::Enlarge, 1280, 1024},
      {1000, 800, 1280, false, ScaleAction::Keep, 1000, 800},
      {1280, 853, 1280, true, ScaleAction::Keep, 1280, 853},
      {853, 1280, 1280, true, ScaleAction::Keep, 853, 1280},
      {1280, 1280, 1280, true, ScaleAction::Keep, 1280, 1280},
      {1281, 1280, 1280, false, ScaleAction::Reduce, 1280, 1279},
      {1280, 1281, 1280, false, ScaleAction::Reduce, 1279, 1280},
      {1279, 1279, 1280, true, ScaleAction::Enlarge, 1280, 1280},
      {1, 1, 1, false, ScaleAction::Keep, 1, 1},
      {5, 3, 1, false, ScaleAction::Reduce, 1, 1},
      // A long thin strip keeps at least one pixel across.
      {3000, 1, 1280, false, ScaleAction::Reduce, 1280, 1},
      {1, 3000, 1280, false, ScaleAction::Reduce, 1, 1280},
  };
  for (const SizeRow& r : rows) {
    const ScalePlan plan = applySizeRule(r.w, r.h, r.limit, r.enlarge);
    EXPECT_EQ(plan.action, r.action) << r.w << "x" << r.h;
    EXPECT_EQ(plan.width, r.newW) << r.w << "x" << r.h;
    EXPECT_EQ(plan.height, r.newH) << r.w << "x" << r.h;
  }
}

TEST(SizeRule, RefusesALimitBelowOne) {
  for (int limit : {0, -1, -1280}) {
    try {
      applySizeRule(100, 100, limit, true);
      ADD_FAILURE() << limit;
    } catch (const ImagingError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Maksymalny rozmiar musi być większy od zera (podano " + std::to_string(limit) + ")");
    }
  }
}

TEST(NamingRule, FollowsTheExamples) {
  struct Row {
    const char* name;
    NameMode mode;
    const char* affix;
    const char* expected;
  };
  const Row rows[] = {
      {"IMG_0001.jpg", NameMode::Prefix, "_", "_IMG_0001.jpg"},
      {"a.b.JPEG", NameMode::Suffix, "_m", "a.b_m.JPEG"},
      {"IMG_0001.jpg", NameMode::Prefix, "", "IMG_0001.jpg"},
      {"IMG_0001.jpg", NameMode::Suffix, "", "IMG_0001.jpg"},
      {"photo", NameMode::Suffix, "_m", "photo_m"},
      {".profile", NameMode::Suffix, "_m", "_m.profile"},
      {"zdjęcie.Jpg", NameMode::Suffix, "-mały", "zdjęcie-mały.Jpg"},
      {"photo.", NameMode::Suffix, "_s", "photo_s."},
      // Bytes that are no UTF-8 stay as they are: two such names never become one.
      {"\xff\xfe.jpg", NameMode::Suffix, "_s", "\xff\xfe_s.jpg"},
      {"\xfe\xff.jpg", NameMode::Suffix, "_s", "\xfe\xff_s.jpg"},
      {"\xc5.\xff", NameMode::Suffix, "\xe9", "\xc5\xe9.\xff"},
  };
  for (const Row& r : rows) EXPECT_EQ(outputName(r.name, r.mode, r.affix), r.expected) << r.name;
  // The extension names what is written; a JPEG from a JPEG keeps its own.
  const std::tuple<const char*, OutputFormat, const char*> formats[] = {
      {"IMG_1.JPG", OutputFormat::kJpeg, "_IMG_1.JPG"}, {"IMG_1.heic", OutputFormat::kJpeg, "_IMG_1.jpg"},
      {"IMG_1.JPG", OutputFormat::kWebp, "_IMG_1.webp"}, {"IMG_1.tif", OutputFormat::kAvif, "_IMG_1.avif"},
      {"photo", OutputFormat::kWebp, "_photo.webp"}};
  for (const auto& [name, format, expected] : formats)
    EXPECT_EQ(outputName(name, NameMode::Prefix, "_", format), expected) << name;
  EXPECT_EQ(outputPath("/out", "a.jpg", NameMode::Prefix, "_"), std::filesystem::path("/out/_a.jpg"));
  EXPECT_EQ(outputPath("/out/", "a.jpg", NameMode::Suffix, "_s"), std::filesystem::path("/out/a_s.jpg"));
}

TEST(NamingRule, RefusesNamesThatAreNotPlainFileNames) {
  for (const char* name : {"", "sub/a.jpg", "../a.jpg"}) {
    EXPECT_THROW(outputName(name, NameMode::Prefix, "_"), ImagingError) << name;
  }
  EXPECT_THROW(outputName(std::string_view("a\0b.jpg", 7), NameMode::Prefix, "_"), ImagingError);
}

// A name below the source folder keeps its folders below the destination; none may lead out of it.
TEST(NamingRule, KeepsTheFoldersOfANameBelowTheDestinationOnly) {
  EXPECT_EQ(outputPath("/out", "2026/wesele/a.jpg", NameMode::Prefix, "_"),
            std::filesystem::path("/out/2026/wesele/_a.jpg"));
  EXPECT_EQ(outputFolder("/out/", "a.jpg"), std::filesystem::path("/out/"));
  for (const char* name : {"../a.jpg", "sub/../../a.jpg", "/etc/a.jpg", "a//b.jpg", "./a.jpg", "sub/"})
    EXPECT_THROW(outputPath("/out", name, NameMode::Prefix, "_"), ImagingError) << name;
}

// An affix that would leave the destination ("../x_") or cut the name (NUL), and names that would
// be the folder itself or its parent, never become an output path.
TEST(NamingRule, RefusesAffixesAndResultsThatAreNoFileInTheDestination) {
  struct Row {
    std::string_view affix;
    NameMode mode;
    std::string_view name;
    const char* fault;    // of the affix; "" when it is fine
    const char* message;  // outputName's
  };
  using namespace std::string_view_literals;
  const Row rows[] = {
      {"../x_", NameMode::Prefix, "a.jpg", "nie może zawierać znaku \"/\"", "Prefiks nie może zawierać znaku \"/\""},
      {"/", NameMode::Suffix, "a.jpg", "nie może zawierać znaku \"/\"", "Sufiks nie może zawierać znaku \"/\""},
      {"_\0x"sv, NameMode::Prefix, "a.jpg", "nie może zawierać znaku NUL", "Prefiks nie może zawierać znaku NUL"},
      {".", NameMode::Prefix, ".", "", "Nieprawidłowa nazwa pliku wynikowego: \"..\""},
      {"", NameMode::Suffix, "..", "", "Nieprawidłowa nazwa pliku wynikowego: \"..\""},
      {"", NameMode::Prefix, ".", "", "Nieprawidłowa nazwa pliku wynikowego: \".\""},
      {"..", NameMode::Prefix, "a", "", nullptr},  // "..a" is a file like any other
      {"\\", NameMode::Prefix, "a", "", nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.affix) + " " + std::string(r.name));
    EXPECT_EQ(affixFault(r.affix), r.fault);
    if (r.message == nullptr) {
      EXPECT_NO_THROW(outputName(r.name, r.mode, r.affix));
      continue;
    }
    try {
      outputName(r.name, r.mode, r.affix);
      ADD_FAILURE() << "no error";
    } catch (const ImagingError& e) {
      EXPECT_STREQ(e.what(), r.message);
    }
  }
}

TEST(NameTemplate, ExpandsItsFields) {
  std::tm date{};
  date.tm_year = 126, date.tm_mon = 5, date.tm_mday = 14, date.tm_hour = 15, date.tm_min = 30, date.tm_sec = 7;
  date.tm_yday = 164;
  struct Row {
    const char* pattern;
    const char* name;
    long long number;
    OutputFormat format;
    const char* expected;
  };
  const Row rows[] = {
      {"wesele_{nr:3}", "IMG_0001.jpg", 1, OutputFormat::kJpeg, "wesele_001.jpg"},
      {"wesele_{nr:3}", "IMG_0001.JPG", 1234, OutputFormat::kJpeg, "wesele_1234.JPG"},
      {"{nr}", "a.png", 7, OutputFormat::kJpeg, "7.jpg"},
      {"{nazwa}_{szer}x{wys}", "a.b.jpeg", 1, OutputFormat::kWebp, "a.b_640x480.webp"},
      {"{data:%Y-%m-%d_%H%M}_{nr:2}", "x.jpg", 3, OutputFormat::kJpeg, "2026-06-14_1530_03.jpg"},
      {"{data}_{nazwa}", "x.jpg", 1, OutputFormat::kJpeg, "2026-06-14_153007_x.jpg"},
      {"{data:%y%j}{nr}", "x.jpg", 1, OutputFormat::kAvif, "261651.avif"},
      // What a field gives that a file system refuses becomes "_"; the template's own text stays.
      {"{data:%Y/%m}-{nazwa}", "a:b*c?\"<>|\\\x01.jpg", 1, OutputFormat::kJpeg, "2026_06-a_b_c_______.jpg"},
      {"zdj\xc4\x99\x63ie {nazwa}", "\xff.jpg", 1, OutputFormat::kJpeg, "zdj\xc4\x99\x63ie \xff.jpg"},
  };
  for (const Row& r : rows) {
    NameFields fields;
    fields.name = r.name, fields.number = r.number, fields.date = date, fields.width = 640, fields.height = 480;
    EXPECT_EQ(templateName(parseNameTemplate(r.pattern), fields, r.format), r.expected) << r.pattern;
  }
}

TEST(NameTemplate, RefusesWhatCannotName) {
  const std::pair<std::string, const char*> rows[] = {
      {"", "podaj szablon"},
      {"{data}", "musi zawierać {nazwa} lub {nr}"},
      {"{szer}x{wys}", "musi zawierać {nazwa} lub {nr}"},
      {"{nr:0}", "szerokość numeru w polu {nr:0}"},
      {"{nr:x}", "szerokość numeru w polu {nr:x}"},
      {"{nr:10}", "szerokość numeru w polu {nr:10}"},
      {"{nazwa}{rok}", "nieznane pole {rok}"},
      {"{nazwa:3}", "nieznane pole {nazwa:3}"},
      {"{nazwa", "niezamknięte pole"},
      {"{nazwa}{data:%A}", "nieznany format daty"},
      {"{nazwa}{data:%}", "nieznany format daty"},
      {"{nazwa}{data:}", "pusty format daty"},
      {"../{nazwa}", "nie może zawierać znaku \"/\""},
      {std::string("{nr}\0x", 6), "nie może zawierać znaku NUL"},
  };
  for (const auto& [pattern, fault] : rows) {
    EXPECT_THAT(nameTemplateFault(pattern), testing::HasSubstr(fault)) << pattern;
    EXPECT_THROW(parseNameTemplate(pattern), ImagingError) << pattern;
  }
  EXPECT_EQ(nameTemplateFault("{nazwa}"), "");
  // A name whose stem is empty, "." or "..": no file of its own.
  for (const char* name : {".jpg", "..jpg", "...jpg"}) {
    NameFields fields;
    fields.name = name;
    EXPECT_THROW(templateName(parseNameTemplate("{nazwa}"), fields, OutputFormat::kJpeg), ImagingError) << name;
  }
}

TEST(NameTemplate, ReadsOnlyWellFormedExifDates) {
  const std::tm date = exifDateTime("2026:06:14 15:30:07").value_or(std::tm{});
  EXPECT_EQ(std::tuple(date.tm_year, date.tm_mon, date.tm_mday, date.tm_hour, date.tm_min, date.tm_sec, date.tm_yday),
            std::tuple(126, 5, 14, 15, 30, 7, 164));
  for (const char* bad : {"", "    :  :     :  :  ", "2026:13:01 00:00:00", "2026-06-14 15:30:07", "2026:06:14"})
    EXPECT_FALSE(exifDateTime(bad)) << bad;
}

}  // namespace
}  // namespace velmora
