// The list preview of a photo stored sideways: shown upright, with the upright size, from its EXIF
// thumbnail and from the whole picture alike.

#include <QTemporaryDir>
#include <QTest>

#include "app/preview.h"
#include "imaging/jpegcodec.h"
#include "metadata/fileio.h"
#include "support/oriented_jpeg.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

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

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void sidewaysPhotoIsPreviewedUpright_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("thumbnail");
    for (int o = 1; o <= 8; ++o) {
      QTest::addRow("orientation %d, whole picture", o) << o << false;
      QTest::addRow("orientation %d, thumbnail", o) << o << true;
    }
  }
  void sidewaysPhotoIsPreviewedUpright() {
    QFETCH(int, orientation);
    QFETCH(bool, thumbnail);
    QTemporaryDir dir;
    const Bytes thumb = thumbnail ? encodeJpeg(StoredFor(Upright(64, 48), orientation)) : Bytes{};
    const Bytes jpeg = WithSegmentsAfterSoi(encodeJpeg(StoredFor(Upright(400, 300), orientation)),
                                            OrientedExifApp1(orientation, thumb));
    const QString path = dir.filePath("photo.jpg");
    writeFileAtomically(path.toStdString(), jpeg);
    const TPreviewSource source = LoadPreviewSource(path);
    QCOMPARE(source.FromThumbnail, thumbnail);
    QCOMPARE(source.StatedSize, QSize(400, 300));
    QCOMPARE(source.Picture.size(), thumbnail ? QSize(64, 48) : QSize(160, 120));
    QVERIFY(RedTopLeft(source.Picture));
    QCOMPARE(PreviewPicture(source.Picture).size(), QSize(160, 120));
  }

  // The preview shows what the run writes: an Adobe RGB or CMYK picture's colours turned sRGB.
  void previewShowsTheConvertedColours() {
    const QString data = QStringLiteral(VELMORA_TEST_DATA "/colour/");
    const QImage srgb = LoadPreviewSource(data + "srgb.jpg").Picture;
    for (const char* name : {"adobe_rgb.jpg", "cmyk_untagged.jpg"}) {
      const auto off = [&](bool convert) {
        const QImage p = LoadPreviewSource(data + name, QSize(160, 120), convert).Picture;
        long sum = 0;
        for (int y = 0; y < p.height(); ++y)
          for (int x = 0; x < p.width(); ++x) {
            const QRgb a = p.pixel(x, y), b = srgb.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
          }
        return static_cast<double>(sum) / (3.0 * p.width() * p.height());
      };
      QVERIFY2(off(true) < 2.5 && off(false) > 3.5, name);
    }
  }
};

VELMORA_QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
