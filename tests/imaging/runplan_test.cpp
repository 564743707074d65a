#include "imaging/runplan.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <tuple>

#include "base/fileio.h"
#include "imaging/orientation.h"
#include "imaging/sourceformat.h"
#include "imaging/sourcepicture.h"
#include "metadata/jpegsegments.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using W = PlannedWrite;

class RunPlanTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const fs::path& d : {src_, dst_}) fs::create_directories(d);
  }
  void Copy(const char* sample, const std::string& as) const {
    fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples") / sample, src_ / as);
  }
  RunRequest Request(std::vector<std::string> names, const std::string& pattern, ExistingOutput existing) const {
    RunRequest request;
    request.sourceFolder = src_;
    request.names = std::move(names);
    request.options.destFolder = dst_;
    request.options.output.templateNames = true;
    request.options.output.nameTemplate = pattern;
    request.options.output.existing = existing;
    return request;
  }
  static std::vector<std::tuple<std::string, W, std::string>> Outputs(const RunPlan& plan) {
    std::vector<std::tuple<std::string, W, std::string>> out;
    for (const PlannedFile& f : plan.files) out.emplace_back(f.output, f.write, f.refused);
    return out;
  }

  QTemporaryDir dir_;
  const fs::path src_ = fs::path(dir_.path().toStdString()) / "src", dst_ = src_.parent_path() / "dst";
};

// The size after the size rule, upright, and the date from EXIF, else the modification time.
TEST_F(RunPlanTest, NamesFromTheHeaders) {
  Copy("canon_digital_ixus.jpg", "exif.jpg");     // 640 x 480, taken 2001:06:09 15:17:32
  Copy("synthetic_no_metadata.jpg", "none.jpg");  // 640 x 480, no EXIF
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 1000);
  fs::last_write_time(src_ / "none.jpg", when);
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(when));
  const std::string stamp = QDateTime::fromSecsSinceEpoch(t).toString("yyyyMMdd_HHmmss").toStdString();

  RunRequest request =
      Request({"exif.jpg", "none.jpg"}, "{data:%Y%m%d_%H%M%S}_{szer}x{wys}_{nr:2}", ExistingOutput::Replace);
  request.options.sizeLimit = 320;
  request.options.output.startNumber = 9;
  const RunPlan plan = planRun(request, false);
  ASSERT_EQ(plan.files.size(), 2u);
  EXPECT_EQ(planLine(plan.files[0]), "exif.jpg -> 20010609_151732_320x240_09.jpg 320x240 nowy");
  EXPECT_EQ(planLine(plan.files[1]), "none.jpg -> " + stamp + "_320x240_10.jpg 320x240 nowy");
  // Nothing needs the header of a file that is no picture until a field does.
  std::ofstream(src_ / "bad.jpg") << "no picture";
  EXPECT_EQ(planRun(Request({"bad.jpg"}, "{nazwa}", ExistingOutput::Replace), false).files[0].refused, "");
  EXPECT_NE(planRun(Request({"bad.jpg"}, "{nazwa}_{szer}", ExistingOutput::Replace), false).files[0].refused, "");
}

// The header gives the size the run's decoder finds, upright, and the EXIF date wherever the format
// keeps it (after the picture data in PNG and WebP).
TEST(SourceHeader, AgreesWithTheDecoders) {
  const fs::path formats = VELMORA_TEST_DATA "/formats";
  const std::pair<const char*, bool> rows[] = {
      {"photo-png.png", true}, {"photo-webp.webp", true}, {"photo-heic.heic", true},   {"rotated-heic.heic", true},
      {"pages.tif", true},     {"alpha16.png", false},    {"alpha16-tiff.tif", false},
  };
  for (const auto& [name, dated] : rows) {
    const Bytes file = readFileBytes(formats / name);
    const PictureFormat format = checkedFormat(name, file);
    const DecodedPicture decoded = decodePicture(file, format);
    std::vector<std::string> dropped;
    TImgData segments;
    segments.ScanJpegSegments(jpegHeaderOf(decoded.metadata, dropped), kPartOrientation);
    const QSize upright = UprightSize(decoded.fullSize, decoded.metadata.upright ? 1 : segments.Orientation());
    const SourceHeader header = readSourceHeader(formats / name, true);
    EXPECT_EQ(QSize(header.width, header.height), upright) << name;
    ASSERT_EQ(header.exifDate.has_value(), dated) << name;
    // All made from one camera sample, taken 2001:03:14 08:46:51.
    if (dated) {
      EXPECT_EQ(std::tuple(header.exifDate->tm_year, header.exifDate->tm_hour), std::tuple(101, 8)) << name;
    }
  }
}

