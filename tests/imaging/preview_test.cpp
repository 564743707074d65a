// The list preview: a sideways photo shown upright from its thumbnail or whole picture; the size rule.

#include "imaging/preview.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTemporaryDir>
#include <tuple>

#include "imaging/jpegcodec.h"
#include "base/fileio.h"
#include "support/oriented_jpeg.h"

namespace velmora {
namespace {

// Upright w x h with a red top-left quarter.
QImage Upright(int w, int h) {
  QImage picture(w, h, QImage::Format_RGB32);
  picture.fill(qRgb(128, 128, 128));
  QPainter(&picture).fillRect(0, 0, w / 2, h / 2, Qt::red);
  return picture;
}

bool RedTopLeft(const QImage& p) {
  const QRgb tl = p.pixel(p.width() / 8, p.height() / 8), br = p.pixel(p.width() * 7 / 8, p.height() * 7 / 8);
  return qRed(tl) > 200 && qGreen(tl) < 60 && qRed(br) < 160;
}

TEST(Preview, SidewaysPhotoIsPreviewedUpright) {
  QTemporaryDir dir;
  for (int orientation = 1; orientation <= 8; ++orientation) {
    for (const bool thumbnail : {false, true}) {
      SCOPED_TRACE(testing::Message() << "orientation " << orientation << (thumbnail ? ", thumbnail" : ""));
      const Bytes thumb = thumbnail ? encodeJpeg(test::StoredFor(Upright(64, 48), orientation)) : Bytes{};
      const std::filesystem::path path = dir.filePath("photo.jpg").toStdString();
      writeFileAtomically(path, test::WithSegmentsAfterSoi(encodeJpeg(test::StoredFor(Upright(400, 300), orientation)),
                                                           test::OrientedExifApp1(orientation, thumb)));
      const TPreviewSource source = LoadPreviewSource(path);
      EXPECT_EQ(source.FromThumbnail, thumbnail);
      EXPECT_EQ(source.StatedSize, QSize(400, 300));
      EXPECT_EQ(source.Picture.size(), thumbnail ? QSize(64, 48) : QSize(160, 120));
      EXPECT_TRUE(RedTopLeft(source.Picture));
      EXPECT_EQ(PreviewPicture(source.Picture).size(), QSize(160, 120));
    }
  }
}

TEST(Preview, SizeRoundsTiesToEven) {
  const std::tuple<const char*, QSize, QSize> rows[] = {
      {"4:3", QSize(2048, 1536), QSize(160, 120)},
      {"wide", QSize(606, 177), QSize(160, 47)},
      {"tie 0.5 goes to even", QSize(320, 101), QSize(160, 50)},
      {"tie 1.5 goes to even", QSize(320, 103), QSize(160, 52)},
      {"tiny is enlarged", QSize(40, 30), QSize(160, 120)},
      {"a line keeps one pixel", QSize(10000, 1), QSize(160, 1)},
  };
  for (const auto& [name, picture, preview] : rows) EXPECT_EQ(PreviewSize(picture), preview) << name;
}

// The preview shows what the run writes: an Adobe RGB or CMYK picture's colours turned sRGB.
TEST(Preview, ShowsTheConvertedColours) {
  const std::filesystem::path data = VELMORA_TEST_DATA "/colour/";
  const QImage srgb = LoadPreviewSource(data / "srgb.jpg").Picture;
  for (const char* name : {"adobe_rgb.jpg", "cmyk_untagged.jpg"}) {
    const auto off = [&](bool convert) {
      const QImage p = LoadPreviewSource(data / name, QSize(160, 120), convert).Picture;
      long sum = 0;
      for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
          const QRgb a = p.pixel(x, y), b = srgb.pixel(x, y);
          sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
      return static_cast<double>(sum) / (3.0 * p.width() * p.height());
    };
    EXPECT_LT(off(true), 2.5) << name;
    EXPECT_GT(off(false), 3.5) << name;
  }
}

}  // namespace
}  // namespace velmora
