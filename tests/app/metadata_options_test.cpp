// "usuń dane GPS" beside "zachowaj EXIF" (stored at once, usable only with it, restored at start,
// handed to the run), and the notice at the end of a run that wrote files without some of their
// source's metadata: once, after every file, in Polish counted forms.

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "app/form1.h"
#include "app_fixture.h"
#include "base/fileio.h"
#include "dialogs/application.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtborderpanel.h"
#include "imaging/jpegcodec.h"
#include "metadata/jpegsegments.h"
#include "metadata/tagentry.h"
#include "support/oriented_jpeg.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kKey = QStringLiteral("usun GPS");

void Click(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(5, 8)); }

// Source folder chosen, destination typed, scaling to 100 pixels, prefix "_", one worker so the files
// go in list order.
void Prepare(AppHome& home, TForm1& form, const QString& source, const QString& destination) {
  home.Props().Set(QStringLiteral("watki"), QStringLiteral("1"));
  ChooseSourceFolder(form, source);
  form.eFoldDo->lineEdit()->clear();
  QTest::keyClicks(form.eFoldDo->lineEdit(), destination);
  form.cbSize->setChecked(true);
  form.seSize->setValue(100);
  form.EPref->setText("_");
}

// A photo whose EXIF thumbnail cannot go out with it: stored sideways (Orientation 6), so the run turns
// it, and the thumbnail, which must turn with it, is no JPEG the decoder reads.
void WriteSidewaysWithBrokenThumbnail(const QString& path) {
  QImage picture(160, 120, QImage::Format_RGB32);
  picture.fill(qRgb(40, 160, 90));
  const Bytes thumbnail = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0x01, 0x02, 0xFF, 0xD9};
  writeFileAtomically(path.toStdString(), WithSegmentsAfterSoi(encodeJpeg(picture), OrientedExifApp1(6, thumbnail)));
}

bool HasGps(const QString& path) {
  TImgData img;
  img.OpenFile(path.toStdString());
  if (!img.exifInfo) return false;
  for (const TTagEntry& e : img.exifInfo->entries)
    if (e.parentId == kParentGps) return true;
  return false;
}

// The dialogs a click brings, each answered with "OK": kind, title and text.
struct Seen {
  QStringList Texts;
  QList<bool> Information;
  QPointer<QTimer> Watch;
};
void WatchDialogs(const std::shared_ptr<Seen>& seen, int left, QWidget* after = nullptr) {
  if (left == 0) return;
  seen->Watch = OnNextModal(
      [seen, left](QWidget* dialog) {
        auto* form = qobject_cast<TMessageForm*>(dialog);
        auto* box = qobject_cast<QMessageBox*>(dialog);
        seen->Texts << (form ? form->MessageText() : box ? box->text() : dialog->windowTitle());
        seen->Information << (form && form->windowTitle() == QStringLiteral("Informacja"));
        WatchDialogs(seen, left - 1, dialog);
        if (auto* ok = dialog->findChild<QPushButton*>("OK")) {
          ok->click();
        } else {
          dialog->close();
        }
      },
      after);
}
// Clicks "4. Wykonaj": the run and every dialog it brings are over when the click returns. A watch more
// than the dialogs expected catches one too many.
std::shared_ptr<Seen> RunAndWatch(TForm1& form, int expected) {
  auto seen = std::make_shared<Seen>();
  WatchDialogs(seen, expected + 1);
  QTest::mouseClick(form.sbWyk, Qt::LeftButton);
  CancelWatch(seen->Watch);
  return seen;
}

}  // namespace

class MetadataOptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetApplicationIdentity(); }

  void gpsBoxStoredAtOnceAndOnlyUsableWithExif() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg"});
    const QString out = home.PhotoFolder("wynik", {});
    TForm1 form(home.Env());
    form.show();
    QCOMPARE(form.cbUsunGPS->text(), QString("usuń dane GPS"));
    QVERIFY(!form.cbUsunGPS->isChecked());
    QVERIFY(!form.cbEXIF->isChecked());
    QVERIFY(!form.cbUsunGPS->isEnabled());
    QCOMPARE(home.Props().Get(kKey), QString());
    // In the settings group, clear of every other control, wide enough for its text.
    QCOMPARE(form.cbUsunGPS->parentWidget(), static_cast<QWidget*>(form.QMTBorderPanel2));
    QVERIFY(QRect(QPoint(0, 0), form.QMTBorderPanel2->size()).contains(form.cbUsunGPS->geometry()));
    QVERIFY(form.cbUsunGPS->width() >= form.cbUsunGPS->sizeHint().width());
    // Also when the name sample beside it grows with a long prefix or suffix.
    for (const bool suffix : {false, true}) {
      (suffix ? form.rbSuf : form.rbPref)->click();
      for (const QString& affix : {QString("_"), QString("_2026_publikacja_www_ąęśź_")}) {
        form.EPref->setText(affix);
        for (QWidget* other : form.QMTBorderPanel2->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
          if (other != form.cbUsunGPS && other->isVisible())
            QVERIFY2(!other->geometry().intersects(form.cbUsunGPS->geometry()),
                     qPrintable(other->metaObject()->className() + (": " + affix)));
        // The whole affix stays at hand.
        QVERIFY(form.lPref->text() == affix || form.lPref->toolTip() == affix);
      }
    }
    form.EPref->setText("_");
    form.rbPref->click();

    // A click on the disabled box does nothing.
    Click(form.cbUsunGPS);
    QVERIFY(!form.cbUsunGPS->isChecked());
    QCOMPARE(home.Props().Get(kKey), QString());

    Click(form.cbEXIF);
    QVERIFY(form.cbUsunGPS->isEnabled());
    Click(form.cbUsunGPS);
    QVERIFY(form.cbUsunGPS->isChecked());
    QCOMPARE(home.Props().Get(kKey), QString("T"));  // at once, not at close
    Click(form.cbUsunGPS);
    QCOMPARE(home.Props().Get(kKey), QString("N"));
    Click(form.cbUsunGPS);
    QCOMPARE(home.Props().Get(kKey), QString("T"));

    // "zachowaj EXIF" off: the box stays as it was, out of use, and a run does not bring it back.
    Click(form.cbEXIF);
    QVERIFY(!form.cbUsunGPS->isEnabled());
    QVERIFY(form.cbUsunGPS->isChecked());
    QCOMPARE(home.Props().Get(kKey), QString("T"));
    Prepare(home, form, photos, out);
    QCOMPARE(RunAndWatch(form, 0)->Texts, QStringList());
    QCOMPARE(FilesIn(out), QStringList({"_sanyo_sr662.jpg"}));
    QVERIFY(!form.cbUsunGPS->isEnabled());
    Click(form.cbEXIF);
    QVERIFY(form.cbUsunGPS->isEnabled());
  }

  void gpsBoxRestoredAtStart_data() {
    QTest::addColumn<QString>("exif");
    QTest::addColumn<QString>("gps");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("both on") << "T"
                             << "T" << true << true;
    QTest::newRow("without EXIF") << "N"
                                  << "T" << true << false;
    QTest::newRow("off") << "T"
                         << "N" << false << true;
    QTest::newRow("never set") << "T"
                               << "" << false << true;
    QTest::newRow("not T") << "T"
                           << "tak" << false << true;
  }
  void gpsBoxRestoredAtStart() {
    QFETCH(QString, exif);
    QFETCH(QString, gps);
    QFETCH(bool, checked);
    QFETCH(bool, enabled);
    AppHome home;
    home.Props().Set(QStringLiteral("EXIF"), exif);
    if (!gps.isEmpty()) home.Props().Set(kKey, gps);
    TForm1 form(home.Env());
    QCOMPARE(form.cbUsunGPS->isChecked(), checked);
    QCOMPARE(form.cbUsunGPS->isEnabled(), enabled);
  }

  // The box reaches the run: the GPS directory goes out without it and stays out with it.
  void gpsBoxHandedToTheRun() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"nikon_coolpix_p6000_gps.jpg"});
    QVERIFY(HasGps(photos + "/nikon_coolpix_p6000_gps.jpg"));
    TForm1 form(home.Env());
    form.show();
    Click(form.cbEXIF);
    for (const bool strip : {false, true}) {
      const QString out = home.PhotoFolder(strip ? "bez" : "z", {});
      Prepare(home, form, photos, out);
      if (form.cbUsunGPS->isChecked() != strip) Click(form.cbUsunGPS);
      QCOMPARE(RunAndWatch(form, 0)->Texts, QStringList());
      QCOMPARE(HasGps(out + "/_nikon_coolpix_p6000_gps.jpg"), !strip);
    }
  }

  void noticeOnceAtTheEndAfterEveryFile_data() {
    QTest::addColumn<bool>("exif");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("texts");
    const QStringList three = {"a_bez_miniatury.jpg", "b.jpg", "c.jpg"};
    const QStringList written3 = {"_a_bez_miniatury.jpg", "_b.jpg", "_c.jpg"};
    QTest::newRow("one file") << true << three << written3
                              << QStringList{"Zapisano bez części metadanych źródła: 1 plik."};
    QTest::newRow("two files") << true << QStringList{"a_bez_miniatury.jpg", "b.jpg", "d_bez_miniatury.jpg"}
                               << QStringList{"_a_bez_miniatury.jpg", "_b.jpg", "_d_bez_miniatury.jpg"}
                               << QStringList{"Zapisano bez części metadanych źródła: 2 pliki."};
    // Nothing was asked to be carried, so nothing is missing.
    QTest::newRow("without zachowaj EXIF") << false << three << written3 << QStringList{};
  }
  void noticeOnceAtTheEndAfterEveryFile() {
    QFETCH(bool, exif);
    QFETCH(QStringList, files);
    QFETCH(QStringList, written);
    QFETCH(QStringList, texts);
    AppHome home;
    QStringList copies;
    for (const QString& f : files)
      if (!f.contains("bez_miniatury")) copies << "sanyo_sr662.jpg=" + f;
    const QString photos = home.PhotoFolder("zrodlo", copies);
    for (const QString& f : files)
      if (f.contains("bez_miniatury")) WriteSidewaysWithBrokenThumbnail(photos + "/" + f);
    const QString out = home.PhotoFolder("wynik", {});
    TForm1 form(home.Env());
    form.show();
    if (exif) Click(form.cbEXIF);
    Prepare(home, form, photos, out);
    const auto seen = RunAndWatch(form, static_cast<int>(texts.size()));
    QCOMPARE(seen->Texts, texts);
    for (const bool information : seen->Information) QVERIFY(information);
    // Every file written, the ones without their thumbnail too, and the window back to idle.
    QCOMPARE(FilesIn(out), written);
    QCOMPARE(loadJpeg((out + "/" + written[0]).toStdString()).size(), QSize(75, 100));
    QVERIFY(!form.Running());
    QVERIFY(form.sbWyk->isEnabled());
    // The next run counts afresh.
    const auto again = RunAndWatch(form, static_cast<int>(texts.size()));
    QCOMPARE(again->Texts, texts);
  }

  // Said before what ends the run: the failure's message, the "Błędy" report.
  void noticeBeforeTheFailures() {
    AppHome home;
    const QString photos =
        home.PhotoFolder("zrodlo", {"synthetic_truncated.jpg=b_uszkodzony.jpg", "sanyo_sr662.jpg=c.jpg"});
    WriteSidewaysWithBrokenThumbnail(photos + "/a_bez_miniatury.jpg");
    const QString out = home.PhotoFolder("wynik", {});
    TForm1 form(home.Env());
    form.show();
    Click(form.cbEXIF);
    Prepare(home, form, photos, out);
    const QString notice = QStringLiteral("Zapisano bez części metadanych źródła: 1 plik.");

    // Stopped by the failure: the notice, then the failure's message; c.jpg never started.
    auto seen = RunAndWatch(form, 2);
    QCOMPARE(seen->Texts.size(), 2);
    QCOMPARE(seen->Texts[0], notice);
    QVERIFY(seen->Information[0]);
    QVERIFY2(seen->Texts[1].contains("b_uszkodzony.jpg"), qPrintable(seen->Texts[1]));
    QCOMPARE(FilesIn(out), QStringList({"_a_bez_miniatury.jpg"}));

    // Going on past it: the notice, then the report of the failed file.
    Click(form.cbPomijaj);
    seen = RunAndWatch(form, 2);
    QCOMPARE(seen->Texts, QStringList({notice, "Błędy"}));
    QVERIFY(seen->Information[0]);
    QCOMPARE(FilesIn(out), QStringList({"_a_bez_miniatury.jpg", "_c.jpg"}));
  }

  void pluralOfFiles_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("noun");
    for (const int n : {1}) QTest::addRow("%d", n) << n << "plik";
    for (const int n : {2, 3, 4, 22, 23, 24, 32, 102, 104, 1002}) QTest::addRow("%d", n) << n << "pliki";
    for (const int n : {0, 5, 6, 9, 10, 11, 12, 13, 14, 15, 20, 21, 25, 100, 101, 111, 112, 113, 114, 1000, 1012})
      QTest::addRow("%d", n) << n << "plików";
  }
  void pluralOfFiles() {
    QFETCH(int, n);
    QFETCH(QString, noun);
    QCOMPARE(FilesNoun(n), noun);
  }
};

VELMORA_QTEST_MAIN(MetadataOptionsTest)
#include "metadata_options_test.moc"
