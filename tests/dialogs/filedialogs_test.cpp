#include "dialogs/filedialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "settings/environment.h"
#include "support/qtest_main.h"

namespace velmora {

namespace {

// Runs check on the picker once it is shown, then closes it: accepted or rejected.
void WhenPickerOpens(std::function<void(QFileDialog&)> check, bool accept) {
  QTimer::singleShot(0, [check = std::move(check), accept] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      QFAIL("no modal file picker is open");
      return;
    }
    check(*dialog);
    // QFileDialog hides accept(); through QDialog the override still runs, as for the OK button.
    QDialog& base = *dialog;
    if (accept)
      base.accept();
    else
      base.reject();
  });
}

QString Canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

}  // namespace

class FileDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  // A fresh home for every test, so no test sees another's settings.
  void init() {
    home_ = std::make_unique<QTemporaryDir>();
    QTemporaryDir& tmp = *home_;
    QVERIFY(tmp.isValid());
    QVERIFY(QDir(tmp.path()).mkpath("bin"));
    QVERIFY(QDir(tmp.path()).mkpath("photos/2024"));
    TEnvironmentInputs in;
    in.ExePath = tmp.filePath("bin/velmora");
    in.ConfigRoot = tmp.filePath("config");
    in.Report = [](const QString&) {};
    env_ = std::make_unique<TEnvironment>(std::move(in));
  }
  void cleanup() {
    env_.reset();
    home_.reset();
  }

  void chooseFileOpensInTheStartFilesFolder() {
    const QString pic = Path("photos/logo.bmp");
    QFile f(pic);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QString title;
    WhenPickerOpens(
        [&](QFileDialog& d) {
          title = d.windowTitle();
          QCOMPARE(Canonical(d.directory().path()), Canonical(Path("photos")));
        },
        true);
    const QString chosen = ChooseFile("bitmapa (*.bmp)|*.bmp", pic, QString("Wskaż plik"));
    QCOMPARE(title, QString("Wskaż plik"));
    QCOMPARE(Canonical(chosen), Canonical(pic));
  }

  void chooseFileCompletesATypedNameWithoutExtension() {
    WhenPickerOpens([](QFileDialog&) {}, true);
    const QString chosen = ChooseFile("bitmapa (*.bmp)|*.bmp", Path("photos/podpis"), "Wskaż plik");
    QCOMPARE(QFileInfo(chosen).fileName(), QString("podpis.bmp"));
    QCOMPARE(Canonical(QFileInfo(chosen).path()), Canonical(Path("photos")));
  }

  void chooseFileCancelledGivesNothing() {
    WhenPickerOpens([](QFileDialog&) {}, false);
    QCOMPARE(ChooseFile("bitmapa (*.bmp)|*.bmp", home_->path(), "Wskaż plik"), QString());
  }

  void chooseFolderStartsInTheStartFolderAndRemembersIt() {
    const QString start = Path("photos/2024");
    WhenPickerOpens([&](QFileDialog& d) { QCOMPARE(Canonical(d.directory().path()), Canonical(start)); }, true);
    const QString chosen = ChooseFolder(start, *env_);
    QCOMPARE(Canonical(chosen), Canonical(start));
    QVERIFY(!chosen.endsWith('/'));
    QCOMPARE(env_->LastChosenFolder(), chosen);
    QCOMPARE(env_->AppProps().Get("ostWskazanyFolder"), chosen);

    // The same folder again writes nothing to the settings.
    env_->AppProps().Clear();
    WhenPickerOpens([](QFileDialog&) {}, true);
    QCOMPARE(ChooseFolder(chosen, *env_), chosen);
    QCOMPARE(env_->AppProps().Count(), 0);
  }

  void chooseFolderWithMissingStartPreselectsNothingAndCancelKeepsAll() {
    env_->LastChosenFolder() = "/before";
    const QString gone = Path("photos/gone");
    WhenPickerOpens([&](QFileDialog& d) { QVERIFY(Canonical(d.directory().path()) != Canonical(gone)); }, false);
    QCOMPARE(ChooseFolder(gone, *env_), QString());
    QCOMPARE(env_->LastChosenFolder(), QString("/before"));
    QCOMPARE(env_->AppProps().Count(), 0);
  }

 private:
  QString Path(const QString& rel) const { return home_->filePath(rel); }

  std::unique_ptr<QTemporaryDir> home_;
  std::unique_ptr<TEnvironment> env_;
};

}  // namespace velmora

VELMORA_QTEST_MAIN(velmora::FileDialogsTest)
#include "filedialogs_test.moc"
