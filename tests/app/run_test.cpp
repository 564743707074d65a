// The run behind "4. Wykonaj": its checks and messages in order, real photos scaled and named on worker
// threads with the gauge moving per finished file, stop and close during a run (one worker and several),
// the locked window, errors with and without "pomijaj błędne pliki" and the "Błędy" report, the "watki"
// setting, and the caption stamped as velmora-batch stamps it.

#include <sys/stat.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "app/form1.h"
#include "app_fixture.h"
#include "dialogs/application.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtborderpanel.h"
#include "dialogs/qmtgauge.h"
#include "dialogs/qmtpropscb.h"
#include "imaging/batchrun.h"
#include "imaging/jpegcodec.h"
#include "imaging/pipeline.h"
#include "support/faulty_calls.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const QStringList kThree = {"sanyo_sr662.jpg", "olympus_x2.jpg", "canon_powershot_s40.jpg"};

// Workers wait here until it opens: once the test has acted on the window's thread, or once `openAt`
// workers stand at it. A wait gives up after ten seconds, so a broken run fails instead of hanging.
class WorkerGate {
 public:
  explicit WorkerGate(int openAt = 0) : openAt_(openAt) {}
  void Pass() {
    std::unique_lock lock(mutex_);
    ++arrived_;
    ++present_;
    maxPresent_ = std::max(maxPresent_, present_);
    if (openAt_ > 0 && present_ >= openAt_) open_ = true;
    changed_.notify_all();
    if (!changed_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; })) timedOut_ = true;
    --present_;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  int Arrived() {
    std::lock_guard lock(mutex_);
    return arrived_;
  }
  // Until that many files have come to the gate, so the test acts while they are surely in flight.
  bool AwaitArrived(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return arrived_ >= count; });
  }
  int MaxPresent() {
    std::lock_guard lock(mutex_);
    return maxPresent_;
  }
  bool TimedOut() {
    std::lock_guard lock(mutex_);
    return timedOut_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const int openAt_;
  int arrived_ = 0, present_ = 0, maxPresent_ = 0;
  bool open_ = false, timedOut_ = false;
};

// The window with a hook in each worker's file: files named in Held wait at the gate; and a record of
// whether any file was processed on the window's thread.
class WatchedForm : public TForm1 {
 public:
  using TForm1::TForm1;
  std::set<std::string> Held;  // set before the run; only read by the workers
  std::unique_ptr<WorkerGate> Gate = std::make_unique<WorkerGate>();
  std::atomic<bool> OnWindowThread{false};
  std::atomic<int> Processed{0};
  std::mutex RotateMutex;
  QList<bool> Rotate;  // options.rotate of each file, in the order the workers took them

 protected:
  FileOutcome ProcessOneFile(const std::filesystem::path& source, const BatchOptions& options) override {
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) OnWindowThread = true;
    if (Held.count(source.filename().string()) != 0) Gate->Pass();
    ++Processed;
    {
      const std::lock_guard lock(RotateMutex);
      Rotate << options.rotate;
    }
    return TForm1::ProcessOneFile(source, options);
  }
};

// Every file in the folder, hidden ones (temporaries) included.
QStringList AllFilesIn(const QString& folder) {
  QStringList names;
  for (const auto& e : std::filesystem::directory_iterator(folder.toStdString())) {
    names << QString::fromStdString(e.path().filename().string());
  }
  names.sort();
  return names;
}

// The names of the list entries from position `from` on.
std::set<std::string> NamesFrom(const QStringList& order, int from) {
  std::set<std::string> names;
  for (int i = from; i < order.size(); ++i) names.insert(order[i].toStdString());
  return names;
}

