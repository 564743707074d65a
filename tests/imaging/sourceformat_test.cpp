// The other input formats: told by content, decoded to the pixels an outside decoder gives (over
// white), with their metadata blocks; damaged files fail with a message, never a crash.

#include "imaging/sourceformat.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <cstring>

#include "base/fileio.h"
#include "imaging/preview.h"

namespace velmora {
namespace {

const std::string kDir = VELMORA_TEST_DATA "/formats/";

// An outside decode of the first page, composed over white, as packed 8-bit RGB: ImageMagick's, of
// heif-convert's PNG for HEIF (ImageMagick converts HEIF's colours its own way).
QByteArray OutsideRgb(const std::string& path, bool heif, const QString& scratch) {
  QString input = QString::fromStdString(path + "[0]");
  if (heif) {
    QProcess convert;
    convert.start("heif-convert", {QString::fromStdString(path), scratch});
    convert.waitForFinished(-1);
    input = scratch;
  }
  QProcess p;
  p.start("convert", {input, "-background", "white", "-flatten", "-depth", "8", "rgb:-"});
  p.waitForFinished(-1);
  return p.readAllStandardOutput();
}

int LargestDifference(const QImage& picture, const QByteArray& rgb) {
  if (rgb.size() != picture.width() * picture.height() * 3) return 256;
  int worst = 0;
  const auto* ref = reinterpret_cast<const std::uint8_t*>(rgb.constData());
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x, ref += 3) {
      const QRgb c = picture.pixel(x, y);
      for (const int d : {qRed(c) - ref[0], qGreen(c) - ref[1], qBlue(c) - ref[2]})
        worst = std::max(worst, std::abs(d));
    }
  return worst;
}

TEST(SourceFormat, EveryFormatDecodesAsAnOutsideDecoderWithItsMetadata) {
  struct Row {
    const char* file;
    PictureFormat format;
    QSize size;
    bool exif, xmp, icc, upright;
  };
  const Row rows[] = {
      {"photo-png.png", PictureFormat::kPng, {160, 120}, true, true, true, false},
      {"alpha16.png", PictureFormat::kPng, {64, 48}, false, false, false, false},
      {"alpha16-tiff.tif", PictureFormat::kTiff, {64, 48}, true, false, false, false},
      {"pages.tif", PictureFormat::kTiff, {160, 120}, true, false, true, false},
      {"photo-webp.webp", PictureFormat::kWebp, {160, 120}, true, false, true, false},
      {"photo-heic.heic", PictureFormat::kHeif, {160, 120}, true, false, true, true},
      // Stored sideways with irot: libheif turns it, and its EXIF Orientation 6 stays for the writer.
      {"rotated-heic.heic", PictureFormat::kHeif, {120, 160}, true, false, true, true},
  };
  const QTemporaryDir scratch;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    const Bytes file = readRegularFile(kDir + row.file, kMaxSourceBytes);
    ASSERT_EQ(checkedFormat(row.file, file), row.format);
    const DecodedPicture d = decodePicture(file, row.format);
    EXPECT_EQ(d.picture.size(), row.size);
    // 16 bits stay 16 until the resampler.
    EXPECT_EQ(d.picture.format(),
              std::string(row.file).starts_with("alpha16") ? QImage::Format_RGBA64 : QImage::Format_RGB32);
    // Lossy formats decode alike in every decoder; 16 bits and alpha may round one level apart.
    EXPECT_LE(LargestDifference(d.picture, OutsideRgb(kDir + row.file, row.format == PictureFormat::kHeif,
                                                      scratch.filePath("heif.png"))),
              1);
    EXPECT_EQ(!d.metadata.exif.empty(), row.exif);
    if (row.exif) {
      EXPECT_TRUE(d.metadata.exif[0] == 'M' || d.metadata.exif[0] == 'I');
    }
    EXPECT_EQ(!d.metadata.xmp.empty(), row.xmp);
    EXPECT_EQ(!d.metadata.icc.empty(), row.icc);
    if (row.icc) {
      EXPECT_EQ(std::memcmp(d.metadata.icc.data() + 36, "acsp", 4), 0);
    }
    EXPECT_EQ(d.metadata.upright, row.upright);
    // The preview takes every format, upright, with the picture's own size.
    EXPECT_EQ(LoadPreviewSource(kDir + row.file).StatedSize, row.size);
  }
}

TEST(SourceFormat, ContentDecidesAndDamageFails) {
  const Bytes png = readRegularFile(kDir + "photo-png.png", kMaxSourceBytes);
  EXPECT_EQ(formatOfName("A.HEIC"), PictureFormat::kHeif);
  EXPECT_EQ(formatOfName("a.avif"), std::nullopt);
  try {
    checkedFormat("IMG_1.jpg", png);
    ADD_FAILURE() << "a PNG named .jpg was taken";
  } catch (const ImagingError& e) {
    EXPECT_STREQ(e.what(), "Plik ma rozszerzenie JPEG, a zawiera obraz PNG");
  }
  EXPECT_THROW(checkedFormat("IMG_1.heic", Bytes(64, 0)), ImagingError);
  // Every format cut short, or over the pixel limit, fails with a message.
  for (const char* name : {"photo-png.png", "pages.tif", "photo-webp.webp", "photo-heic.heic"}) {
    SCOPED_TRACE(name);
    const Bytes file = readRegularFile(kDir + name, kMaxSourceBytes);
    const PictureFormat format = *formatOfContent(file);
    const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2));
    EXPECT_THROW(decodePicture(cut, format), ImagingError);
    EXPECT_THROW(decodePicture(file, format, {.maxPixels = 100, .gate = {}}), ImagingError);
  }
}

}  // namespace
}  // namespace velmora
