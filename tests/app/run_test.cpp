// The run behind "4. Wykonaj": its checks and messages in order, real photos scaled and named, stop and
// close during a run, the locked window, errors, and the caption stamped as velmora-batch stamps it.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "app/form1.h"
#include "app_fixture.h"
#include "dialogs/application.h"
#include "dialogs/qmtborderpanel.h"
#include "dialogs/qmtgauge.h"
#include "dialogs/qmtpropscb.h"
#include "imaging/jpegcodec.h"
#include "imaging/pipeline.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const QStringList kThree = {"sanyo_sr662.jpg", "olympus_x2.jpg", "canon_powershot_s40.jpg"};

// The window with a hook after each file, where a test acts as a user would while a file is processed:
// what it queues is handled at the run's next look at pending events.
class WatchedForm : public TForm1 {
 public:
  using TForm1::TForm1;
  std::function<void(int done)> AfterFile;
  int Done = 0;
  QList<bool> Rotate;  // options.rotate of each file

 protected:
  FileOutcome ProcessOneFile(const std::filesystem::path& source, const BatchOptions& options) override {
    FileOutcome outcome = TForm1::ProcessOneFile(source, options);
    Rotate << options.rotate;
    ++Done;
    if (AfterFile) AfterFile(Done);
    return outcome;
  }
};

// Source folder chosen, destination typed, scaling to 100 pixels, prefix "_".
void Prepare(TForm1& form, const QString& source, const QString& destination) {
  ChooseSourceFolder(form, source);
  form.eFoldDo->lineEdit()->clear();
  QTest::keyClicks(form.eFoldDo->lineEdit(), destination);
  form.cbSize->setChecked(true);
  form.seSize->setValue(100);
  form.EPref->setText("_");
}

QSize SizeOf(const QString& path) { return loadJpeg(path.toStdString()).size(); }

QByteArray FileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void CheckIdle(TForm1& form) {
  QVERIFY(form.StopFlag());
  QVERIFY(!form.Running());
  QVERIFY(form.sbWyk->isEnabled());
  QVERIFY(form.eFoldZ->isEnabled());
  QVERIFY(form.CLB->isEnabled());
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  QVERIFY(TForm1::HistoryIndexOf(*form.eFoldDo, form.eFoldDo->currentText()) >= 0);
}

}  // namespace

class RunTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetApplicationIdentity(); }

  void rotateBoxOnByDefaultStoredAtOnceAndHandedToTheRun() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {kThree[0]});
    const QString out = home.PhotoFolder("wynik", {});
    const QString key = QStringLiteral("obracaj wg EXIF");
    {
      WatchedForm form(home.Env());
      form.show();
      QVERIFY(form.cbObroc->isChecked());
      QCOMPARE(form.cbObroc->text(), QString("obróć wg EXIF"));
      QCOMPARE(home.Props().Get(key), QString());
      // In the settings group, clear of every other control, wide enough for its text.
      QCOMPARE(form.cbObroc->parentWidget(), static_cast<QWidget*>(form.QMTBorderPanel2));
      QVERIFY(QRect(QPoint(0, 0), form.QMTBorderPanel2->size()).contains(form.cbObroc->geometry()));
      QVERIFY(form.cbObroc->width() >= form.cbObroc->sizeHint().width());
      for (QWidget* other : form.QMTBorderPanel2->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (other != form.cbObroc && other->isVisible())
          QVERIFY2(!other->geometry().intersects(form.cbObroc->geometry()),
                   qPrintable(other->metaObject()->className()));

      Prepare(form, photos, out);
      QTest::mouseClick(form.sbWyk, Qt::LeftButton);
      QTest::mouseClick(form.cbObroc, Qt::LeftButton, Qt::NoModifier, QPoint(5, 8));
      QVERIFY(!form.cbObroc->isChecked());
      QCOMPARE(home.Props().Get(key), QString("N"));  // at once, not at close
      QTest::mouseClick(form.sbWyk, Qt::LeftButton);
      QCOMPARE(form.Rotate, QList<bool>({true, false}));
    }
    {
      TForm1 form(home.Env());
      QVERIFY(!form.cbObroc->isChecked());
      QTest::mouseClick(form.cbObroc, Qt::LeftButton, Qt::NoModifier, QPoint(5, 8));
      QCOMPARE(home.Props().Get(key), QString("T"));
    }
  }

  void emptyListOnlyBeeps() {
    AppHome home;
    TForm1 form(home.Env());
    form.show();
    auto answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(!answer->Shown);
    answer->Cancel();
    QVERIFY(form.Gauge1->isHidden());
  }

  void checksInTheirOrder() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    TForm1 form(home.Env());
    form.show();
    ChooseSourceFolder(form, photos);

    // No destination.
    auto texts = AnswerMessages({"OK"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(texts->Texts, QStringList({"Nie wskazano folderów"}));

    // A missing destination, not to be made: nothing else is said, nothing is made.
    QTest::keyClicks(form.eFoldDo->lineEdit(), home.Path("wynik"));
    texts = AnswerMessages({"Nie", "OK"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(texts->Texts, QStringList({"Folder docelowy nie istnieje. Utworzyć go?"}));
    texts->Cancel();
    QVERIFY(!QFileInfo::exists(home.Path("wynik")));

    // One level only: with its parent missing it is not made, and nothing is said.
    form.eFoldDo->lineEdit()->clear();
    QTest::keyClicks(form.eFoldDo->lineEdit(), home.Path("brak/wynik"));
    texts = AnswerMessages({"Tak", "OK"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(texts->Texts.size(), 1);
    texts->Cancel();
    QVERIFY(!QFileInfo::exists(home.Path("brak")));

    // Made, then no operation chosen.
    form.eFoldDo->lineEdit()->clear();
    QTest::keyClicks(form.eFoldDo->lineEdit(), home.Path("wynik"));
    texts = AnswerMessages({"Tak", "OK"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(texts->Texts, QStringList({"Folder docelowy nie istnieje. Utworzyć go?", "Nie wybrano operacji"}));
    QVERIFY(QFileInfo(home.Path("wynik")).isDir());

    // A size below 1.
    form.cbSize->setChecked(true);
    form.seSize->setValue(0);
    texts = AnswerMessages({"OK"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(texts->Texts, QStringList({"Rozmiar musi być większy od zera"}));
    QVERIFY(FilesIn(home.Path("wynik")).isEmpty());
    QVERIFY(form.Gauge1->isHidden());
  }

  // "../x_" would write into the destination's parent: refused before anything is made, the missing
  // destination included.
  void anAffixWithASlashIsRefusedBeforeAnythingIsWritten_data() {
    QTest::addColumn<bool>("suffix");
    QTest::addColumn<QString>("affix");
    QTest::addColumn<QString>("message");
    QTest::newRow("prefix") << false << "../x_" << QString::fromUtf8("Prefiks nie może zawierać znaku \"/\"");
    QTest::newRow("suffix") << true << "_m/" << QString::fromUtf8("Sufiks nie może zawierać znaku \"/\"");
  }
  void anAffixWithASlashIsRefusedBeforeAnythingIsWritten() {
    QFETCH(bool, suffix);
    QFETCH(QString, affix);
    QFETCH(QString, message);
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, home.Path("wynik"));
    if (suffix) QTest::mouseClick(form.rbSuf, Qt::LeftButton, Qt::NoModifier, QPoint(5, 8));
    form.EPref->setText(affix);
    auto texts = AnswerMessages({"OK", "OK"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    texts->Cancel();
    QCOMPARE(texts->Texts, QStringList({message}));
    QVERIFY(!QFileInfo::exists(home.Path("wynik")));
    QCOMPARE(FilesIn(home.Path("")), QStringList());
    QVERIFY(form.Gauge1->isHidden());
  }

  // A killed run's temporaries (the program's own names only) go when the next run starts.
  void aRunRemovesAKilledRunsTemporaries() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg"});
    const QString out = home.PhotoFolder("wynik", {});
    for (const char* name : {".velmora-k1ll3d.tmp", ".inne.tmp"}) {
      QFile f(out + "/" + name);
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, out);
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             QStringList({".inne.tmp", "_sanyo_sr662.jpg"}));
  }

  void replacingTheSourcesAsksFirst() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, photos);
    form.EPref->clear();
    const QByteArray before = FileBytes(photos + "/sanyo_sr662.jpg");

    auto texts = AnswerMessages({"Nie", "OK"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(texts->Texts, QStringList({"Pliki źródłowe zostaną nadpisane. Kontynuować?"}));
    texts->Cancel();
    QCOMPARE(FileBytes(photos + "/sanyo_sr662.jpg"), before);

    texts = AnswerMessages({"Tak", "OK"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(texts->Texts.size(), 1);
    texts->Cancel();
    QCOMPARE(SizeOf(photos + "/sanyo_sr662.jpg"), QSize(100, 75));
    QCOMPARE(FilesIn(photos).size(), 3);
  }

  void runScalesRealPhotosAndNamesThem_data() {
    QTest::addColumn<bool>("suffix");
    QTest::addColumn<QString>("affix");
    QTest::addColumn<QStringList>("outputs");
    QTest::newRow("prefix") << false << "_"
                            << QStringList({"_canon_powershot_s40.jpg", "_olympus_x2.jpg", "_sanyo_sr662.jpg"});
    QTest::newRow("suffix") << true << "_m"
                            << QStringList({"canon_powershot_s40_m.jpg", "olympus_x2_m.jpg", "sanyo_sr662_m.jpg"});
  }
  void runScalesRealPhotosAndNamesThem() {
    QFETCH(bool, suffix);
    QFETCH(QString, affix);
    QFETCH(QStringList, outputs);
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    const QString out = home.PhotoFolder("wynik", {});
    WatchedForm form(home.Env());
    form.show();
    Prepare(form, photos, out);
    if (suffix) QTest::mouseClick(form.rbSuf, Qt::LeftButton, Qt::NoModifier, QPoint(5, 8));
    form.EPref->setText(affix);
    // While a file is processed everything but "Zatrzymaj" is locked, under the hourglass.
    QList<bool> locked;
    form.AfterFile = [&](int) {
      locked << (!form.sbWyk->isEnabled() && !form.eFoldZ->isEnabled() && !form.CLB->isEnabled() &&
                 !form.cbSize->isEnabled() && form.sbStop->isEnabled() && form.sbStop->isVisible() &&
                 QGuiApplication::overrideCursor() != nullptr);
    };
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);

    QCOMPARE(locked, QList<bool>({true, true, true}));
    QCOMPARE(FilesIn(out), outputs);
    QCOMPARE(SizeOf(out + "/" + outputs[0]), QSize(100, 75));  // 480 x 360
    QCOMPARE(SizeOf(out + "/" + outputs[1]), QSize(100, 75));  // 113 x 85: reduced
    QCOMPARE(SizeOf(out + "/" + outputs[2]), QSize(100, 75));  // 300 x 225
    QCOMPARE(form.Gauge1->Progress(), 3);
    QCOMPARE(form.lProgress->text(), QString("3/3"));
    QVERIFY(form.Gauge1->isVisible());
    CheckIdle(form);
    QCOMPARE(form.eFoldDo->itemText(form.eFoldDo->count() - 1), out);
  }

  void onlyTickedFilesAndEnlargeOnRequest() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    const QString out = home.PhotoFolder("wynik", {});
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, out);
    form.seSize->setValue(400);
    form.CBPow->setChecked(true);
    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
    for (int i = 0; i < form.CLB->count(); ++i) {
      if (form.CLB->item(i)->text() != "canon_powershot_s40.jpg") form.CLB->item(i)->setCheckState(Qt::Checked);
    }
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(FilesIn(out), QStringList({"_olympus_x2.jpg", "_sanyo_sr662.jpg"}));
    QCOMPARE(SizeOf(out + "/_olympus_x2.jpg"), QSize(400, 301));  // 113 x 85 enlarged
    QCOMPARE(form.lProgress->text(), QString("2/2"));
  }

  void stopBetweenFilesAndDuringTheLast_data() {
    QTest::addColumn<int>("stopAfter");
    QTest::newRow("during the first of three") << 1;
    QTest::newRow("during the last") << 3;
  }
  void stopBetweenFilesAndDuringTheLast() {
    QFETCH(int, stopAfter);
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    const QString out = home.PhotoFolder("wynik", {});
    WatchedForm form(home.Env());
    form.show();
    Prepare(form, photos, out);
    const QStringList order = Names(form.CLB);
    form.AfterFile = [&](int done) {
      if (done == stopAfter) QMetaObject::invokeMethod(form.sbStop, "click", Qt::QueuedConnection);
    };
    auto answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    if (stopAfter < 3) {
      QCOMPARE(answer->Text, "Zatrzymano przed " + order[stopAfter]);
      QCOMPARE(FilesIn(out), QStringList({"_" + order[0]}));
      QCOMPARE(form.lProgress->text(), QString("1/3"));
    } else {
      QVERIFY(!answer->Shown);
      answer->Cancel();
      QCOMPARE(FilesIn(out).size(), 3);
    }
    CheckIdle(form);
  }

  void closeDuringARunStopsItAndWritesTheSettings() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    const QString out = home.PhotoFolder("wynik", {});
    WatchedForm form(home.Env());
    form.show();
    Prepare(form, photos, out);
    form.cbZapUst->SetChecked(true);
    const QStringList order = Names(form.CLB);
    form.AfterFile = [&](int done) {
      if (done == 1) QMetaObject::invokeMethod(&form, "close", Qt::QueuedConnection);
    };
    auto answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(answer->Text, "Zatrzymano przed " + order[1]);
    QVERIFY(form.isVisible());
    QCOMPARE(home.Props().Get("ZapUst"), QString("T"));
    QCOMPARE(home.Props().Get("folderDo"), out);
    QCOMPARE(home.Props().Get("size"), QString("100"));
    CheckIdle(form);
    // After the run the window closes.
    QVERIFY(form.close());
  }

  void aFileThatFailsEndsTheRunWithItsMessage() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg", "synthetic_truncated.jpg"});
    const QString out = home.PhotoFolder("wynik", {});
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, out);
    auto answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY2(answer->Text.startsWith("synthetic_truncated.jpg: "), qPrintable(answer->Text));
    QVERIFY(!FilesIn(out).contains("_synthetic_truncated.jpg"));
    CheckIdle(form);
  }

  void captionFromTheWindowEqualsVelmoraBatch() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg", "canon_powershot_s40.jpg"});
    const QString out = home.PhotoFolder("okno", {});
    home.Props().Set("podpis", QString::fromUtf8("Zdjęcie: Łódź"));
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, out);
    form.seSize->setValue(240);
    form.cbPodp->setChecked(true);
    form.Bezta1->trigger();  // one mode mark on, stored at once
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(FilesIn(out).size(), 2);

    const QString settings = home.WriteSettingsFile("velmora.props");
    const QString cli = home.Path("cli");
    const QString plain = home.Path("plain");
    auto batch = [&](const QStringList& extra, const QString& dest) {
      QProcess p;
      p.start(VELMORA_BATCH_EXE, extra + QStringList{"--size", "240", "--prefix", "_", photos, dest});
      QVERIFY(p.waitForFinished(60000));
      QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    };
    batch({"--caption", "--settings", settings}, cli);
    batch({}, plain);
    for (const QString& name : FilesIn(out)) {
      QCOMPARE(FileBytes(cli + "/" + name), FileBytes(out + "/" + name));
      QVERIFY(FileBytes(plain + "/" + name) != FileBytes(out + "/" + name));
    }
  }
};

VELMORA_QTEST_MAIN(RunTest)
#include "run_test.moc"
