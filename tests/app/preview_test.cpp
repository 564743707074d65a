// The list preview of a photo stored sideways: shown upright, with the upright size, from its EXIF
// thumbnail and from the whole picture alike.

#include <QTemporaryDir>
#include <QTest>

#include "app/preview.h"
#include "base/fileio.h"
#include "imaging/jpegcodec.h"
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
};

VELMORA_QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
