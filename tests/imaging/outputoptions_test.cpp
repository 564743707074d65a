// The output options: the encoder's choices keep the pixels, the size search fits the file, the
// unsharp mask matches a floating-point reference, the keys and presets read back what was stored.

#include "imaging/outputoptions.h"

#include <gtest/gtest.h>

#include <QHash>
#include <algorithm>
#include <cmath>

#include "imaging/jpegcodec.h"
#include "imaging/resampler.h"
#include "imaging/sharpen.h"
#include "imaging/sizelimit.h"
#include "base/fileio.h"

namespace velmora {
namespace {

QImage Photo() {
  const QImage full = decodeJpeg(readFileBytes(VELMORA_TEST_DATA "/samples/nikon_e950.jpg"));
  return scaleHalftone(full, QSize(640, 480));
}

// The sampling factors of the frame's first component (0x22 for 4:2:0, 0x11 for 4:4:4) and whether the
// frame is progressive (SOF2).
std::pair<int, bool> Frame(const Bytes& jpeg) {
  for (std::size_t i = 2; i + 11 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return {jpeg[i + 11], jpeg[i + 1] == 0xC2};
  return {0, false};
}

TEST(EncoderOptions, SamePixelsInFewerBytesAndTheAskedLayout) {
  const QImage photo = Photo();
  EncoderOptions standard;
  standard.optimizeHuffman = false;
  const Bytes reference = encodeJpeg(photo, standard);
  const QImage pixels = decodeJpeg(reference);
  EncoderOptions progressive;
  progressive.progressive = true;
  EncoderOptions full;
  full.chroma = ChromaSampling::k444;
  struct Row {
    EncoderOptions options;
    bool samePixels;
    int sampling;
    bool progressive;
  } rows[] = {{EncoderOptions{}, true, 0x22, false}, {progressive, true, 0x22, true}, {full, false, 0x11, false}};
  EXPECT_EQ(Frame(reference), std::make_pair(0x22, false));
  for (const Row& r : rows) {
    const Bytes encoded = encodeJpeg(photo, r.options);
    EXPECT_EQ(Frame(encoded), std::make_pair(r.sampling, r.progressive));
    if (r.samePixels) {
      EXPECT_LT(encoded.size(), reference.size());
      EXPECT_EQ(decodeJpeg(encoded), pixels);
    }
  }
}

TEST(SizeLimit, HighestQualityThatFitsInSevenEncodes) {
  const QImage photo = Photo();
  const auto sizeAt = [&](int q) {
    EncoderOptions o;
    o.quality = q;
    return encodeJpeg(photo, o).size() + 1000;
  };
  const FinishFile withMetadata = [](Bytes encoded) {
    encoded.insert(encoded.begin() + 2, 1000, 0);  // a stand-in for 1000 bytes of metadata
    return encoded;
  };
  for (const int ceiling : {100, 90, 40}) {
    for (const std::uint64_t limit : {sizeAt(95), sizeAt(75), sizeAt(55) + 1, sizeAt(20) - 1, sizeAt(10) - 1}) {
      EncoderOptions options;
      options.quality = ceiling;
      const FittedFile f = EncodeWithinLimit(photo, options, limit, kLimitFloorQuality, withMetadata);
      SCOPED_TRACE(testing::Message() << "ceiling " << ceiling << ", limit " << limit);
      EXPECT_LE(f.encodes, kMaxLimitEncodes);
      EXPECT_EQ(f.bytes.size(), sizeAt(f.quality));
      if (!f.fits) {
        EXPECT_EQ(f.quality, kLimitFloorQuality);
        EXPECT_GT(f.bytes.size(), limit);
        continue;
      }
      EXPECT_LE(f.bytes.size(), limit);
      if (f.quality < ceiling) {
        EXPECT_GT(sizeAt(f.quality + 1), limit);
      }
    }
  }
}

// The same mask in floating point: BT.601 luminance, the 3 x 3 Gaussian normalised over its taps,
// edges repeated, the difference times the amount added to each channel.
QImage ReferenceSharpen(const QImage& in, const UnsharpMask& mask) {
  const int w = in.width(), h = in.height();
  const double g1 = std::exp(-1.0 / (2 * mask.radius * mask.radius));
  const double k[3] = {g1 / (1 + 2 * g1), 1 / (1 + 2 * g1), g1 / (1 + 2 * g1)};
  const auto luma = [&](int x, int y) {
    const QRgb p = in.pixel(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
    return (77.0 * qRed(p) + 150.0 * qGreen(p) + 29.0 * qBlue(p)) / 256;
  };
  QImage out = in.copy();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double blur = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) blur += k[dy + 1] * k[dx + 1] * luma(x + dx, y + dy);
      const double d = mask.amount * (luma(x, y) - blur);
      const QRgb p = in.pixel(x, y);
      const auto c = [d](int v) { return std::clamp(static_cast<int>(std::lround(v + d)), 0, 255); };
      out.setPixel(x, y, qRgb(c(qRed(p)), c(qGreen(p)), c(qBlue(p))));
    }
  }
  return out;
}

TEST(Sharpening, MatchesTheReferenceWithinOneLevelAndLeavesFlatAreas) {
  const QImage photo = Photo().copy(100, 100, 160, 120);
  for (const Sharpening level : {Sharpening::Low, Sharpening::Medium, Sharpening::High}) {
    QImage ours = photo.copy();
    SharpenForScreen(ours, level);
    const QImage reference = ReferenceSharpen(photo, UnsharpMaskFor(level));
    int worst = 0, changed = 0;
    for (int y = 0; y < photo.height(); ++y) {
      for (int x = 0; x < photo.width(); ++x) {
        const QRgb a = ours.pixel(x, y), b = reference.pixel(x, y);
        worst = std::max(
            {worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
        changed += a != photo.pixel(x, y);
      }
    }
    EXPECT_LE(worst, 1) << SharpeningName(level).toStdString();
    EXPECT_GT(changed, photo.width() * photo.height() / 4);
  }
  QImage flat(33, 17, QImage::Format_RGB32);
  flat.fill(qRgb(200, 30, 90));
  const QImage before = flat.copy();
  SharpenForScreen(flat, Sharpening::High);
  EXPECT_EQ(flat, before);
}

TEST(OutputOptionKeys, OnlyZrodloCarriesTheSourceProfile) {
  const struct {
    const char* stored;  // nullptr: no key
    bool converts;
  } rows[] = {{nullptr, true}, {"sRGB", true}, {"", true}, {"cokolwiek", true}, {"zrodlo", false}, {" ZRODLO ", false}};
  for (const auto& row : rows) {
    const auto lookup = [&row](const QString& key) {
      return key == QStringLiteral("kolory") && row.stored ? QString::fromUtf8(row.stored) : QString();
    };
    EXPECT_EQ(OutputOptionsFromKeys(lookup).convertColours, row.converts) << (row.stored ? row.stored : "(none)");
  }
  for (const bool convert : {false, true}) {
    OutputOptions o;
    o.convertColours = convert;
    QHash<QString, QString> stored;
    for (const auto& [key, value] : OutputOptionKeys(o)) stored[key] = value;
    EXPECT_EQ(stored.value("kolory"), convert ? "sRGB" : "zrodlo");
    EXPECT_EQ(OutputOptionsFromKeys([&stored](const QString& key) { return stored.value(key); }).convertColours,
              convert);
  }
}

TEST(OutputOptionKeys, StoredValuesReadBackAndBadOnesGiveTheDefaults) {
  OutputOptions o;
  o.encoder = {75, false, true, ChromaSampling::k444};
  o.maxBytes = 500 * kBytesPerKB;
  o.sharpening = Sharpening::Medium;
  o.keepDate = true;
  o.format = OutputFormat::kWebp;
  o.subfolders = true;
  QHash<QString, QString> stored;
  for (const auto& [key, value] : OutputOptionKeys(o)) stored[key] = value;
  const auto lookup = [&stored](const QString& key) { return stored.value(key); };
  EXPECT_EQ(OutputOptionsFromKeys(lookup), o);
  EXPECT_EQ(OutputOptionsSummary(o).toStdString(),
            "format WebP, jakość 75, do 500 KB, wyostrzanie średnie, progresywny, 4:4:4, standardowy Huffman, data "
            "źródła, z podfolderami");
  EXPECT_EQ(OutputOptionsSummary(OutputOptions{}), QString());
  for (const char* bad : {"0", "-3", "x", ""}) {
    stored = {{"jakosc", bad == std::string("x") ? "101" : bad},
              {"max KB", bad},
              {"wyostrzanie", bad},
              {"format", bad},
              {"podfoldery", bad}};
    EXPECT_EQ(OutputOptionsFromKeys(lookup), OutputOptions{}) << bad;
  }

  // A preset: its own keys, listed by name, read back whole, gone once deleted.
  Preset preset{o, {true, 2048, true}};
  std::vector<std::pair<QString, QString>> entries = {{"jakosc", "90"}};
  for (const QString& name : {QStringLiteral("Facebook 2048"), QStringLiteral("a: b")})
    for (const auto& entry : PresetEntries(name, preset)) entries.push_back(entry);
  const auto get = [&entries](const QString& key) {
    for (const auto& [k, v] : entries)
      if (k == key) return v;
    return QString();
  };
  EXPECT_EQ(PresetNames(entries), (std::vector<QString>{"Facebook 2048", "a: b"}));
  const auto read = ReadPreset("a: b", get);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->output, o);
  EXPECT_EQ(read->scaling, preset.scaling);
  EXPECT_FALSE(ReadPreset("Forum", get));
  for (const auto& [key, value] : DeletedPresetEntries("a: b"))
    for (auto& entry : entries)
      if (entry.first == key) entry.second = value;
  EXPECT_EQ(PresetNames(entries), (std::vector<QString>{"Facebook 2048"}));
  for (const char* name : {"", " x", "a=b", "a\nb"}) EXPECT_FALSE(PresetNameFault(name).isEmpty()) << name;
}

}  // namespace
}  // namespace velmora
