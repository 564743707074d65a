#include "imaging/pipeline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "base/fileio.h"
#include "imaging/caption.h"
#include "imaging/jpegcodec.h"
#include "imaging/memorybudget.h"
#include "imaging/orientation.h"
#include "metadata/iccprofile.h"
#include "metadata/jpegsegments.h"
#include "settings/eabort.h"
#include "support/faulty_calls.h"
#include "support/oriented_jpeg.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

using test::OrientedExifApp1;
using test::StoredFor;
using test::WithSegmentsAfterSoi;

constexpr QRgb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kGrey = 0xFF808080;

// An upright picture with a red block at its top-left, a green one at its top-right.
QImage UprightMarked(int w, int h) {
  QImage picture(w, h, QImage::Format_RGB32);
  picture.fill(kGrey);
  const int b = w / 6;
  for (int y = 0; y < b; ++y)
    for (int x = 0; x < b; ++x) {
      picture.setPixel(x, y, kRed);
      picture.setPixel(w - 1 - x, y, kGreen);
    }
  return picture;
}

bool Near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40 && std::abs(qBlue(a) - qBlue(b)) < 40;
}

// True when the picture is upright: red at the top-left, green at the top-right, grey below.
bool LooksUpright(const QImage& p) {
  const int w = p.width(), h = p.height(), m = std::max(1, w / 24);
  return Near(p.pixel(m, m), kRed) && Near(p.pixel(w - 1 - m, m), kGreen) && Near(p.pixel(w / 2, h / 2), kGrey);
}

class Pipeline : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    src_ = fs::path(dir_.path().toStdString()) / "src";
    dst_ = fs::path(dir_.path().toStdString()) / "dst";
    fs::create_directory(src_);
    fs::create_directory(dst_);
  }
  fs::path copySample(const std::string& name) {
    const fs::path to = src_ / name;
    fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples") / name, to);
    return to;
  }
  BatchOptions options(int limit) const {
    BatchOptions o;
    o.sizeLimit = limit;
    o.destFolder = dst_;
    return o;
  }
  std::set<std::string> destFiles() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dst_)) names.insert(e.path().filename().string());
    return names;
  }

  QTemporaryDir dir_;
  fs::path src_, dst_;
};

TEST_F(Pipeline, ScalesAndWritesUnderTheNewName) {
  struct Row {
    const char* sample;
    int limit;
    bool enlarge;
    NameMode mode;
    const char* affix;
    const char* output;
    QSize size;
    ScaleAction action;
  };
  // The synthetic samples are 640 x 480.
  const Row rows[] = {
      {"synthetic_progressive.jpg",
       320,
       false,
       NameMode::Prefix,
       "_",
       "_synthetic_progressive.jpg",
       {320, 240},
       ScaleAction::Reduce},
      {"synthetic_cmyk.jpg",
       100,
       false,
       NameMode::Suffix,
       "_m",
       "synthetic_cmyk_m.jpg",
       {100, 75},
       ScaleAction::Reduce},
      {"synthetic_greyscale.jpg",
       1280,
       true,
       NameMode::Prefix,
       "big_",
       "big_synthetic_greyscale.jpg",
       {1280, 960},
       ScaleAction::Enlarge},
      {"synthetic_comment.jpg",
       1280,
       false,
       NameMode::Prefix,
       "_",
       "_synthetic_comment.jpg",
       {640, 480},
       ScaleAction::Keep},
  };
  for (const Row& r : rows) {
    BatchOptions o = options(r.limit);
    o.enlarge = r.enlarge;
    o.nameMode = r.mode;
    o.affix = r.affix;
    const FileOutcome outcome = processFile(copySample(r.sample), o);
    EXPECT_EQ(outcome.output, dst_ / r.output);
    EXPECT_EQ(outcome.action, r.action) << r.sample;
    EXPECT_EQ(QSize(outcome.width, outcome.height), r.size) << r.sample;
    EXPECT_EQ(loadJpeg(outcome.output).size(), r.size) << r.sample;
  }
}

TEST_F(Pipeline, CaptionHookSeesTheScaledPicture) {
  BatchOptions o = options(200);
  QSize seen;
  o.caption = [&](QImage& picture) {
    seen = picture.size();
    EXPECT_EQ(picture.format(), QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 0));
  };
  const FileOutcome outcome = processFile(copySample("synthetic_no_metadata.jpg"), o);
  EXPECT_EQ(seen, QSize(200, 150));
  const QImage written = loadJpeg(outcome.output);
  EXPECT_NEAR(qRed(written.pixel(100, 75)), 255, 3);
  EXPECT_NEAR(qGreen(written.pixel(100, 75)), 0, 3);
}

