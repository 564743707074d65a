// The list preview: a photo stored sideways shown upright, with the upright size, from its EXIF
// thumbnail and from the whole picture alike; the preview's size rule.

#include "imaging/preview.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <tuple>

#include "imaging/jpegcodec.h"
#include "metadata/fileio.h"
#include "support/oriented_jpeg.h"

namespace velmora {
namespace {

using test::OrientedExifApp1;
using test::StoredFor;
using test::WithSegmentsAfterSoi;

// Upright w x h with a red top-left quarter.
QImage Upright(int w, int h) {
  QImage picture(w, h, QImage::Format_RGB32);
  picture.fill(qRgb(128, 128, 128));
  for (int y = 0; y < h / 2; ++y)
    for (int x = 0; x < w / 2; ++x) picture.setPixel(x, y, qRgb(255, 0, 0));
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
      const Bytes thumb = thumbnail ? encodeJpeg(StoredFor(Upright(64, 48), orientation)) : Bytes{};
      const Bytes jpeg = WithSegmentsAfterSoi(encodeJpeg(StoredFor(Upright(400, 300), orientation)),
                                              OrientedExifApp1(orientation, thumb));
      const std::filesystem::path path = dir.filePath("photo.jpg").toStdString();
      writeFileAtomically(path, jpeg);
      const TPreviewSource source = LoadPreviewSource(path);
      EXPECT_EQ(source.FromThumbnail, thumbnail);
      EXPECT_EQ(source.StatedSize, QSize(400, 300));
      EXPECT_EQ(source.Picture.size(), thumbnail ? QSize(64, 48) : QSize(160, 120));
      EXPECT_TRUE(RedTopLeft(source.Picture));
      EXPECT_EQ(PreviewPicture(source.Picture).size(), QSize(160, 120));
      EXPECT_EQ(PreviewSizeText(source.StatedSize), " (400 x 300)");
    }
  }
  EXPECT_EQ(PreviewSizeText({}), QString::fromUtf8(" (bez podglądu)"));
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

}  // namespace
}  // namespace velmora
