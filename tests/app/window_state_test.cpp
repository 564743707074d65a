// What the window shows matches its state: the counter matches the list after every command that empties
// or shortens it, the controls a run locks look locked (their coloured captions grey), and a photo or
// folder given at start opens as the source.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "app/form1.h"
#include "app_fixture.h"
#include "dialogs/application.h"
#include "dialogs/dialogstate.h"
#include "dialogs/listdialog.h"
#include "imaging/pipeline.h"
#include "settings/eabort.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const QStringList kThreeCopies = {"olympus_x2.jpg=a.jpg", "olympus_x2.jpg=b.jpg", "olympus_x2.jpg=c.jpg"};

// Pixels of a strong red or maroon, the coloured captions' colours, in what the widget paints.
int ColouredPixels(QWidget* widget) {
  const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() >= 0x70 && c.green() < 0x30 && c.blue() < 0x30) ++n;
    }
  }
  return n;
}

}  // namespace

class WindowStateTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    SetApplicationIdentity();
    DialogState().SnapToDefaultButton = false;
  }

  void counterMatchesTheList_data() {
    QTest::addColumn<int>("step");
    QTest::newRow("source typed in") << 0;
    QTest::newRow("Usuń z listy") << 1;
    QTest::newRow("Edytuj listę without the folder") << 2;
    QTest::newRow("Wyczyść") << 3;
    QTest::newRow("--- cancelled") << 4;
  }

  void counterMatchesTheList() {
    QFETCH(int, step);
    AppHome home;
    const QString photos = home.PhotoFolder("zdjecia", kThreeCopies);
    TForm1 form(home.Env());
    form.show();
    ChooseSourceFolder(form, photos);
    form.CLB->item(1)->setCheckState(Qt::Unchecked);
    QCOMPARE(form.lPl->text(), QString("plików: 2 z 3"));

    switch (step) {
      case 0:
        QTest::keyClicks(form.eFoldZ->lineEdit(), "x");
        break;
      case 1:
        form.Usuzlisty1->trigger();
        break;
      case 2:
        OnNextModal([](QWidget* d) {
          d->findChild<QPlainTextEdit*>()->setPlainText("/gdzie/indziej\n");
          d->findChild<QPushButton*>("OK")->click();
        });
        form.Edytujlist1->trigger();
        break;
      case 3:
        form.Wyczy1->trigger();
        break;
      default:
        OnNextModal([](QWidget* d) { d->close(); });
        QTest::mouseClick(form.sbOpenZ, Qt::LeftButton);
    }
    QCOMPARE(form.CLB->count(), 0);
    QCOMPARE(form.lPl->text(), QString("plików: 0 z 0"));
  }

  void lockedControlsLookLocked() {
    AppHome home;
    const QString photos = home.PhotoFolder("zdjecia", kThreeCopies);
    TForm1 form(home.Env());
    form.show();
    ChooseSourceFolder(form, photos);
    QTest::keyClicks(form.eFoldDo->lineEdit(), home.Path("wynik"));
    QVERIFY(QDir().mkpath(home.Path("wynik")));
    form.cbSize->setChecked(true);
    form.seSize->setValue(50);
    form.EPref->setText("_");

    QWidget* const coloured[] = {form.rbPref, form.rbSuf, form.Label2, form.cbPodp, form.cbSize};
    for (QWidget* w : coloured) QVERIFY2(ColouredPixels(w) > 0, qPrintable(w->metaObject()->className()));
    QList<int> duringRun;
    // Looked at on the window's thread while the run goes on: when its first file is done.
    connect(&form, &TForm1::FileCompleted, &form, [&] {
      if (!duringRun.isEmpty() || !form.Running()) return;
      for (QWidget* w : coloured) duringRun << (w->isEnabled() ? -1 : ColouredPixels(w));
    });
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QCOMPARE(duringRun, QList<int>(std::size(coloured), 0));
    // And back in colour after the run.
    for (QWidget* w : coloured) QVERIFY(ColouredPixels(w) > 0);
  }

  void givenPhotoOpensItsFolder() {
    AppHome home;
    const QString photos = home.PhotoFolder("Zdjęcia/Wakacje", kThreeCopies);
    TForm1 form(home.Env());
    form.OpenGivenPath(photos + "/b.jpg");
    QCOMPARE(form.eFoldZ->currentText(), photos);
    QVERIFY(TForm1::SelectedEntry(*form.eFoldZ) >= 0);
    QCOMPARE(Names(form.CLB), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
    QCOMPARE(form.CLB->currentRow(), 1);
    QCOMPARE(form.LastPreviewPath(), photos + "/b.jpg");
    QVERIFY(!form.Image1->Picture().isNull());

    form.OpenGivenPath(home.Path("Zdjęcia"));
    QCOMPARE(form.eFoldZ->currentText(), home.Path("Zdjęcia"));
    QCOMPARE(form.CLB->count(), 0);
    QCOMPARE(form.eFoldZ->count(), 2);

    // A path that is not there is told, and nothing changes.
    auto answer = AnswerNextMessage("OK");
    QVERIFY_THROWS_EXCEPTION(EAbort, form.OpenGivenPath(home.Path("brak.jpg")));
    QCOMPARE(answer->Text, "\"" + home.Path("brak.jpg") + "\" nie istnieje.");
    QVERIFY(QFile::link("/dev/zero", home.Path("zero.jpg")));
    answer = AnswerNextMessage("OK");
    QVERIFY_THROWS_EXCEPTION(EAbort, form.OpenGivenPath(home.Path("zero.jpg")));
    QCOMPARE(answer->Text, "\"" + home.Path("zero.jpg") + "\" nie jest zwykłym plikiem.");
    QCOMPARE(form.eFoldZ->currentText(), home.Path("Zdjęcia"));
  }
};

VELMORA_QTEST_MAIN(WindowStateTest)
#include "window_state_test.moc"