TEST_F(Pipeline, AbortFromTheCaptionHookStaysSilent) {
  BatchOptions o = options(100);
  o.caption = [](QImage&) { throw EAbort(); };
  EXPECT_THROW(processFile(copySample("synthetic_no_metadata.jpg"), o), EAbort);
  EXPECT_TRUE(destFiles().empty());
}

TEST_F(Pipeline, MetadataSeamKeepsThePictureWhenItHasNothingToAdd) {
  const Bytes encoded{0xFF, 0xD8, 0xFF, 0xD9};
  TImgData nothing;
  for (const bool metadata : {false, true}) {
    TOutputOptions o;
    o.metadata = metadata;
    EXPECT_EQ(carryOverMetadata(encoded, nothing, o), encoded) << metadata;
  }
}

TEST_F(Pipeline, KeepsTheSourcesMetadataWithTheNewSize) {
  const fs::path source = copySample("synthetic_exif_little_endian.jpg");
  BatchOptions o = options(100);
  o.keepMetadata = true;
  const FileOutcome out = processFile(source, o);
  TImgData before, after;
  before.OpenFile(source.string());
  ASSERT_TRUE(after.OpenFile(out.output.string()));
  ASSERT_TRUE(after.HasExif());
  EXPECT_EQ(after.exifInfo->GetImageWidth(), out.width);
  EXPECT_EQ(after.exifInfo->GetImageHeight(), out.height);
  EXPECT_EQ(after.exifInfo->GetTagText("Make"), before.exifInfo->GetTagText("Make"));
  EXPECT_EQ(after.exifInfo->thumbnail, before.exifInfo->thumbnail);
  EXPECT_EQ(loadJpeg(out.output).width(), 100);
}

TEST_F(Pipeline, MetadataThatCannotBeCarriedGivesAPlainPicture) {
  // IFD0 ImageWidth stored as a BYTE cannot hold the new width 300: the picture goes out plainly.
  const Bytes tiff{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x00, 0x01, 1, 0, 1, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0};
  Bytes app1{0xFF, 0xE1, 0, static_cast<std::uint8_t>(2 + 6 + tiff.size()), 'E', 'x', 'i', 'f', 0, 0};
  app1.insert(app1.end(), tiff.begin(), tiff.end());
  Bytes jpeg = readFileBytes(fs::path(VELMORA_TEST_DATA "/samples") / "synthetic_no_metadata.jpg");
  jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
  const fs::path source = src_ / "byte_width.jpg";
  writeFileAtomically(source, jpeg);
  TImgData check;
  ASSERT_TRUE(check.OpenFile(source.string()));
  ASSERT_EQ(check.exifInfo->GetImageWidth(), 200);

  BatchOptions o = options(300);
  o.keepMetadata = true;
  const FileOutcome out = processFile(source, o);
  const Bytes written = readFileBytes(out.output);
  ASSERT_GE(written.size(), 4u);
  EXPECT_EQ(written[3], 0xE0) << "the encoder's own APP0, no EXIF";
  TImgData after;
  after.OpenFile(out.output.string());
  EXPECT_FALSE(after.HasMetadata());
  EXPECT_EQ(loadJpeg(out.output).width(), 300);
  EXPECT_EQ(destFiles(), (std::set<std::string>{"_byte_width.jpg"}));
}

// A file needing more than its share of the run's memory fails with what it would need, and holds none.
TEST_F(Pipeline, APictureOverItsMemoryBudgetFails) {
  MemoryBudget budget(std::uint64_t{4} << 20);
  BatchOptions o = options(100);
  o.memory = &budget;
  EXPECT_THAT([&] { processFile(copySample("synthetic_no_metadata.jpg"), o); },
              testing::ThrowsMessage<BatchFileError>(
                  testing::MatchesRegex(".*: Obraz wymaga za dużo pamięci \\([0-9]+ MB\\)")));
  EXPECT_TRUE(destFiles().empty());
  const std::optional<MemoryBudget::Lease> held = budget.tryReserve(3 << 20);
  EXPECT_TRUE(held && !budget.tryReserve(2 << 20));
}

