// The settings file seen from the window: written by the close while the window can still tell a
// failure, told when it could not be read, written at the end of the desktop session and on a
// termination signal by the normal close path.

#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

#include "app/form1.h"
#include "app/quitsignals.h"
#include "app_fixture.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtpropscb.h"
#include "imaging/pipeline.h"
#include "settings/environment.h"
#include "support/faulty_calls.h"
#include "support/qtest_main.h"
#include "support/small_tmpfs.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// A home whose settings folder may hold a file (or a pipe) before the environment starts, and whose
// settings are written through the given seam.
class SessionHome {
 public:
  QString SettingsFolder() const { return dir_.filePath("config/Velmora/velmora"); }
  QString SettingsFile() const { return SettingsFolder() + "/velmora.props"; }
  void Prepare() const { QDir().mkpath(SettingsFolder()); }
  TEnvironment& Start(const FileSystemCalls* calls = nullptr) {
    QDir().mkpath(dir_.filePath("bin"));
    TEnvironmentInputs in;
    in.ExePath = dir_.filePath("bin/velmora");
    in.ConfigRoot = dir_.filePath("config");
    in.Report = [this](const QString& m) { Reports << m; };
    in.FileCalls = calls;
    env_ = std::make_unique<TEnvironment>(std::move(in));
    return *env_;
  }
  QStringList Reports;

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TEnvironment> env_;
};

QByteArray BytesOrUnreadable(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  QCOMPARE(f.write(bytes), bytes.size());
}

// What a user changed in the window that a close stores.
void ChangeSettings(TForm1& form) {
  form.cbZapUst->SetChecked(true);
  form.seSize->setValue(777);
  form.EPref->setText("m_");
}

// Answers the next message with OK, noting its text and whether the window was visible under it.
struct Sighting {
  QString Text;
  bool WindowVisible = false;
};
std::shared_ptr<Sighting> AnswerAndLook(const QWidget& window) {
  auto seen = std::make_shared<Sighting>();
  OnNextModal([seen, &window](QWidget* dialog) {
    auto* form = qobject_cast<TMessageForm*>(dialog);
    seen->Text = form ? form->MessageText() : dialog->windowTitle();
    seen->WindowVisible = window.isVisible();
    if (auto* ok = dialog->findChild<QPushButton*>("OK")) ok->click();
  });
  return seen;
}

// Raises the signal in the run's first file, as a logout while a run goes on. That file waits (ten
// seconds at most, so a broken stop fails instead of hanging) until the window has taken the stop, so no
// other file can have started by then.
class SignalledForm : public TForm1 {
 public:
  using TForm1::TForm1;
  int Signal = 0;
  std::atomic<int> Done{0};
  std::atomic<bool> StopSeen{false};

 protected:
  FileOutcome ProcessOneFile(const std::filesystem::path& source, const BatchOptions& options) override {
    if (Done.load() == 0) {
      ::raise(Signal);
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!StopSeen && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FileOutcome outcome = TForm1::ProcessOneFile(source, options);
    ++Done;
    return outcome;
  }
};

const QByteArray kOld = QString::fromUtf8("folderyZ=/zdjęcia/2023;/zdjęcia/2024\rsize=640\rZapUst=T\r").toUtf8();

}  // namespace

class SessionTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setApplicationDisplayName(QStringLiteral("velmora")); }

  void aCloseWritesTheSettingsFile() {
    SessionHome home;
    TEnvironment& env = home.Start();
    TForm1 form(env);
    form.show();
    ChangeSettings(form);
    auto answer = AnswerNextMessage("OK");
    QVERIFY(form.close());
    QTest::qWait(20);
    QVERIFY(!answer->Shown);
    answer->Cancel();
    const QByteArray written = BytesOrUnreadable(home.SettingsFile());
    QVERIFY2(written.contains("size=777\r") && written.contains("prefix=m_\r") && written.contains("ZapUst=T\r"),
             written.constData());
    QVERIFY(env.Shutdown());
    QCOMPARE(BytesOrUnreadable(home.SettingsFile()), written);
  }

  // The failure is told in the window, while it is still there, and the old file stays byte for byte.
  void aCloseThatCannotWriteTellsAndKeepsTheFile_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("reason");
    QTest::newRow("disk full") << int(FaultyCalls::Step::Write) << ENOSPC << QString::fromUtf8("brak miejsca na dysku");
    QTest::newRow("device error") << int(FaultyCalls::Step::Fsync) << EIO << QString::fromUtf8("błąd wejścia-wyjścia");
    QTest::newRow("read-only") << int(FaultyCalls::Step::Open) << EROFS
                               << QString::fromUtf8("system plików tylko do odczytu");
  }
  void aCloseThatCannotWriteTellsAndKeepsTheFile() {
    QFETCH(int, step);
    QFETCH(int, error);
    QFETCH(QString, reason);
    SessionHome home;
    home.Prepare();
    WriteBytes(home.SettingsFile(), kOld);
    FaultyCalls calls;
    calls.failAt = static_cast<FaultyCalls::Step>(step);
    calls.error = error;
    calls.writeBudget = 10;
    TEnvironment& env = home.Start(&calls);
    TForm1 form(env);
    form.show();
    ChangeSettings(form);
    auto seen = AnswerAndLook(form);
    form.close();
    QCOMPARE(seen->Text,
             QString::fromUtf8("Nie można zapisać pliku ustawień \"%1\": %2.").arg(home.SettingsFile(), reason));
    QVERIFY(seen->WindowVisible);
    QVERIFY(!form.isVisible());
    QCOMPARE(home.Reports, QStringList{seen->Text});  // stderr keeps its line
    QVERIFY(!env.Shutdown());
    QCOMPARE(home.Reports.size(), 1);
    QCOMPARE(BytesOrUnreadable(home.SettingsFile()), kOld);
  }

  // The real thing, as root: the settings folder on a tmpfs filled to its last byte.
  void aCloseOnAFullTmpfsTellsAndKeepsTheFile() {
    SessionHome home;
    home.Prepare();
    SmallTmpfs disk(QFile::encodeName(home.SettingsFolder()).toStdString(), 64 * 1024);
    if (!disk.Mounted()) QSKIP("needs root to mount a tmpfs");
    QByteArray old = kOld;
    for (int i = 0; i < 400; ++i) old += QString::fromUtf8("historia %1=/zdjęcia/wakacje/%1\r").arg(i).toUtf8();
    WriteBytes(home.SettingsFile(), old);
    TEnvironment& env = home.Start();
    TForm1 form(env);
    form.show();
    ChangeSettings(form);
    QVERIFY(disk.FillUp());
    auto texts = AnswerMessages({"OK"});
    form.close();
    QCOMPARE(texts->Texts,
             QStringList{QString::fromUtf8("Nie można zapisać pliku ustawień \"%1\": brak miejsca na dysku.")
                             .arg(home.SettingsFile())});
    QCOMPARE(BytesOrUnreadable(home.SettingsFile()), old);
  }

  // A pipe where the settings file should be: the window is told before it shows its defaults, and
  // the pipe is never written; the close says nothing more.
  void settingsThatCouldNotBeReadAreToldBeforeTheWindowShows() {
    SessionHome home;
    home.Prepare();
    QCOMPARE(::mkfifo(QFile::encodeName(home.SettingsFile()).constData(), 0600), 0);
    TEnvironment& env = home.Start();
    TForm1 form(env);
    auto seen = AnswerAndLook(form);
    form.WarnIfSettingsUnread();
    form.show();
    QCOMPARE(seen->Text, QString::fromUtf8("Nie można odczytać pliku ustawień \"%1\": to nie jest zwykły plik. Program "
                                           "użyje ustawień domyślnych i nie zapisze tego pliku.")
                             .arg(home.SettingsFile()));
    QVERIFY(!seen->WindowVisible);
    QCOMPARE(form.seSize->value(), 1280);
    ChangeSettings(form);
    auto answer = AnswerNextMessage("OK");
    form.close();
    QTest::qWait(20);
    QVERIFY(!answer->Shown);
    answer->Cancel();
    QVERIFY(!env.Shutdown());
    struct stat st {};
    QVERIFY(::stat(QFile::encodeName(home.SettingsFile()).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
  }

  void aReadableFileSaysNothingAtStart() {
    SessionHome home;
    home.Prepare();
    WriteBytes(home.SettingsFile(), kOld);
    TEnvironment& env = home.Start();
    TForm1 form(env);
    auto answer = AnswerNextMessage("OK");
    form.WarnIfSettingsUnread();
    QTest::qWait(20);
    QVERIFY(!answer->Shown);
    answer->Cancel();
    QCOMPARE(form.seSize->value(), 640);
  }

  // The end of the desktop session writes what a close writes, and the window stays.
  void theSessionsEndWritesTheKeysAndTheWindowStays() {
    SessionHome home;
    TEnvironment& env = home.Start();
    TForm1 form(env);
    form.show();
    ChangeSettings(form);
    form.SaveSession(true);
    QVERIFY(form.isVisible());
    const QByteArray written = BytesOrUnreadable(home.SettingsFile());
    QVERIFY2(written.contains("size=777\r") && written.contains("ZapUst=T\r"), written.constData());
    form.seSize->setValue(778);  // the logout was cancelled and the user goes on
    QVERIFY(form.close());
    QVERIFY(BytesOrUnreadable(home.SettingsFile()).contains("size=778\r"));
  }

  // SIGTERM, SIGHUP and SIGINT close the window by its normal path: the same keys are written, an
  // open dialog is closed as cancelled first.
  void aTerminationSignalClosesByTheNormalPath_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("withDialog");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGTERM over a question") << int(SIGTERM) << true;
  }
  void aTerminationSignalClosesByTheNormalPath() {
    QFETCH(int, signal);
    QFETCH(bool, withDialog);
    SessionHome home;
    TEnvironment& env = home.Start();
    TForm1 form(env);
    TQuitSignals quit;
    connect(&quit, &TQuitSignals::quitRequested, &form, &TForm1::RequestQuit);
    form.show();
    ChangeSettings(form);
    bool answer = false;
    if (withDialog) {
      OnNextModal([signal](QWidget*) { ::raise(signal); });
      answer = AskYesNo(QStringLiteral("Pytanie?"));
    } else {
      ::raise(signal);
    }
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(!answer);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    const QByteArray written = BytesOrUnreadable(home.SettingsFile());
    QVERIFY2(written.contains("size=777\r") && written.contains("prefix=m_\r") && written.contains("ZapUst=T\r"),
             written.constData());
  }

  // During a run the close becomes a stop; the window closes once the run has ended, and no dialog
  // opens on the way out, not even for a settings file that could not be written (stderr says it).
  void aTerminationSignalDuringARunStopsItThenCloses() {
    AppHome photos;
    const QString source =
        photos.PhotoFolder("zrodlo", {"sanyo_sr662.jpg", "olympus_x2.jpg", "canon_powershot_s40.jpg"});
    const QString out = photos.PhotoFolder("wynik", {});
    SessionHome home;
    FaultyCalls readOnly;
    readOnly.failAt = FaultyCalls::Step::Open;
    readOnly.error = EROFS;
    TEnvironment& env = home.Start(&readOnly);
    SignalledForm form(env);
    form.Signal = SIGTERM;
    TQuitSignals quit;
    connect(&quit, &TQuitSignals::quitRequested, &form, &TForm1::RequestQuit);
    form.show();
    ChooseSourceFolder(form, source);
    form.eFoldDo->lineEdit()->setText(out);
    form.cbSize->setChecked(true);
    form.seSize->setValue(50);
    form.cbZapUst->SetChecked(true);
    // One worker: the file after the first starts only once the first is done.
    env.AppProps().Set("watki", "1");
    QTimer watch;
    bool dialog = false;
    connect(&watch, &QTimer::timeout, &form, [&form, &dialog] {
      if (form.StopFlag()) form.StopSeen = true;
      dialog = dialog || QApplication::activeModalWidget() != nullptr;
    });
    watch.start(1);
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(form.StopSeen);
    QCOMPARE(form.Done.load(), 1);
    QCOMPARE(FilesIn(out).size(), 1);
    QVERIFY(!form.Running());
    QVERIFY(!dialog);
    QVERIFY(home.Reports.size() == 1 && home.Reports[0].endsWith(QString::fromUtf8("tylko do odczytu.")));
  }
};

VELMORA_QTEST_MAIN(SessionTest)
#include "session_test.moc"
