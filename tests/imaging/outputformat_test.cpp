// WebP and AVIF outputs: the reference decoders read them at their size and colours, and exiftool
// finds the EXIF, XMP and profile in each container's own places.

#include "imaging/outputformat.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include "base/fileio.h"
#include "imaging/sourceformat.h"

namespace velmora {
namespace {

QString RunTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  p.waitForFinished(-1);
  return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

TEST(OutputFormat, ReferenceDecodersAndExiftoolReadEveryOutput) {
  QImage picture(320, 240, QImage::Format_RGB32);
  picture.fill(qRgb(30, 60, 220));
  QPainter(&picture).fillRect(0, 0, 160, 240, QColor(220, 40, 30));
  const auto source = [](const char* name) {
    return readRegularFile(std::string(VELMORA_TEST_DATA "/formats/") + name, kMaxSourceBytes);
  };
  ContainerMetadata metadata;
  const DecodedPicture heic = decodePicture(source("photo-heic.heic"), PictureFormat::kHeif);
  metadata.exif = heic.metadata.exif;
  metadata.icc = heic.metadata.icc;
  metadata.xmp = decodePicture(source("photo-png.png"), PictureFormat::kPng).metadata.xmp;
  const QTemporaryDir dir;
  const struct {
    OutputFormat format;
    Bytes (*encode)(const QImage&, int, const ContainerMetadata&);
    QString decoder;
  } rows[] = {{OutputFormat::kWebp, &encodeWebp, "dwebp"}, {OutputFormat::kAvif, &encodeAvif, "avifdec"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(outputFormatName(row.format)));
    const QString file = dir.filePath("out" + QString::fromUtf8(outputFormatExtension(row.format).data()));
    writeFileAtomically(file.toStdString(), row.encode(picture, 90, metadata));
    const QString png = dir.filePath("decoded.png");
    QFile::remove(png);
    RunTool(row.decoder, row.format == OutputFormat::kWebp ? QStringList{file, "-o", png} : QStringList{file, png});
    const QImage decoded(png);
    ASSERT_EQ(decoded.size(), picture.size());
    for (const QPoint at : {QPoint(40, 120), QPoint(280, 120)}) {
      const QRgb want = picture.pixel(at), got = decoded.pixel(at);
      EXPECT_LE(
          std::abs(qRed(want) - qRed(got)) + std::abs(qGreen(want) - qGreen(got)) + std::abs(qBlue(want) - qBlue(got)),
          24);
    }
    const QString tags =
        RunTool("exiftool", {"-q", "-T", "-Make", "-DateTimeOriginal", "-Title", "-ProfileDescription", file});
    EXPECT_TRUE(tags.startsWith("CASIO\t2001:03:14 08:46:51\tKwiat\t")) << tags.toStdString();
    EXPECT_TRUE(tags.contains("Adobe RGB")) << tags.toStdString();
  }
  EXPECT_EQ(outputFormatNamed("webp"), OutputFormat::kWebp);
  EXPECT_EQ(outputFormatNamed("png"), std::nullopt);
  EXPECT_EQ(avifQuantizer(90), 6);
}

}  // namespace
}  // namespace velmora