TEST_F(Pipeline, ErrorsNameTheFileAndLeaveNothingBehind) {
  struct Row {
    fs::path source;
    std::string cause;
  };
  const fs::path truncated = copySample("synthetic_truncated.jpg");
  fs::create_symlink("/dev/null", src_ / "device.jpg");  // never opened
  const Row rows[] = {
      {truncated, "Plik JPEG urywa się przed końcem obrazu"},
      {src_ / "missing.jpg", "Nie można odczytać pliku \"" + (src_ / "missing.jpg").string() + "\": plik nie istnieje"},
      {src_ / "device.jpg",
       "Nie można odczytać pliku \"" + (src_ / "device.jpg").string() + "\": to nie jest zwykły plik"},
  };
  for (const Row& r : rows) {
    try {
      processFile(r.source, options(100));
      ADD_FAILURE() << r.source;
    } catch (const BatchFileError& e) {
      EXPECT_EQ(e.fileName(), r.source.filename().string());
      EXPECT_EQ(e.cause(), r.cause);
      EXPECT_EQ(std::string(e.what()), r.source.filename().string() + ": " + r.cause);
    }
  }
  EXPECT_TRUE(destFiles().empty());

  BatchOptions bad = options(0);
  EXPECT_THROW(processFile(truncated, bad), BatchFileError);
  bad = options(100);
  bad.destFolder.clear();
  EXPECT_THROW(processFile(truncated, bad), BatchFileError);
}

TEST_F(Pipeline, ReplacesAnOldOutputButNeverTheSource) {
  const fs::path source = copySample("synthetic_no_metadata.jpg");
  BatchOptions o = options(64);
  const fs::path out = dst_ / "_synthetic_no_metadata.jpg";
  writeFileAtomically(out, Bytes{'o', 'l', 'd'});
  processFile(source, o);
  EXPECT_EQ(loadJpeg(out).width(), 64);
  EXPECT_EQ(destFiles(), std::set<std::string>{"_synthetic_no_metadata.jpg"});

  // Same folder, empty prefix: the output would be the source itself.
  o.destFolder = src_;
  o.affix = "";
  const auto before = readFileBytes(source);
  EXPECT_THROW(processFile(source, o), BatchFileError);
  EXPECT_EQ(readFileBytes(source), before);
}

TEST_F(Pipeline, FilesCanBeProcessedOnSeveralThreads) {
  const char* samples[] = {"synthetic_progressive.jpg", "synthetic_cmyk.jpg", "synthetic_greyscale.jpg",
                           "nikon_e950.jpg"};
  std::vector<fs::path> sources;
  for (const char* name : samples) sources.push_back(copySample(name));
  BatchOptions o = options(300);
  std::vector<std::thread> threads;
  for (const fs::path& source : sources) threads.emplace_back([&o, source] { processFile(source, o); });
  for (auto& t : threads) t.join();
  std::vector<Bytes> parallel;
  for (const char* name : samples) parallel.push_back(readFileBytes(dst_ / ("_" + std::string(name))));
  for (std::size_t i = 0; i < sources.size(); ++i) {
    processFile(sources[i], o);
    EXPECT_EQ(readFileBytes(dst_ / ("_" + std::string(samples[i]))), parallel[i]) << samples[i];
  }
}

