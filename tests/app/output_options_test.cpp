// "Opcje zapisu": the flat button in the settings panel, the options stored as they change, a preset
// saved and loaded with the window's size, the line naming what differs, and the run writing with them.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "app/form1.h"
#include "app_fixture.h"
#include "dialogs/application.h"
#include "dialogs/listdialog.h"
#include "dialogs/qmtborderpanel.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

QPushButton* Button(QWidget* dialog, const QString& text) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

}  // namespace

class OutputOptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetApplicationIdentity(); }

  void dialogStoresAtOnceKeepsPresetsAndTheRunUsesIt() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"nikon_e950.jpg"});
    const QString out = home.PhotoFolder("wynik", {});
    auto form = std::make_unique<TForm1>(home.Env());
    form->show();
    // In the settings panel, clear of the design's controls.
    QCOMPARE(form->sbOpcje->parentWidget(), static_cast<QWidget*>(form->QMTBorderPanel2));
    QVERIFY(QRect(QPoint(0, 0), form->QMTBorderPanel2->size()).contains(form->sbOpcje->geometry()));
    for (QWidget* other : form->QMTBorderPanel2->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (other != form->sbOpcje && other->isVisible())
        QVERIFY2(!other->geometry().intersects(form->sbOpcje->geometry()), other->metaObject()->className());
    QCOMPARE(form->lOpcje->text(), QString());
    form->seSize->setValue(800);

    bool checked = false;
    OnNextModal([&](QWidget* dialog) {
      QCOMPARE(dialog->windowTitle(), QString("Opcje zapisu"));
      dialog->findChild<QSpinBox*>("jakosc")->setValue(82);
      dialog->findChild<QCheckBox*>("limit")->setChecked(true);
      dialog->findChild<QSpinBox*>("maxKB")->setValue(60);
      dialog->findChild<QComboBox*>("wyostrzanie")->setCurrentIndex(1);
      dialog->findChild<QCheckBox*>("zachowajDate")->setChecked(true);
      dialog->findChild<QComboBox*>("format")->setCurrentIndex(2);
      QCOMPARE(home.Props().Get("format"), QString("avif"));
      QVERIFY(form->lOpcje->text().startsWith("format AVIF, "));
      QCOMPARE(form->lExt->text(), QString(".avif"));
      dialog->findChild<QComboBox*>("format")->setCurrentIndex(0);
      QCOMPARE(home.Props().Get("jakosc"), QString("82"));
      QCOMPARE(home.Props().Get("max KB"), QString("60"));
      QCOMPARE(home.Props().Get(QString::fromUtf8("wyostrzanie")), QString::fromUtf8("lekkie"));
      QCOMPARE(form->lOpcje->text(), QString::fromUtf8("jakość 82, do 60 KB, wyostrzanie lekkie, data źródła"));
      OnNextModal(
          [](QWidget* ask) {
            ask->findChild<QLineEdit*>("Edit")->setText("Forum 60 KB");
            Button(ask, "OK")->click();
          },
          dialog);
      Button(dialog, "Zapisz jako ...")->click();
      QCOMPARE(home.Props().Get(QString::fromUtf8("preset Forum 60 KB: size")), QString("800"));
      // Changed after saving, then the preset brings back its options and the window's size.
      dialog->findChild<QSpinBox*>("jakosc")->setValue(50);
      form->seSize->setValue(300);
      QCOMPARE(dialog->findChild<QComboBox*>("presety")->currentText(), QString("Forum 60 KB"));
      Button(dialog, "Wczytaj")->click();
      QCOMPARE(dialog->findChild<QSpinBox*>("jakosc")->value(), 82);
      QCOMPARE(home.Props().Get("jakosc"), QString("82"));
      QCOMPARE(form->seSize->value(), 800);
      checked = true;
      Button(dialog, "OK")->click();
    });
    QTest::mouseClick(form->sbOpcje, Qt::LeftButton);
    QVERIFY(checked);

    // Restored at start.
    form = std::make_unique<TForm1>(home.Env());
    form->show();
    QCOMPARE(form->lOpcje->text(), QString::fromUtf8("jakość 82, do 60 KB, wyostrzanie lekkie, data źródła"));

    namespace fs = std::filesystem;
    const fs::path source = (photos + "/nikon_e950.jpg").toStdString();
    fs::last_write_time(source, fs::last_write_time(source) - std::chrono::hours(24 * 30));
    ChooseSourceFolder(*form, photos);
    form->eFoldDo->lineEdit()->setText(out);
    form->cbSize->setChecked(true);
    form->seSize->setValue(1600);
    form->EPref->setText("_");
    QTest::mouseClick(form->sbWyk, Qt::LeftButton);
    const fs::path written = (out + "/_nikon_e950.jpg").toStdString();
    QVERIFY(fs::exists(written));
    QVERIFY(fs::file_size(written) <= 60000);
    QVERIFY(fs::last_write_time(written) == fs::last_write_time(source));
  }

  // The names group: a template, its sample for the selected file, and "Podgląd nazw" with the plan.
  void templateNamesShowTheSelectedFilesNameAndThePlan() {
    AppHome home;
    const QString photos = home.PhotoFolder("zrodlo", {"nikon_e950.jpg"});
    auto form = std::make_unique<TForm1>(home.Env());
    form->show();
    for (QWidget* other : form->QMTBorderPanel2->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (other != form->sbNazwy && other->isVisible())
        QVERIFY2(!other->geometry().intersects(form->sbNazwy->geometry()), other->metaObject()->className());
    ChooseSourceFolder(*form, photos);
    form->eFoldDo->lineEdit()->setText(home.PhotoFolder("wynik", {}));
    form->cbSize->setChecked(true);
    form->seSize->setValue(1280);
    form->CBPow->setChecked(false);
    form->CLB->setCurrentRow(0);
    OnNextModal([&](QWidget* dialog) {
      dialog->findChild<QCheckBox*>("nazwaZSzablonu")->setChecked(true);
      dialog->findChild<QLineEdit*>("szablonNazwy")->setText("wesele_{nr:3}_{szer}");
      dialog->findChild<QSpinBox*>("odNumeru")->setValue(5);
      dialog->findChild<QComboBox*>("istniejace")->setCurrentIndex(2);
      Button(dialog, "OK")->click();
    });
    QTest::mouseClick(form->sbOpcje, Qt::LeftButton);
    QCOMPARE(home.Props().Get("szablon nazwy"), QString("wesele_{nr:3}_{szer}"));
    QCOMPARE(home.Props().Get("istniejace"), QString("numer"));
    // Shortened in the middle to the design's room, whole in the tooltip.
    QCOMPARE(form->lPref->toolTip(), QString("wesele_005_800.jpg"));
    QVERIFY(form->lPref->geometry().right() < form->cbUsunGPS->x());
    QStringList shown;
    OnNextModal([&](QWidget* dialog) {
      shown = qobject_cast<TFormRapDlg*>(dialog)->MemoLines();
      dialog->close();
    });
    QTest::mouseClick(form->sbNazwy, Qt::LeftButton);
    QCOMPARE(shown, QStringList({"nikon_e950.jpg -> wesele_005_800.jpg 800x600 nowy"}));
    // {szer} follows the size rule.
    form->seSize->setValue(400);
    QCOMPARE(form->lPref->toolTip(), QString("wesele_005_400.jpg"));
  }
};

VELMORA_QTEST_MAIN(OutputOptionsTest)
#include "output_options_test.moc"