// Answers the "Błędy" report (the list dialog) with "OK", keeping its title and lines.
struct Report {
  bool Shown = false;
  QString Title;
  QStringList Lines;
  bool ReadOnly = false;
  QString Save;  // what "Zapisz ..." offers: name and filter
};
std::shared_ptr<Report> ReadNextReport(QWidget* after = nullptr) {
  auto report = std::make_shared<Report>();
  OnNextModal(
      [report](QWidget* dialog) {
        report->Shown = true;
        report->Title = dialog->windowTitle();
        if (auto* list = qobject_cast<TFormRapDlg*>(dialog)) {
          report->Lines = list->MemoLines();
          report->ReadOnly = list->Content != nullptr && list->Content->isReadOnly();
          report->Save = list->SaveName + " " + list->SaveFilter;
        }
        if (auto* ok = dialog->findChild<QPushButton*>("OK")) {
          ok->click();
        } else {
          dialog->close();
        }
      },
      after);
  return report;
}

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

    // Every check before the destination is made: no operation chosen, nothing made.
    QTest::keyClicks(form.eFoldDo->lineEdit(), home.Path("wynik"));
    texts = AnswerMessages({"OK", "Tak"});
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    texts->Cancel();
    QCOMPARE(texts->Texts, QStringList({"Nie wybrano operacji"}));
    QVERIFY(!QFileInfo::exists(home.Path("wynik")));
    // The size field takes no size below 1.
    form.cbSize->setChecked(true);
    form.seSize->setValue(0);
    QCOMPARE(form.seSize->value(), 1);

    // A missing destination, not to be made: nothing else is said, nothing is made.
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
    QVERIFY(form.Gauge1->isHidden());
  }

  // A killed run's temporaries (the program's own names only) go when the next run starts.
  void aRunRemovesAKilledRunsTemporaries() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg"});
    const QString out = home.PhotoFolder("wynik", {});
    for (const char* name : {".inne.tmp"}) {
      QFile f(out + "/" + name);
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    LeftoverTemporary(QFile::encodeName(out).toStdString());
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, out);
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             QStringList({".inne.tmp", "_sanyo_sr662.jpg"}));
  }

  // Names keep their bytes (shown escaped) to the output; a pipe is counted; no output replaces a source.
  void namesKeepTheirBytesAndNoOutputReplacesASource() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg=x.jpg", "olympus_x2.jpg=x_s.jpg"});
    const std::string folder = QFile::encodeName(photos).toStdString();
    std::filesystem::copy_file(folder + "/x.jpg", folder + "/\xff.jpg");
    QCOMPARE(::mkfifo((folder + "/pipe.jpg").c_str(), 0600), 0);
    const QByteArray original = FileBytes(photos + "/x_s.jpg");
    TForm1 form(home.Env());
    form.show();
    ChooseSourceFolder(form, photos);
    QCOMPARE(form.lUwaga->text(), QString("Pominięte, to nie pliki (1): pipe.jpg"));
    Prepare(form, photos, photos);
    QCOMPARE(Names(form.CLB), QStringList({"x_s.jpg", "x.jpg", "\\xFF.jpg"}));
    QTest::mouseClick(form.rbSuf, Qt::LeftButton, Qt::NoModifier, QPoint(5, 8));
    form.EPref->setText("_s");
    form.cbPomijaj->setChecked(true);
    auto report = ReadNextReport();
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTRY_VERIFY(report->Shown);
    QCOMPARE(report->Lines,
             QStringList({"x.jpg: Plik wynikowy \"" + photos + "/x_s.jpg\" zastąpiłby plik źródłowy \"x_s.jpg\""}));
    QCOMPARE(FileBytes(photos + "/x_s.jpg"), original);
    QVERIFY(std::filesystem::remove(folder + "/\xff_s.jpg") && std::filesystem::remove(folder + "/\xff.jpg"));
  }

  void replacingTheSourcesAsksFirst() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, photos);
    form.EPref->clear();
    const QByteArray before = FileBytes(photos + "/sanyo_sr662.jpg");

    // Enter answers "Nie": the originals stay byte for byte.
    QString asked;
    OnNextModal([&asked](QWidget* d) {
      asked = qobject_cast<TMessageForm*>(d)->MessageText();
      PressKey(d, Qt::Key_Return);
    });
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(asked, QString("Pliki źródłowe zostaną nadpisane. Kontynuować?"));
    QCOMPARE(FileBytes(photos + "/sanyo_sr662.jpg"), before);
    QVERIFY(form.Gauge1->isHidden());

    auto texts = AnswerMessages({"Tak", "OK"});
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
    // While the run goes on everything but "Zatrzymaj" is locked, under the hourglass; the gauge and the
    // label move by one per finished file; no file is processed on the window's thread.
    QList<bool> locked;
    QList<int> gauge;
    QStringList labels, status;
    QObject::connect(&form, &TForm1::FileCompleted, &form, [&](int done) {
      locked << (!form.sbWyk->isEnabled() && !form.eFoldZ->isEnabled() && !form.CLB->isEnabled() &&
                 !form.cbSize->isEnabled() && !form.cbPomijaj->isEnabled() && form.sbStop->isEnabled() &&
                 form.sbStop->isVisible() && QGuiApplication::overrideCursor() != nullptr);
      gauge << form.Gauge1->Progress();
      labels << form.lProgress->text();
      status << form.lStan->text();
      QCOMPARE(done, form.Gauge1->Progress());
    });
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);

    QCOMPARE(locked, QList<bool>({true, true, true}));
    QCOMPARE(gauge, QList<int>({1, 2, 3}));
    QCOMPARE(labels, QStringList({"1/3", "2/3", "3/3"}));
    // The file in work; the time left once two files are done.
    QVERIFY2(kThree.contains(status[0]), qPrintable(status[0]));
    QVERIFY2(QRegularExpression("^\\w+\\.jpg, pozostało ok. [0-9]+ s$").match(status[1]).hasMatch(),
             qPrintable(status[1]));
    QCOMPARE(form.Processed.load(), 3);
    QVERIFY(!form.OnWindowThread);
    QCOMPARE(FilesIn(out), outputs);
    QCOMPARE(SizeOf(out + "/" + outputs[0]), QSize(100, 75));  // 480 x 360
    QCOMPARE(SizeOf(out + "/" + outputs[1]), QSize(100, 75));  // 113 x 85: reduced
    QCOMPARE(SizeOf(out + "/" + outputs[2]), QSize(100, 75));  // 300 x 225
    QCOMPARE(form.Gauge1->Progress(), 3);
    // The gauge gives way to what the run did and the way to its files.
    QVERIFY2(QRegularExpression("^zapisano 3 z 3 plików; [0-9]+,[0-9] s$").match(form.lStan->text()).hasMatch(),
             qPrintable(form.lStan->text()));
    QVERIFY(form.Gauge1->isHidden() && form.sbStop->isHidden() && form.lProgress->text().isEmpty());
    QUrl opened;
    form.OpenUrl = [&opened](const QUrl& url) { return opened = url, true; };
    QTest::mouseClick(form.sbOtworz, Qt::LeftButton);
    QCOMPARE(opened, QUrl::fromLocalFile(out));
    CheckIdle(form);
    QCOMPARE(form.eFoldDo->itemText(form.eFoldDo->count() - 1), out);
  }

  // "watki": how many files are processed at once; empty or not a positive number is the default
  // (the cores of the process, here at least 1).
  void watkiSetsTheWorkers_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("expected");
    const int cores = std::min(defaultWorkerCount(), 6);
    QTest::newRow("one") << "1" << 1;
    QTest::newRow("three") << " 3" << 3;
    QTest::newRow("empty") << "" << cores;
    QTest::newRow("not a number") << "dwa" << cores;
    QTest::newRow("zero") << "0" << cores;
  }
  void watkiSetsTheWorkers() {
    QFETCH(QString, setting);
    QFETCH(int, expected);
    AppHome home;
    QStringList six;
    for (int i = 1; i <= 6; ++i) six << QString("sanyo_sr662.jpg=p%1.jpg").arg(i);
    const QString photos = home.PhotoFolder("zrodlo", six);
    const QString out = home.PhotoFolder("wynik", {});
    home.Props().Set("watki", setting);
    WatchedForm form(home.Env());
    form.show();
    Prepare(form, photos, out);
    // Every file waits until as many workers as expected stand at the gate together.
    form.Gate = std::make_unique<WorkerGate>(expected);
    for (const QString& name : Names(form.CLB)) form.Held.insert(name.toStdString());
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QVERIFY(!form.Gate->TimedOut());
    QCOMPARE(form.Gate->MaxPresent(), expected);
    QCOMPARE(FilesIn(out).size(), 6);
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
    QVERIFY2(form.lStan->text().startsWith("zapisano 2 z 2 plików; "), qPrintable(form.lStan->text()));
  }

  // One worker, as the run was before it had workers: the file in hand when "Zatrzymaj" comes is
  // finished and written, and the message names the next one. During the last file: no message.
  void stopBetweenFilesAndDuringTheLast_data() {
    QTest::addColumn<int>("stopAfter");
    QTest::newRow("during the second of three") << 1;
    QTest::newRow("during the last") << 2;
  }
  void stopBetweenFilesAndDuringTheLast() {
    QFETCH(int, stopAfter);
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", kThree);
    const QString out = home.PhotoFolder("wynik", {});
    home.Props().Set("watki", "1");
    WatchedForm form(home.Env());
    form.show();
    Prepare(form, photos, out);
    const QStringList order = Names(form.CLB);
    // The file after the stopAfter-th is in flight when the stop comes.
    form.Held = NamesFrom(order, stopAfter);
    QObject::connect(&form, &TForm1::FileCompleted, &form, [&](int done) {
      if (done != stopAfter) return;
      QVERIFY(form.Gate->AwaitArrived(1));
      QTest::mouseClick(form.sbStop, Qt::LeftButton);
      form.Gate->Open();
    });
    auto answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QVERIFY(!form.Gate->TimedOut());
    if (stopAfter + 1 < order.size()) {
      QCOMPARE(answer->Text, "Zatrzymano przed " + order[stopAfter + 1]);
      QStringList expected({"_" + order[0], "_" + order[1]});
      expected.sort();
      QCOMPARE(FilesIn(out), expected);
      QVERIFY2(form.lStan->text().startsWith("zatrzymano; zapisano 2 z 3 plików; "), qPrintable(form.lStan->text()));
    } else {
      QTest::qWait(50);
      QVERIFY(!answer->Shown);
      answer->Cancel();
      QCOMPARE(FilesIn(out).size(), 3);
    }
    CheckIdle(form);
  }

  // A stop in the middle of a parallel run: the files in flight are finished and written whole, no
  // other file starts, no temporary file stays, and the message names the first file not started.
  void stopInTheMiddleOfAParallelRun() {
    AppHome home;
    QStringList eight;
    for (int i = 1; i <= 8; ++i) eight << QString("canon_powershot_s40.jpg=f%1.jpg").arg(i);
    const QString photos = home.PhotoFolder("zrodlo", eight);
    const QString out = home.PhotoFolder("wynik", {});
    home.Props().Set("watki", "3");
    WatchedForm form(home.Env());
    form.show();
    Prepare(form, photos, out);
    const QStringList order = Names(form.CLB);
    form.Held = NamesFrom(order, 1);
    QObject::connect(&form, &TForm1::FileCompleted, &form, [&](int done) {
      if (done != 1) return;
      QVERIFY(form.Gate->AwaitArrived(2));
      QTest::mouseClick(form.sbStop, Qt::LeftButton);
      form.Gate->Open();
    });
    auto answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QVERIFY(!form.Gate->TimedOut());
    // Two files were held when the first finished; its worker may have taken a third before the stop.
    const int inFlight = form.Gate->Arrived();
    QVERIFY2(inFlight == 2 || inFlight == 3, qPrintable(QString::number(inFlight)));
    QCOMPARE(answer->Text, "Zatrzymano przed " + order[inFlight + 1]);
    QStringList expected;
    for (int i = 0; i <= inFlight; ++i) expected << "_" + order[i];
    expected.sort();
    QCOMPARE(AllFilesIn(out), expected);
    for (const QString& name : expected) QCOMPARE(SizeOf(out + "/" + name), QSize(100, 75));
    QCOMPARE(form.Gauge1->Progress(), inFlight + 1);
    CheckIdle(form);
  }

  void closeDuringARunStopsItAndWritesTheSettings() {
    AppHome home;
    QStringList six;
    for (int i = 1; i <= 6; ++i) six << QString("sanyo_sr662.jpg=z%1.jpg").arg(i);
    const QString photos = home.PhotoFolder("zrodlo", six);
    const QString out = home.PhotoFolder("wynik", {});
    home.Props().Set("watki", "2");
    WatchedForm form(home.Env());
    form.show();
    Prepare(form, photos, out);
    form.cbZapUst->SetChecked(true);
    const QStringList order = Names(form.CLB);
    form.Held = NamesFrom(order, 1);
    bool closed = true;
    QObject::connect(&form, &TForm1::FileCompleted, &form, [&](int done) {
      if (done != 1) return;
      QVERIFY(form.Gate->AwaitArrived(1));
      closed = form.close();  // refused: it turns into a stop
      form.Gate->Open();
    });
    auto answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QVERIFY(!closed);
    const int inFlight = form.Gate->Arrived();
    QVERIFY2(inFlight == 1 || inFlight == 2, qPrintable(QString::number(inFlight)));
    QCOMPARE(answer->Text, "Zatrzymano przed " + order[inFlight + 1]);
    QCOMPARE(FilesIn(out).size(), inFlight + 1);
    QVERIFY(form.isVisible());
    QCOMPARE(home.Props().Get("ZapUst"), QString("T"));
    QCOMPARE(home.Props().Get("folderDo"), out);
    QCOMPARE(home.Props().Get("size"), QString("100"));
    CheckIdle(form);
    // After the run the window closes.
    QVERIFY(form.close());
  }

  // Without "pomijaj błędne pliki" the first failure ends the run: no new file starts, the files in
  // flight finish, and the default error display shows that file's message. With it, the run goes on
  // and its end shows every failed file with its cause in the "Błędy" list dialog.
  void failuresWithAndWithoutSkipping_data() {
    QTest::addColumn<bool>("skip");
    QTest::addColumn<QString>("workers");
    QTest::newRow("first failure ends, one worker") << false << "1";
    QTest::newRow("first failure ends, three workers") << false << "3";
    QTest::newRow("skip and report, one worker") << true << "1";
    QTest::newRow("skip and report, three workers") << true << "3";
  }
  void failuresWithAndWithoutSkipping() {
    QFETCH(bool, skip);
    QFETCH(QString, workers);
    AppHome home;
    QStringList seven;
    for (int i = 1; i <= 7; ++i) seven << QString("sanyo_sr662.jpg=a%1.jpg").arg(i);
    const QString photos = home.PhotoFolder("zrodlo", seven);
    const QString out = home.PhotoFolder("wynik", {});
    home.Props().Set("watki", workers);
    TForm1 form(home.Env());
    form.show();
    Prepare(form, photos, out);
    form.cbPomijaj->setChecked(skip);
    // The second, fifth and sixth entries of the list are broken: two truncated, one not a JPEG at all.
    const QStringList order = Names(form.CLB);
    const QByteArray truncated = FileBytes(VELMORA_TEST_DATA "/samples/synthetic_truncated.jpg");
    const std::pair<int, QByteArray> broken[] = {{1, truncated}, {4, "to nie jest JPEG"}, {5, truncated}};
    for (const auto& [position, bytes] : broken) {
      QFile file(photos + "/" + order[position]);
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(bytes);
    }
    auto isBroken = [&](const QString& name) { return name == order[1] || name == order[4] || name == order[5]; };
    auto written = [&] {
      QStringList names = FilesIn(out);
      for (QString& name : names) name.remove(0, 1);  // the prefix "_"
      return names;
    };
    if (!skip) {
      auto answer = AnswerNextMessage("OK");
      QTest::mouseClick(form.sbWyk, Qt::LeftButton);
      QTest::qWait(50);
      // The message of the failure that ended the run; the files before the first broken one were
      // started before it and are written, no broken one is.
      const QString failed = answer->Text.section(": ", 0, 0);
      QVERIFY2(isBroken(failed), qPrintable(answer->Text));
      QVERIFY(written().contains(order[0]));
      for (const QString& name : written()) QVERIFY2(!isBroken(name), qPrintable(name));
      if (workers == "1") {
        QCOMPARE(failed, order[1]);
        QCOMPARE(written(), QStringList({order[0]}));
      }
    } else {
      auto report = ReadNextReport();
      QTest::mouseClick(form.sbWyk, Qt::LeftButton);
      QTest::qWait(50);
      QVERIFY(report->Shown);
      QCOMPARE(report->Title, QString("Błędy"));
      QCOMPARE(report->Save, out + "/bledy.txt Pliki tekstowe (*.txt)|*.txt");
      QVERIFY(report->ReadOnly);
      QCOMPARE(report->Lines.size(), 3);
      // In list order, each with its own cause.
      QCOMPARE(report->Lines[0], order[1] + ": Plik JPEG urywa się przed końcem obrazu");
      QVERIFY2(report->Lines[1].startsWith(order[4] + ": To nie jest plik JPEG"), qPrintable(report->Lines[1]));
      QCOMPARE(report->Lines[2], order[5] + ": Plik JPEG urywa się przed końcem obrazu");
      QStringList good({order[0], order[2], order[3], order[6]});
      good.sort();
      QCOMPARE(written(), good);
      QVERIFY2(form.lStan->text().startsWith("zapisano 4 z 7 plików, błędy: 3; "), qPrintable(form.lStan->text()));
    }
    CheckIdle(form);
  }

  // "Zapisz raport ..." of the "Błędy" list writes the run's report: every file, not only the failed one.
  void failureListSavesTheReportOfEveryFile() {
    AppHome home;
    const QString out = home.PhotoFolder("wynik", {}), report = out + "/r.jsonl";
    TForm1 form(home.Env());
    form.show();
    Prepare(form, home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg=a.jpg", "synthetic_truncated.jpg=b.jpg"}), out);
    form.cbPomijaj->setChecked(true);
    OnNextModal([&](QWidget* list) {
      OnNextModal(
          [&](QWidget* d) {
            auto* fd = qobject_cast<QFileDialog*>(d);
            TypeFileName(fd, report);
            static_cast<QDialog*>(fd)->accept();
          },
          list);
      QTest::mouseClick(list->findChild<QLabel*>("LReport"), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
      list->findChild<QPushButton*>("OK")->click();
    });
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QStringList lines;
    for (const QByteArray& line : FileBytes(report).trimmed().split('\n')) {
      const QJsonObject o = QJsonDocument::fromJson(line).object();
      lines << o["source"].toString() + " " + o["status"].toString() + o["summary"].toObject()["end"].toString();
    }
    lines.sort();
    QCOMPARE(lines, QStringList({" completed", "a.jpg written", "b.jpg failed"}));
    CheckIdle(form);
  }

  // A stop in a run that skips failures: the stop message first, then the report of the failures so far.
  void stopWithSkippedFailuresShowsTheMessageThenTheReport() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg=b1.jpg", "sanyo_sr662.jpg=b2.jpg",
                                                       "sanyo_sr662.jpg=b3.jpg", "sanyo_sr662.jpg=b4.jpg"});
    const QString out = home.PhotoFolder("wynik", {});
    home.Props().Set("watki", "1");
    WatchedForm form(home.Env());
    form.show();
    Prepare(form, photos, out);
    form.cbPomijaj->setChecked(true);
    const QStringList order = Names(form.CLB);
    {
      QFile file(photos + "/" + order[0]);
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(FileBytes(VELMORA_TEST_DATA "/samples/synthetic_truncated.jpg"));
    }
    // The failed first file finishes; the second is in flight when the stop comes.
    form.Held = {order[1].toStdString()};
    QObject::connect(&form, &TForm1::FileCompleted, &form, [&](int done) {
      if (done != 1) return;
      QVERIFY(form.Gate->AwaitArrived(1));
      QTest::mouseClick(form.sbStop, Qt::LeftButton);
      form.Gate->Open();
    });
    QString stopText;
    std::shared_ptr<Report> report;
    OnNextModal([&](QWidget* dialog) {
      auto* message = qobject_cast<TMessageForm*>(dialog);
      stopText = message ? message->MessageText() : dialog->windowTitle();
      report = ReadNextReport(dialog);
      if (auto* ok = dialog->findChild<QPushButton*>("OK")) ok->click();
    });
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(stopText, "Zatrzymano przed " + order[2]);
    QVERIFY(report && report->Shown);
    QCOMPARE(report->Title, QString("Błędy"));
    QCOMPARE(report->Lines, QStringList({order[0] + ": Plik JPEG urywa się przed końcem obrazu"}));
    QCOMPARE(FilesIn(out), QStringList({"_" + order[1]}));
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
