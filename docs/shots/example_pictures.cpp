// Writes the example pictures in docs/: captions/, every combination of the four caption modes and an
// added graphic on a real photo; orientation/, a portrait photo stored sideways (Orientation 6) published
// with the caption before the turn (as the program did, and as a viewer then shows it) and after it.
//
//   velmora-docs-examples DOCS_FOLDER SAMPLES_FOLDER

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "imaging/caption.h"
#include "imaging/jpegcodec.h"
#include "imaging/orientation.h"
#include "imaging/pipeline.h"
#include "base/fileio.h"
#include "metadata/jpegsegments.h"
#include "support/oriented_jpeg.h"
#include "support/test_env.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

const QString kCaption = QStringLiteral("Zdjęcie: Velmora");

bool Saved(const QImage& picture, const QString& path) {
  if (picture.save(path, "PNG")) return true;
  std::fprintf(stderr, "Nie można zapisać %s\n", qPrintable(path));
  return false;
}

bool Captions(const QImage& source, const QDir& out) {
  const QImage photo =
      source.convertToFormat(QImage::Format_RGB32).scaled(1280, 1280, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  auto write = [&](const CaptionSettings& s, const QString& name) {
    QImage picture = photo;
    CaptionStamper{s}.StampPicture(picture);
    return Saved(picture.copy(0, picture.height() - 80, 400, 80), out.filePath(name));
  };
  const char* marks[] = {"przezroczyste", "negatywowe", "bez-tla", "tlo-negatywowe"};
  for (int bits = 0; bits < 16; ++bits) {
    CaptionSettings s;
    s.Text = kCaption;
    s.TransparentGlyphs = bits & 1, s.NegativeGlyphs = bits & 2, s.NoBackground = bits & 4,
    s.NegativeBackground = bits & 8;
    QString name = QString("mode-%1").arg(bits, 2, 10, QChar('0'));
    for (int i = 0; i < 4; ++i)
      if (bits & (1 << i)) name += QString("-") + marks[i];
    if (!write(s, name + (bits == 0 ? "-domyslne.png" : ".png"))) return false;
  }
  // The added graphic: a red disc on a white key colour.
  QTemporaryDir dir;
  QImage disc(22, 22, QImage::Format_RGB32);
  disc.fill(Qt::white);
  {
    QPainter p(&disc);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 20, 20));
    p.drawEllipse(1, 1, 20, 20);
  }
  CaptionSettings s;
  s.Text = kCaption;
  s.GraphicPath = dir.filePath("disc.bmp");
  return disc.save(s.GraphicPath, "BMP") && write(s, "graphic.png");
}

bool Orientation(const QImage& source, const QDir& out) {
  const QImage photo = source.convertToFormat(QImage::Format_RGB32);
  const int w = photo.height() * 3 / 4;
  const QImage portrait = photo.copy((photo.width() - w) / 2, 0, w, photo.height());
  QTemporaryDir dir;
  const fs::path stored = fs::path(dir.path().toStdString()) / "portrait.jpg";
  writeFileAtomically(
      stored, test::WithSegmentsAfterSoi(encodeJpeg(test::StoredFor(portrait, 6), 92), test::OrientedExifApp1(6)));
  CaptionSettings caption;
  caption.Text = kCaption;
  const auto stamper = std::make_shared<const CaptionStamper>(caption);
  for (const bool rotate : {false, true}) {
    BatchOptions o;
    o.sizeLimit = 400;
    o.destFolder = dir.path().toStdString();
    o.keepMetadata = true;
    o.rotate = rotate;
    o.caption = [stamper](QImage& picture) { stamper->StampPicture(picture); };
    const FileOutcome written = processFile(stored, o);
    TImgData img;
    img.OpenFile(written.output.string());
    // As a viewer shows it: turned by the Orientation the file states.
    const QImage shown = TurnUpright(loadJpeg(written.output), img.Orientation());
    if (!Saved(shown, out.filePath(rotate ? "after.png" : "before.png"))) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  test::prepareQtEnvironment();
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 3) {
    std::fprintf(stderr, "Użycie: velmora-docs-examples FOLDER_DOCS FOLDER_PRÓBEK\n");
    return 2;
  }
  const QDir docs(args[1]);
  const QImage photo(QDir(args[2]).filePath("nikon_e995_iptc.jpg"));
  if (photo.isNull() || !docs.mkpath("captions") || !docs.mkpath("orientation")) {
    std::fprintf(stderr, "Brak zdjęcia nikon_e995_iptc.jpg w %s\n", qPrintable(args[2]));
    return 1;
  }
  return Captions(photo, QDir(docs.filePath("captions"))) && Orientation(photo, QDir(docs.filePath("orientation"))) ? 0
                                                                                                                    : 1;
}
