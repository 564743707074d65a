// The caption menu of the window: each command stores its keys at once and redraws the preview; the
// preview itself; a graphic that cannot be read.

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "app/form1.h"
#include "app_fixture.h"
#include "dialogs/application.h"
#include "dialogs/qmtpropscb.h"
#include "imaging/caption.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

QString Get(AppHome& home, const char* key) { return home.Props().Get(QString::fromUtf8(key)); }

// Types the path into the open file picker and accepts it.
void PickFileNext(const QString& path) {
  OnNextModal([path](QWidget* dialog) {
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
    qobject_cast<QDialog*>(dialog)->accept();
  });
}

QString WriteBitmap(const QString& path) {
  QImage image(12, 10, QImage::Format_RGB32);
  image.fill(Qt::white);
  image.setPixel(5, 5, qRgb(255, 0, 0));
  image.save(path, "BMP");
  return path;
}

}  // namespace

class CaptionMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetApplicationIdentity(); }

  void captionTextThroughTheInputDialog() {
    AppHome home;
    TForm1 form(home.Env());
    const QImage before = form.iPodp->Picture();
    QString prompt;
    int maxLength = 0;
    OnNextModal([&](QWidget* dialog) {
      prompt = dialog->findChild<QLabel*>("Prompt")->text();
      auto* edit = dialog->findChild<QLineEdit*>("Edit");
      QCOMPARE(edit->text(), QString("Velmora"));
      edit->clear();
      QTest::keyClicks(edit, QString(300, u'x'));
      maxLength = static_cast<int>(edit->text().size());
      edit->setText("Las");
      dialog->findChild<QPushButton*>("OK")->click();
    });
    form.Podpis1->trigger();
    QCOMPARE(prompt, QString("Podpis:"));
    QCOMPARE(maxLength, 255);
    QCOMPARE(Get(home, "podpis"), QString("Las"));
    QVERIFY(form.iPodp->Picture() != before);

    // Cancelled: the empty answer changes nothing.
    OnNextModal([](QWidget* dialog) { dialog->findChild<QPushButton*>("Anuluj")->click(); });
    form.Podpis1->trigger();
    QCOMPARE(Get(home, "podpis"), QString("Las"));
  }

  void modeMarksStoreTheirKeys_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("key");
    QTest::newRow("Tło negatywowe") << "Tlonegatywowe1"
                                    << "TloNegatywowe";
    QTest::newRow("Bez tła") << "Bezta1"
                             << "podpBezTla";
    QTest::newRow("Czcionki przezroczyste") << "Przezroczyste1"
                                            << "podpPrzezr";
    QTest::newRow("Czcionki negatywowe") << "Czcionkinegatywowe1"
                                         << "CzcionkiNegatywowe";
  }
  void modeMarksStoreTheirKeys() {
    QFETCH(QString, item);
    QFETCH(QString, key);
    AppHome home;
    TForm1 form(home.Env());
    QAction* action = item == "Tlonegatywowe1"   ? form.Tlonegatywowe1
                      : item == "Bezta1"         ? form.Bezta1
                      : item == "Przezroczyste1" ? form.Przezroczyste1
                                                 : form.Czcionkinegatywowe1;
    const QImage plain = form.iPodp->Picture();
    action->trigger();
    QVERIFY(action->isChecked());
    QCOMPARE(home.Props().Get(key), QString("T"));
    QVERIFY(form.iPodp->Picture() != plain);
    action->trigger();
    QCOMPARE(home.Props().Get(key), QString("N"));
    QCOMPARE(form.iPodp->Picture(), plain);
  }

  void fontDialogStoresFontAndColour() {
    AppHome home;
    TForm1 form(home.Env());
    const QImage before = form.iPodp->Picture();
    // It opens on the family the caption is drawn in; OK without a change keeps the stored name.
    QString offered;
    OnNextModal([&offered](QWidget* dialog) {
      offered = qobject_cast<QFontDialog*>(dialog)->currentFont().family();
      qobject_cast<QDialog*>(dialog)->accept();
    });
    form.Czcionka1->trigger();
    QCOMPARE(offered, QFontInfo(QFont("Times New Roman")).family());
    QCOMPARE(Get(home, "font"), QString("Times New Roman"));
    OnNextModal([](QWidget* dialog) {
      auto* fd = qobject_cast<QFontDialog*>(dialog);
      QVERIFY(fd->currentFont().italic());
      QFont font("DejaVu Sans");
      font.setPointSize(12);
      font.setBold(true);
      font.setUnderline(true);
      fd->setCurrentFont(font);
      OnNextModal(
          [fd](QWidget* colours) {
            qobject_cast<QColorDialog*>(colours)->setCurrentColor(QColor(255, 0, 0));
            qobject_cast<QDialog*>(colours)->accept();
            QTimer::singleShot(0, fd, [fd] { fd->accept(); });
          },
          fd);
      fd->findChild<QPushButton*>("FontColour")->click();
    });
    form.Czcionka1->trigger();
    QCOMPARE(Get(home, "font"), QString("DejaVu Sans"));
    QCOMPARE(Get(home, "font size"), QString("12"));
    QCOMPARE(Get(home, "font color"), QString("255"));
    QCOMPARE(Get(home, "font italic"), QString("N"));
    QCOMPARE(Get(home, "font bold"), QString("T"));
    QCOMPARE(Get(home, "font underline"), QString("T"));
    QCOMPARE(Get(home, "font strikeOut"), QString("N"));
    QVERIFY(form.iPodp->Picture() != before);

    OnNextModal([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    form.Czcionka1->trigger();
    QCOMPARE(Get(home, "font size"), QString("12"));
  }

  void colourDialogStoresTheBackgroundColour() {
    AppHome home;
    TForm1 form(home.Env());
    QColor offered;
    OnNextModal([&](QWidget* dialog) {
      auto* cd = qobject_cast<QColorDialog*>(dialog);
      offered = cd->currentColor();
      cd->setCurrentColor(QColor(0, 0, 255));
      cd->accept();
    });
    form.Kolotta1->trigger();
    QCOMPARE(offered, QColor(0, 128, 0));
    QCOMPARE(Get(home, "kolor tła podpisu"), QString("16711680"));
  }

  void addedGraphicOnlyAsABitmap() {
    AppHome home;
    TForm1 form(home.Env());
    const QString bmp = WriteBitmap(home.Path("logo.bmp"));
    const QImage plain = form.iPodp->Picture();
    PickFileNext(bmp);
    form.Dodajgrafik1->trigger();
    QVERIFY(form.Dodajgrafik1->isChecked());
    QCOMPARE(Get(home, "dodana grafika"), bmp);
    QVERIFY(form.iPodp->Picture() != plain);

    form.Dodajgrafik1->trigger();
    QVERIFY(!form.Dodajgrafik1->isChecked());
    QCOMPARE(Get(home, "dodana grafika"), QString());
    QCOMPARE(form.iPodp->Picture(), plain);

    // Not a .bmp name: nothing is kept and the mark goes off.
    QImage(4, 4, QImage::Format_RGB32).save(home.Path("logo.png"));
    PickFileNext(home.Path("logo.png"));
    form.Dodajgrafik1->trigger();
    QVERIFY(!form.Dodajgrafik1->isChecked());
    QCOMPARE(Get(home, "dodana grafika"), QString());
  }

  void aGraphicThatCannotBeReadIsToldInThePreviewAndEndsTheRun() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"sanyo_sr662.jpg"});
    QFile bad(home.Path("zly.bmp"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a bitmap");
    bad.close();
    home.Props().Set("dodana grafika", home.Path("zly.bmp"));
    // At start-up the preview tells it, and the window still opens.
    auto answer = AnswerNextMessage("OK");
    TForm1 form(home.Env());
    QVERIFY(answer->Shown);
    QVERIFY2(answer->Text.contains("zly.bmp"), qPrintable(answer->Text));
    QVERIFY(form.Dodajgrafik1->isChecked());

    form.show();
    ChooseSourceFolder(form, photos);
    form.eFoldDo->setEditText(home.Path("wynik"));
    QDir().mkdir(home.Path("wynik"));
    form.cbPodp->setChecked(true);
    answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.sbWyk, Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY2(answer->Text.startsWith("sanyo_sr662.jpg: "), qPrintable(answer->Text));
    QVERIFY(FilesIn(home.Path("wynik")).isEmpty());
  }

  void aTallCaptionStartsOnThePreviewsTopRow() {
    AppHome home;
    home.Props().Set("font size", "40");
    TForm1 form(home.Env());
    const QImage preview = form.iPodp->Picture();
    const QImage& clean = form.PreviewBackground();
    QVERIFY(form.CaptionMask()->Mask().Height >= 35);
    // The mask's top row lands on row 0 from column 9 on: the background box there.
    QVERIFY(preview.pixel(9, 0) != clean.pixel(9, 0));
    QVERIFY(preview.pixel(8, 0) == clean.pixel(8, 0));
  }
};

VELMORA_QTEST_MAIN(CaptionMenuTest)
#include "caption_menu_test.moc"