// A full disk or a failing device while an output is written: the old output stays as it was, the
// run learns why, and nothing is left behind.
TEST_F(Pipeline, AFailedWriteKeepsTheOldOutput) {
  const fs::path source = copySample("synthetic_no_metadata.jpg");
  const fs::path out = dst_ / "_synthetic_no_metadata.jpg";
  for (const auto& [step, error, reason] : {std::tuple{test::FaultyCalls::Step::Write, ENOSPC, "brak miejsca na dysku"},
                                            std::tuple{test::FaultyCalls::Step::Fsync, EIO, "błąd wejścia-wyjścia"}}) {
    writeFileAtomically(out, Bytes{'o', 'l', 'd'});
    test::FaultyCalls calls;
    calls.failAt = step;
    calls.error = error;
    calls.writeBudget = 1000;
    BatchOptions o = options(64);
    o.fileCalls = &calls;
    try {
      processFile(source, o);
      ADD_FAILURE() << "no error";
    } catch (const BatchFileError& e) {
      EXPECT_EQ(e.cause(), "Nie można zapisać pliku \"" + out.string() + "\": " + reason);
    }
    EXPECT_EQ(readFileBytes(out), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(destFiles(), std::set<std::string>{"_synthetic_no_metadata.jpg"});
  }
}

// Names up to the file system's limit are written every time; one byte more is refused, naming the
// file, before the source is even read.
TEST_F(Pipeline, OutputNamesUpToTheLimitAreWrittenEveryTime) {
  std::string polish;
  for (int i = 0; i < 124; ++i) polish += "ł";
  const std::string names[] = {std::string(245, 'a') + ".jpg", std::string(250, 'b') + ".jpg", polish + "x.jpg"};
  for (const std::string& name : names) {
    fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples") / "synthetic_no_metadata.jpg", src_ / name);
    for (int run = 0; run < 5; ++run) {
      const FileOutcome outcome = processFile(src_ / name, options(32));
      EXPECT_EQ(outcome.output.filename().string().size(), name.size() + 1);
      EXPECT_EQ(loadJpeg(outcome.output).width(), 32);
    }
  }
  EXPECT_EQ(destFiles().size(), 3u);
  const std::string tooLong = std::string(252, 'c') + ".jpg";  // 257 bytes with the prefix
  try {
    processFile(src_ / tooLong, options(32));  // no such source: the name is refused first
    ADD_FAILURE() << "no error";
  } catch (const BatchFileError& e) {
    EXPECT_NE(e.cause().find((dst_ / ("_" + tooLong)).string()), std::string::npos) << e.cause();
    EXPECT_NE(e.cause().find("nazwa ma 257 bajtów"), std::string::npos) << e.cause();
  }
}

TEST_F(Pipeline, AnAffixThatLeavesTheDestinationWritesNothing) {
  const fs::path source = copySample("synthetic_no_metadata.jpg");
  BatchOptions o = options(32);
  o.affix = "../x_";
  EXPECT_THROW(processFile(source, o), BatchFileError);
  EXPECT_FALSE(fs::exists(dst_.parent_path() / "x_synthetic_no_metadata.jpg"));
  EXPECT_TRUE(destFiles().empty());
}

TEST_F(Pipeline, EveryOrientationComesOutUprightWithTheCaptionAtItsVisualLowerLeft) {
  // Upright 240 x 160 (thumbnail 48 x 32); scaled to 120 pixels on the longer side.
  const QImage upright = UprightMarked(240, 160), thumbUpright = UprightMarked(48, 32);
  for (int o = 1; o <= 8; ++o) {
    const Bytes thumbnail = encodeJpeg(StoredFor(thumbUpright, o));
    const Bytes source = WithSegmentsAfterSoi(encodeJpeg(StoredFor(upright, o)), OrientedExifApp1(o, thumbnail));
    for (const bool keep : {false, true}) {
      for (const bool rotate : {true, false}) {
        const std::string what =
            "orientation " + std::to_string(o) + (keep ? " --exif" : "") + (rotate ? "" : " --no-rotate");
        const fs::path path = src_ / ("o" + std::to_string(o) + ".jpg");
        writeFileAtomically(path, source);
        BatchOptions opt = options(120);
        opt.keepMetadata = keep;
        opt.rotate = rotate;
        bool hookUpright = false;
        // The caption's place: a blue block where the run stamps it, near the lower-left corner.
        opt.caption = [&](QImage& picture) {
          hookUpright = LooksUpright(picture);
          for (int y = picture.height() - 20; y < picture.height() - 4; ++y)
            for (int x = 4; x < 20; ++x) picture.setPixel(x, y, kBlue);
        };
        const FileOutcome out = processFile(path, opt);
        const bool turned = rotate && o != 1;
        const QSize size = rotate ? QSize(120, 80) : UprightSize(QSize(120, 80), o);
        EXPECT_EQ(QSize(out.width, out.height), size) << what;
        const QImage written = loadJpeg(out.output);
        ASSERT_EQ(written.size(), size) << what;
        EXPECT_EQ(hookUpright, rotate || o == 1) << what;
        EXPECT_EQ(LooksUpright(written), rotate || o == 1) << what;
        EXPECT_TRUE(Near(written.pixel(10, written.height() - 10), kBlue)) << what;

        TImgData after;
        after.OpenFile(out.output.string());
        EXPECT_EQ(after.HasExif(), keep) << what;
        if (!keep) continue;
        // Carried: the orientation the pixels now have, and a thumbnail that agrees with them.
        EXPECT_EQ(after.Orientation(), turned ? 1 : o) << what;
        EXPECT_EQ(after.exifInfo->GetImageWidth(), size.width()) << what;
        ASSERT_TRUE(after.HasThumbnail()) << what;
        if (turned) {
          const QImage thumb = decodeJpeg(after.exifInfo->thumbnail);
          EXPECT_EQ(thumb.size(), QSize(48, 32)) << what;
          EXPECT_TRUE(LooksUpright(thumb)) << what;
          EXPECT_NE(after.exifInfo->thumbnail[3], 0xE0) << what << ": no APP0 in an EXIF thumbnail";
        } else {
          EXPECT_EQ(after.exifInfo->thumbnail, thumbnail) << what;
        }
      }
    }
  }
}

TEST_F(Pipeline, TheWindowsCaptionLandsAtTheVisualLowerLeft) {
  // Orientation 6: stored 160 x 240, shown 240 x 160. The default caption is a green box.
  const QImage upright = UprightMarked(480, 320);
  const fs::path path = src_ / "portrait.jpg";
  writeFileAtomically(path, WithSegmentsAfterSoi(encodeJpeg(StoredFor(upright, 6)), OrientedExifApp1(6)));
  const auto stamper = std::make_shared<const CaptionStamper>(CaptionSettings{});
  BatchOptions opt = options(480);
  opt.caption = [stamper](QImage& picture) { stamper->StampPicture(picture); };
  const QImage written = loadJpeg(processFile(path, opt).output);
  ASSERT_EQ(written.size(), QSize(480, 320));
  // Green (0, 128, 0) of the box, counted in each quarter of the picture.
  int quarters[2][2] = {};
  for (int y = 0; y < written.height(); ++y)
    for (int x = 0; x < written.width(); ++x) {
      const QRgb p = written.pixel(x, y);
      if (qRed(p) < 40 && std::abs(qGreen(p) - 128) < 30 && qBlue(p) < 40) ++quarters[y * 2 / 320][x * 2 / 480];
    }
  EXPECT_GT(quarters[1][0], 200) << "lower left";
  EXPECT_EQ(quarters[0][0] + quarters[0][1] + quarters[1][1], 0);
}

// With "kolory" = "zrodlo".
TEST_F(Pipeline, TheColourProfileGoesIntoPlainAndMetadataSaves) {
  const fs::path source = copySample("canon_eos_7d_lightroom_iptc.jpg");
  TImgData in;
  in.ScanJpegSegments(readFileBytes(source), kPartIcc);
  ASSERT_GT(in.iccProfile.size(), 500u);
  ASSERT_FALSE(in.CarriedIccProfile().empty());
  for (const bool keep : {false, true}) {
    BatchOptions o = options(200);
    o.keepMetadata = keep;
    o.convertColours = false;
    const FileOutcome out = processFile(source, o);
    TImgData after;
    after.ScanJpegSegments(readFileBytes(out.output), kPartsAll | kPartIcc);
    EXPECT_EQ(after.iccProfile, in.iccProfile) << keep;
    EXPECT_EQ(after.HasExif(), keep);
  }
  // A CMYK picture comes out RGB, without the source's profile (the sample has none: give it one).
  Bytes cmyk = readFileBytes(fs::path(VELMORA_TEST_DATA "/samples") / "synthetic_cmyk.jpg");
  Bytes profile(600, 0);
  for (std::size_t i = 0; i < 4; ++i) profile[16 + i] = static_cast<std::uint8_t>("CMYK"[i]);
  ByteWriter app2;
  WriteIccSegments(app2, profile);
  const fs::path cmykPath = src_ / "cmyk_profile.jpg";
  writeFileAtomically(cmykPath, WithSegmentsAfterSoi(cmyk, app2.data()));
  for (const bool keep : {false, true}) {
    BatchOptions o = options(200);
    o.keepMetadata = keep;
    o.convertColours = false;
    const FileOutcome out = processFile(cmykPath, o);
    TImgData after;
    after.ScanJpegSegments(readFileBytes(out.output), kPartIcc);
    EXPECT_TRUE(after.iccProfile.empty()) << keep;
  }
}

TEST_F(Pipeline, AFileWithStrayBytesBetweenSegmentsIsWritten) {
  // An editor's file: one segment's length 14 bytes short, so 14 bytes lie before the table marker.
  Bytes jpeg = readFileBytes(fs::path(VELMORA_TEST_DATA "/samples") / "synthetic_exif_little_endian.jpg");
  std::size_t dqt = 2;
  while (dqt + 4 <= jpeg.size() && jpeg[dqt + 1] != 0xDB) dqt += 2 + (jpeg[dqt + 2] << 8 | jpeg[dqt + 3]);
  ASSERT_LT(dqt + 4, jpeg.size());
  jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(dqt), 14, 0x5A);
  const fs::path path = src_ / "stray.jpg";
  writeFileAtomically(path, jpeg);
  for (const bool keep : {false, true}) {
    BatchOptions o = options(300);
    o.keepMetadata = keep;
    const FileOutcome out = processFile(path, o);
    EXPECT_EQ(loadJpeg(out.output).size(), QSize(300, 225));
    TImgData after;
    after.OpenFile(out.output.string());
    EXPECT_EQ(after.HasExif(), keep);
  }
}

}  // namespace
}  // namespace velmora
