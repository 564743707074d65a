#include "imaging/colour.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/fileio.h"
#include "imaging/colourfast.h"
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

TEST(Colour, FastPathGivesLittleCmsPixelsOnEveryInput) {
  constexpr FastPath kV = FastPath::kVector, kP = FastPath::kPlain;
  const struct {
    const char* sample;  // its embedded profile into LittleCMS's sRGB
    cmsUInt32Number in, out;
    FastPath path;
    bool fast;
  } rows[] = {
      {"adobe_rgb.jpg", TYPE_BGRA_8, TYPE_BGRA_8, kV, true},
      {"display_p3.jpg", TYPE_BGRA_8, TYPE_BGRA_8, kV, true},
      {"prophoto.jpg", TYPE_BGRA_8, TYPE_BGRA_8, kV, true},
      {"adobe_rgb.jpg", TYPE_BGRA_8, TYPE_BGRA_8, kP, true},
      {"display_p3.jpg", TYPE_ARGB_8, TYPE_ARGB_8, kV, true},
      {"prophoto.jpg", TYPE_ARGB_8, TYPE_ARGB_8, kP, true},
      {"adobe_rgb.jpg", TYPE_ARGB_8, TYPE_RGBA_8, kV, true},
      {"prophoto.jpg", TYPE_RGBA_8, TYPE_ABGR_8, kP, true},
      {"adobe_rgb.jpg", TYPE_BGRA_8_PREMUL, TYPE_BGRA_8, kV, false},
      {"cmyk_untagged.jpg", TYPE_CMYK_8, TYPE_BGRA_8, kV, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.sample) + " " + std::to_string(row.in) + " " + std::to_string(row.out) +
                 (row.path == kV ? " vector" : " plain"));
    TImgData segments;
    segments.ScanJpegSegments(readFileBytes(kData / row.sample), kPartIcc);
    const Bytes profile = segments.iccProfile.empty() ? readFileBytes(kDefaultCmykProfile) : segments.iccProfile;
    cmsHTRANSFORM made[2] = {};
    cmsContext contexts[2] = {cmsCreateContext(nullptr, nullptr), cmsCreateContext(nullptr, nullptr)};
    ASSERT_TRUE(addFastMatrixShaper(contexts[1], row.path));
    for (int k = 0; k < 2; ++k) {
      cmsHPROFILE source =
          cmsOpenProfileFromMemTHR(contexts[k], profile.data(), static_cast<cmsUInt32Number>(profile.size()));
      cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(contexts[k]);
      made[k] = cmsCreateTransformTHR(contexts[k], source, row.in, srgb, row.out, INTENT_RELATIVE_COLORIMETRIC,
                                      cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
      cmsCloseProfile(source);
      cmsCloseProfile(srgb);
      ASSERT_NE(made[k], nullptr);
    }
    EXPECT_FALSE(takesFastMatrixShaper(made[0]));
    EXPECT_EQ(takesFastMatrixShaper(made[1]), row.fast);
    // Every 8-bit input, 65536 pixels at a time (QImage's layout; the others every 5th block, where
    // LittleCMS keeps its own path every 51st), the fast one in place, as the colour step runs it.
    std::vector<std::uint8_t> in(4 * 65536), want, got;
    for (std::size_t i = 0; i < 65536; ++i) {
      in[4 * i + 1] = static_cast<std::uint8_t>(i >> 8);
      in[4 * i + 2] = static_cast<std::uint8_t>(i);
      in[4 * i + 3] = static_cast<std::uint8_t>(i * 7);
    }
    int worst = 0;
    for (int first = 0; first < 256; first += !row.fast ? 51 : row.in == TYPE_BGRA_8 ? 1 : 5) {
      for (std::size_t i = 0; i < 65536; ++i) in[4 * i] = static_cast<std::uint8_t>(first);
      want = got = in;
      cmsDoTransform(made[0], in.data(), want.data(), 65536);
      cmsDoTransform(made[1], got.data(), got.data(), 65536);
      if (want != got)
        for (std::size_t i = 0; i < in.size(); ++i) worst = std::max(worst, std::abs(want[i] - got[i]));
    }
    EXPECT_LE(worst, 1);
    for (int k = 0; k < 2; ++k) {
      cmsDeleteTransform(made[k]);
      cmsDeleteContext(contexts[k]);
    }
  }
}

// A profile whose black is lifted: black point compensation adds a matrix with an offset, which
// LittleCMS's own 8-bit path takes through a 3D table (20 code values off in the shadows here).
TEST(Colour, FastPathFollowsThePipelineWhereBlackPointCompensationOffsets) {
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  ASSERT_TRUE(addFastMatrixShaper(context));
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  const cmsFloat64Number lifted[5] = {2.2, 0.8, 0.2, 0, 0};  // (0.8 x + 0.2)^2.2
  cmsToneCurve* curve = cmsBuildParametricToneCurve(context, 3, lifted);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE source = cmsCreateRGBProfileTHR(context, &white, &primaries, curves);
  cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context);
  const auto make = [&](cmsUInt32Number format) {
    return cmsCreateTransformTHR(context, source, format, srgb, format, INTENT_RELATIVE_COLORIMETRIC,
                                 cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
  };
  cmsHTRANSFORM fast = make(TYPE_BGRA_8), exact = make(TYPE_BGR_FLT);
  EXPECT_TRUE(takesFastMatrixShaper(fast));
  std::vector<std::uint8_t> pixels(4 * 65536);
  std::vector<float> in(3 * 65536), out(3 * 65536);
  double worst = 0;
  for (int first = 0; first < 256; first += 5) {
    for (std::size_t i = 0; i < 65536; ++i)
      for (std::size_t c = 0; c < 3; ++c) {
        pixels[4 * i + c] = static_cast<std::uint8_t>(c == 0 ? first : c == 1 ? i >> 8 : i);
        in[3 * i + c] = pixels[4 * i + c] / 255.0f;
      }
    cmsDoTransform(fast, pixels.data(), pixels.data(), 65536);
    cmsDoTransform(exact, in.data(), out.data(), 65536);
    for (std::size_t i = 0; i < 65536; ++i)
      for (std::size_t c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(pixels[4 * i + c] - std::clamp(out[3 * i + c], 0.0f, 1.0f) * 255.0));
  }
  EXPECT_LE(worst, 1.0);
  cmsDeleteTransform(fast);
  cmsDeleteTransform(exact);
  cmsCloseProfile(source);
  cmsCloseProfile(srgb);
  cmsFreeToneCurve(curve);
  cmsDeleteContext(context);
}

}  // namespace
}  // namespace velmora