// "x.jpg" is there; "x (2).jpg" is the second source's own name, so numbering passes it by.
TEST_F(RunPlanTest, ExistingOutputsAreReplacedSkippedOrNumbered) {
  for (const char* name : {"x.jpg", "x (2).jpg", "x.JPG"}) Copy("synthetic_no_metadata.jpg", name);
  std::ofstream(dst_ / "x.jpg") << "old";
  const std::vector<std::string> names{"x.jpg", "x (2).jpg", "x.JPG"};
  using Row = std::vector<std::tuple<std::string, W, std::string>>;
  const std::string twice = "Plik wynikowy \"" + (dst_ / "x.JPG").string() + "\" powstaje już z pliku \"x.JPG\"";
  const std::tuple<ExistingOutput, Row> rows[] = {
      {ExistingOutput::Replace, Row{{"x.jpg", W::Replace, ""}, {"x (2).jpg", W::New, ""}, {"x.JPG", W::New, ""}}},
      {ExistingOutput::Skip, Row{{"x.jpg", W::Skip, ""}, {"x (2).jpg", W::New, ""}, {"x.JPG", W::New, ""}}},
      {ExistingOutput::Number, Row{{"x (3).jpg", W::Number, ""}, {"x (2).jpg", W::New, ""}, {"x.JPG", W::New, ""}}},
  };
  for (const auto& [mode, expected] : rows)
    EXPECT_EQ(Outputs(planRun(Request(names, "{nazwa}", mode), false)), expected) << static_cast<int>(mode);
  // Two files of one name: numbered, or else the second refused.
  const std::vector<std::string> same{"x.JPG", "x.JPG"};
  EXPECT_EQ(Outputs(planRun(Request(same, "{nazwa}", ExistingOutput::Number), false)),
            (Row{{"x.JPG", W::New, ""}, {"x (2).JPG", W::Number, ""}}));
  EXPECT_EQ(std::get<2>(Outputs(planRun(Request(same, "{nazwa}", ExistingOutput::Skip), false))[1]), twice);
}

// Between the plan and the write another process may take the name: kept, or the next free number.
TEST_F(RunPlanTest, TheWriteKeepsAFileThatAppeared) {
  Copy("synthetic_no_metadata.jpg", "a.jpg");
  BatchOptions options;
  options.destFolder = dst_;
  options.outputName = options.outputBase = "o.jpg";
  options.plannedNames = std::make_shared<const std::set<std::string>>(std::set<std::string>{"o.jpg", "o (2).jpg"});
  std::ofstream(dst_ / "o.jpg") << "theirs";
  options.output.existing = ExistingOutput::Skip;
  EXPECT_TRUE(processFile(src_ / "a.jpg", options).skipped);
  options.output.existing = ExistingOutput::Number;
  const FileOutcome numbered = processFile(src_ / "a.jpg", options);
  EXPECT_EQ(std::pair(numbered.skipped, numbered.output), std::pair(false, dst_ / "o (3).jpg"));
  EXPECT_EQ(readFileBytes(dst_ / "o.jpg"), Bytes({'t', 'h', 'e', 'i', 'r', 's'}));
  EXPECT_FALSE(fs::exists(dst_ / "o (2).jpg"));
}

}  // namespace
}  // namespace velmora
