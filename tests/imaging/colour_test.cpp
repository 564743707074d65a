#include "imaging/colour.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/fileio.h"
#include "imaging/jpegcodec.h"
#include "imaging/pipeline.h"
#include "metadata/iccprofile.h"
#include "metadata/jpegsegments.h"
#include "support/oriented_jpeg.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

const fs::path kData = VELMORA_TEST_DATA "/colour";

enum class Expect { kUntouched, kSrgb, kSrgbGrey, kNote };

struct ColourRow {
  const char* sample;
  const char* embedded;  // a profile put into the sample first; "": none added; "*": LittleCMS's sRGB
  Expect expect;
  const char* note = "";
};

// The samples were made from srgb.jpg by jpgicc; the profiles come from the Debian packages the
// install script installs.
const ColourRow kRows[] = {
    {"adobe_rgb.jpg", "", Expect::kSrgb},
    {"display_p3.jpg", "", Expect::kSrgb},
    {"prophoto.jpg", "", Expect::kSrgb},
    {"cmyk_untagged.jpg", "", Expect::kSrgb},
    {"cmyk_untagged.jpg", kDefaultCmykProfile, Expect::kSrgb},
    {"grey.jpg", "", Expect::kSrgbGrey},
    {"srgb.jpg", "", Expect::kUntouched},
    {"srgb.jpg", "*", Expect::kUntouched},
    {"srgb.jpg", "/usr/share/color/icc/sRGB.icc", Expect::kUntouched},
    {"srgb.jpg", "/usr/share/color/icc/colord/sRGB.icc", Expect::kUntouched},
    {"srgb.jpg", "/usr/share/color/icc/ghostscript/srgb.icc", Expect::kUntouched},
    {"cmyk_output_profile.jpg", "", Expect::kNote, "profil kolorów ICC nie opisuje kolorów zdjęcia"},
    {"srgb.jpg", "/usr/share/color/icc/ghostscript/ps_cmyk.icc", Expect::kNote,
     "profil kolorów ICC jest dla CMYK, a zdjęcie jest w RGB"},
    {"srgb.jpg", "broken", Expect::kNote, "profil kolorów ICC jest uszkodzony"},
};

Bytes ProfileFor(const std::string& embedded) {
  if (embedded == "*") return ColourConversion::SrgbProfile();
  if (embedded == "broken") {
    Bytes profile(700, 0x5A);  // an RGB header's colour space and garbage around it
    std::copy_n("RGB ", 4, profile.begin() + 16);
    return profile;
  }
  return readFileBytes(embedded);
}

// Mean of |a - b| over the three channels of every pixel.
double MeanDifference(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * a.width() * a.height());
}

TEST(Colour, EachSourceComesOutAsItsKindAsks) {
  QTemporaryDir dir;
  const fs::path root(dir.path().toStdString());
  const auto run = [&](const fs::path& source, bool convert, const std::string& folder,
                       std::shared_ptr<ColourConversions> conversions = nullptr) {
    BatchOptions o;
    o.colourConversions = std::move(conversions);
    o.sizeLimit = 80;  // the conversion runs on the scaled picture
    o.destFolder = root / folder;
    o.convertColours = convert;
    fs::create_directories(o.destFolder);
    return processFile(source, o);
  };
  const FileOutcome reference = run(kData / "srgb.jpg", false, "reference");
  const QImage srgb = loadJpeg(reference.output);
  std::vector<std::pair<fs::path, Bytes>> alone;  // each source and its output converted on its own
  int i = 0;
  for (const ColourRow& row : kRows) {
    SCOPED_TRACE(std::string(row.sample) + " " + row.embedded);
    const fs::path source = root / ("in" + std::to_string(i++) + ".jpg");
    Bytes jpeg = readFileBytes(kData / row.sample);
    if (*row.embedded) {
      ByteWriter app2;
      ASSERT_TRUE(WriteIccSegments(app2, ProfileFor(row.embedded)));
      jpeg = test::WithSegmentsAfterSoi(jpeg, app2.data());
    }
    writeFileAtomically(source, jpeg);
    const FileOutcome converted = run(source, true, "converted");
    const FileOutcome kept = run(source, false, "kept");
    const Bytes written = readFileBytes(converted.output);
    alone.emplace_back(source, written);
    if (row.expect == Expect::kUntouched || row.expect == Expect::kNote) {
      EXPECT_EQ(written, readFileBytes(kept.output)) << "today's output, byte for byte";
      if (row.expect == Expect::kUntouched) {
        EXPECT_TRUE(converted.notes.empty());
      } else {
        EXPECT_EQ(converted.notes, (std::vector<TOutputNote>{{TOutputNote::Kind::kColour, row.note}}));
      }
      continue;
    }
    EXPECT_TRUE(converted.notes.empty());
    TImgData after;
    after.ScanJpegSegments(written, kPartIcc);
    EXPECT_EQ(after.iccProfile, ColourConversion::SrgbProfile());
    const QImage picture = loadJpeg(converted.output);
    ASSERT_EQ(picture.size(), srgb.size());
    if (row.expect == Expect::kSrgb) {
      // Back where jpgicc took it from, but for two more JPEG generations (and CMYK's table lookups).
      EXPECT_LT(MeanDifference(picture, srgb), 3.5);
      EXPECT_GT(MeanDifference(loadJpeg(kept.output), srgb), 4.0) << "the unconverted picture is off";
    } else {
      int coloured = 0;
      for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
          const QRgb p = picture.pixel(x, y);
          coloured += std::abs(qRed(p) - qGreen(p)) > 2 || std::abs(qBlue(p) - qGreen(p)) > 2;
        }
      EXPECT_EQ(coloured, 0);
      EXPECT_GT(MeanDifference(picture, loadJpeg(kept.output)), 2.0) << "Gray.icc's curve is not sRGB's";
    }
  }
  // All the sources in one run, its conversions shared by two workers: each file as if alone.
  const auto shared = std::make_shared<ColourConversions>();
  fs::create_directories(root / "shared");
  const auto worker = [&](std::size_t first) {
    for (std::size_t k = first; k < alone.size(); k += 2) run(alone[k].first, true, "shared", shared);
  };
  std::thread other(worker, 1);
  worker(0);
  other.join();
  for (const auto& [source, written] : alone)
    EXPECT_EQ(readFileBytes(root / "shared" / ("_" + source.filename().string())), written) << source;
}

}  // namespace
}  // namespace velmora
