// The main window without a run: start-up and close with the settings store, the file list, selection,
// the folder histories and commands, the name sample and the preview.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "app/form1.h"
#include "app_fixture.h"
#include "dialogs/application.h"
#include "dialogs/listdialog.h"
#include "dialogs/qmtgauge.h"
#include "dialogs/qmtpropscb.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const QColor kPaleYellow(255, 255, 125);

QString StoredValue(AppHome& home, const char* key) { return home.Props().Get(QString::fromUtf8(key)); }
void Set(AppHome& home, const char* key, const QString& value) { home.Props().Set(QString::fromUtf8(key), value); }

// Five copies of one small photo under names that the key selection can tell apart.
const QStringList kFiveFiles = {"olympus_x2.jpg=IMG_2015_01.jpg", "olympus_x2.jpg=IMG_2015_02.jpg",
                                "olympus_x2.jpg=IMG_2016_01.jpg", "olympus_x2.jpg=IMG_2016_02.jpg",
                                "olympus_x2.jpg=IMG_2016_03.jpg"};

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetApplicationIdentity(); }

  void firstStartWithAnEmptyStore() {
    AppHome home;
    TForm1 form(home.Env());
    QCOMPARE(form.size(), QSize(518, 591));
    // Enlarged, the list and the preview share the room; the rest keeps its place by its neighbours.
    form.show();
    const QRect list = form.CLB->geometry(), preview = form.Panel1->geometry(), run = form.sbWyk->geometry();
    form.resize(718, 691);
    QCOMPARE(form.CLB->geometry(), list.adjusted(0, 0, 100, 100));
    QCOMPARE(form.Panel1->geometry(), preview.adjusted(100, 0, 200, 100));
    QCOMPARE(form.Image1->size(), form.Panel1->size());
    QCOMPARE(form.sbWyk->geometry(), run.translated(0, 100));
    QCOMPARE(form.sbOpenZ->x(), 408 + 200);
    form.resize(518, 591);
    QCOMPARE(form.CLB->geometry(), list);
    QCOMPARE(form.windowTitle(), QString("Velmora - skalowanie i podpisywanie plików graficznych"));

    QVERIFY(form.rbPref->isChecked());
    QCOMPARE(form.EPref->text(), QString());
    QVERIFY(!form.cbSize->isChecked());
    QVERIFY(!form.cbPodp->isChecked());
    QVERIFY(!form.cbEXIF->isChecked());
    QVERIFY(!form.cbZapUst->Checked());
    QVERIFY(!form.CBPow->isChecked());
    QVERIFY(!form.cbPomijaj->isChecked());
    QCOMPARE(form.cbPomijaj->text(), QString("pomijaj błędne pliki"));
    QCOMPARE(form.seSize->value(), 1280);
    QCOMPARE(form.eFoldZ->count(), 0);
    QCOMPARE(form.CLB->count(), 0);
    QVERIFY(form.StopFlag());
    QVERIFY(form.Gauge1->isHidden());
    QVERIFY(form.sbStop->isHidden());
    QVERIFY(!form.Bezta1->isChecked());
    QVERIFY(!form.Dodajgrafik1->isChecked());
    // The caption keys were written at start-up.
    const std::pair<const char*, const char*> caption[] = {
        {"podpis", "Velmora"},   {"font", "Times New Roman"}, {"font size", "18"},
        {"font color", "65535"}, {"font italic", "T"},        {"font bold", "N"},
        {"font underline", "N"}, {"font strikeOut", "N"},     {"kolor tła podpisu", "32768"},
    };
    for (const auto& [key, value] : caption) QCOMPARE(StoredValue(home, key), QString(value));
    // The preview shows the caption on the stock picture.
    QCOMPARE(form.iPodp->Picture().size(), QSize(133, 37));
    QVERIFY(form.iPodp->Picture() != form.PreviewBackground());
  }

  void startFromAStoreAndCloseWritesTheKeys_data() {
    QTest::addColumn<bool>("remember");
    QTest::newRow("remember box ticked") << true;
    QTest::newRow("remember box unticked") << false;
  }
  void startFromAStoreAndCloseWritesTheKeys() {
    QFETCH(bool, remember);
    AppHome home;
    const QString photos = home.PhotoFolder("Zdjęcia", kFiveFiles);
    Set(home, "sufiks", "T");
    Set(home, "prefix", "_m");
    Set(home, "folderyDo", " /srv/www/b ;\t/srv/www/A;; ;/srv/www/c");
    Set(home, "folderDo", "/SRV/WWW/a");
    Set(home, "folderyZ", photos);
    Set(home, "folderZ", photos);
    Set(home, "podpisz", "T");
    Set(home, "zmień rozmiar", "T");
    Set(home, "size", "12x");
    Set(home, "EXIF", "t");  // only "T" is yes
    Set(home, "pomijaj bledne", "T");
    Set(home, "klucz selekcji plików", "2016");
    Set(home, "ZapUst", remember ? "yes" : "N");
    Set(home, "okno", "30,40,600,650");

    TForm1 form(home.Env());
    QCOMPARE(QRect(form.pos(), form.size()), QRect(30, 40, 600, 650));
    QVERIFY(form.rbSuf->isChecked());
    QCOMPARE(form.EPref->text(), QString("_m"));
    QCOMPARE(TForm1::HistoryOf(*form.eFoldDo), QStringList({"/srv/www/A", "/srv/www/b", "/srv/www/c"}));
    QCOMPARE(form.eFoldDo->currentText(), QString("/srv/www/A"));
    QCOMPARE(form.eFoldZ->currentText(), photos);
    QVERIFY(form.cbPodp->isChecked());
    QVERIFY(form.cbSize->isChecked());
    QCOMPARE(form.seSize->value(), 1280);
    QVERIFY(!form.cbEXIF->isChecked());
    QVERIFY(form.cbPomijaj->isChecked());
    QCOMPARE(form.cbZapUst->Checked(), remember);
    // The stored key selected the 2016 files.
    QStringList ticked = Ticked(form.CLB);
    ticked.sort();
    QCOMPARE(ticked, QStringList({"IMG_2016_01.jpg", "IMG_2016_02.jpg", "IMG_2016_03.jpg"}));
    QCOMPARE(form.lPl->text(), QString("plików: 3 z 5"));

    QTest::keyClicks(form.EPref, "x");
    form.seSize->setValue(800);
    form.cbPomijaj->setChecked(false);
    form.show();
    form.setGeometry(50, 60, 700, 620);
    QVERIFY(form.close());
    QCOMPARE(StoredValue(home, "ZapUst"), QString(remember ? "T" : "N"));
    QCOMPARE(StoredValue(home, "okno"),
             QString(remember ? "%1,%2,700,620" : "30,40,600,650").arg(form.x()).arg(form.y()));
    if (remember) {
      QCOMPARE(StoredValue(home, "prefix"), QString("_mx"));
      QCOMPARE(StoredValue(home, "size"), QString("800"));
      QCOMPARE(StoredValue(home, "folderyDo"), QString("/srv/www/A;/srv/www/b;/srv/www/c"));
      QCOMPARE(StoredValue(home, "folderDo"), QString("/srv/www/A"));
      QCOMPARE(StoredValue(home, "folderZ"), photos);
      QCOMPARE(StoredValue(home, "EXIF"), QString("N"));
      QCOMPARE(StoredValue(home, "pomijaj bledne"), QString("N"));
      QCOMPARE(StoredValue(home, "zmień rozmiar"), QString("T"));
      QCOMPARE(StoredValue(home, "klucz selekcji plików"), QString("2016"));
    } else {
      QCOMPARE(StoredValue(home, "prefix"), QString("_m"));
      QCOMPARE(StoredValue(home, "size"), QString("12x"));
      QCOMPARE(StoredValue(home, "EXIF"), QString("t"));
      QCOMPARE(StoredValue(home, "pomijaj bledne"), QString("T"));
    }
  }

  void aDeletedSourceFolderBecomesItsNearestParent_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("two levels gone") << "@/a/gone/deeper"
                                     << "@/a";
    QTest::newRow("relative text names nothing") << "nowhere/gone"
                                                 << "";
    QTest::newRow("stops at the root") << "/velmora-missing-folder"
                                       << "/";
  }
  void aDeletedSourceFolderBecomesItsNearestParent() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    AppHome home;
    home.PhotoFolder("a", {"olympus_x2.jpg"});
    stored.replace("@", home.Path(""));
    shown.replace("@", home.Path(""));
    stored.replace("//", "/");
    shown.replace("//", "/");
    Set(home, "folderyZ", stored);
    Set(home, "folderZ", stored);
    TForm1 form(home.Env());
    QCOMPARE(form.eFoldZ->currentText(), shown);
    if (shown == home.Path("a")) QCOMPARE(Names(form.CLB), QStringList({"olympus_x2.jpg"}));
  }

  void listsJpegFilesTickedWithCounterColoursAndHint() {
    AppHome home;
    const QString folder =
        home.PhotoFolder("Wakacje2015", {"olympus_x2.jpg=a.jpg", "olympus_x2.jpg=b.JPEG", "olympus_x2.jpg=c.txt",
                                         "../formats/photo-heic.heic=d.HEIC", "../formats/photo-png.png=e.png"});
    TForm1 form(home.Env());
    ChooseSourceFolder(form, folder);
    QCOMPARE(Names(form.CLB), QStringList({"a.jpg", "b.JPEG", "d.HEIC", "e.png"}));
    QCOMPARE(Ticked(form.CLB), Names(form.CLB));
    QCOMPARE(form.lPl->text(), QString("plików: 4 z 4"));
    QCOMPARE(form.eFoldZ->toolTip(), QString("Wakacje2015"));
    QVERIFY(form.eFoldZ->palette().color(QPalette::Base) != kPaleYellow);

    // Same destination and an empty affix: both fields pale yellow and "_" stored for the next start.
    form.eFoldDo->addItem(folder);
    ChooseEntry(form.eFoldDo, 0);
    QCOMPARE(form.eFoldZ->palette().color(QPalette::Base), kPaleYellow);
    QCOMPARE(form.eFoldDo->palette().color(QPalette::Base), kPaleYellow);
    QCOMPARE(StoredValue(home, "prefix"), QString("_"));
    QCOMPARE(form.EPref->text(), QString());

    // Typing a path by hand empties the list until a history entry is chosen.
    form.eFoldZ->lineEdit()->end(false);
    QTest::keyClicks(form.eFoldZ->lineEdit(), "x");
    QCOMPARE(TForm1::SelectedEntry(*form.eFoldZ), -1);
    QCOMPARE(form.CLB->count(), 0);
    ChooseEntry(form.eFoldZ, 0);
    QCOMPARE(form.CLB->count(), 4);
  }

  // "z podfolderami", stored at once and the list filled again: the tree's pictures by their paths
  // below the source, previewed from there; a destination inside the tree leaves the list at once.
  void listsTheTreeByRelativePaths() {
    AppHome home;
    home.PhotoFolder("t/2026/wesele", {});
    const QString folder = home.PhotoFolder("t", {"olympus_x2.jpg=b.jpg", "olympus_x2.jpg=2026/wesele/a.jpg"});
    TForm1 form(home.Env());
    form.show();
    ChooseSourceFolder(form, folder);
    QCOMPARE(Names(form.CLB), QStringList({"b.jpg"}));
    OnNextModal([&home](QWidget* dialog) {
      dialog->findChild<QCheckBox*>("podfoldery")->setChecked(true);
      QCOMPARE(home.Props().Get("podfoldery"), QString("T"));
      dialog->findChild<QPushButton*>("OK")->click();
    });
    QTest::mouseClick(form.sbOpcje, Qt::LeftButton);
    QCOMPARE(Names(form.CLB), QStringList({"b.jpg", "2026/wesele/a.jpg"}));
    ClickEntry(form.CLB, 1);
    QCOMPARE(form.LastPreviewPath(), folder + "/2026/wesele/a.jpg");
    form.eFoldDo->addItem(folder + "/2026");
    ChooseEntry(form.eFoldDo, 0);
    QCOMPARE(Names(form.CLB), QStringList({"b.jpg"}));
  }

  void tickButtonsRangeCommandsAndCounter() {
    AppHome home;
    TForm1 form(home.Env());
    form.show();
    ChooseSourceFolder(form, home.PhotoFolder("p", kFiveFiles));
    QCOMPARE(form.lPl->text(), QString("plików: 5 z 5"));

    // Without a highlighted entry the range commands only ask for one.
    auto answer = AnswerNextMessage("OK");
    form.Zaznaczdokoca1->trigger();
    QCOMPARE(answer->Text, QString("Zaznacz plik i spróbuj ponownie."));

    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
    QCOMPARE(form.lPl->text(), QString("plików: 0 z 5"));
    QVERIFY(Ticked(form.CLB).isEmpty());
    ClickEntry(form.CLB, 2);
    form.Zaznaczdokoca1->trigger();
    QCOMPARE(Ticked(form.CLB), Names(form.CLB).mid(2));
    QCOMPARE(form.lPl->text(), QString("plików: 3 z 5"));
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    form.Odznaczdopocztku1->trigger();
    QCOMPARE(Ticked(form.CLB), Names(form.CLB).mid(2));
    form.OdznaczDoKonca1->trigger();
    QVERIFY(Ticked(form.CLB).isEmpty());
    QTest::mouseClick(form.SpeedButton3, Qt::LeftButton);
    QCOMPARE(Ticked(form.CLB), Names(form.CLB));
    QCOMPARE(form.lPl->text(), QString("plików: 5 z 5"));

    // A tick changed by hand (space on the highlighted entry) recounts.
    ClickEntry(form.CLB, 0);
    QTest::keyClick(form.CLB, Qt::Key_Space);
    QCOMPARE(form.CLB->item(0)->checkState(), Qt::Unchecked);
    QCOMPARE(form.lPl->text(), QString("plików: 4 z 5"));
  }

  void keySelection_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("ticked");
    QTest::newRow("year") << "2015" << QStringList({"IMG_2015_01.jpg", "IMG_2015_02.jpg"});
    QTest::newRow("case counts") << "img" << QStringList();
    QTest::newRow("empty key unticks all") << "" << QStringList();
    QTest::newRow("suffix") << "_03" << QStringList({"IMG_2016_03.jpg"});
  }
  void keySelection() {
    QFETCH(QString, key);
    QFETCH(QStringList, ticked);
    AppHome home;
    TForm1 form(home.Env());
    ChooseSourceFolder(form, home.PhotoFolder("p", kFiveFiles));
    QTest::keyClicks(form.eKlucz, key);
    QTest::mouseClick(form.sbKlucz, Qt::LeftButton);
    QStringList actual = Ticked(form.CLB);
    actual.sort();
    QCOMPARE(actual, ticked);
    QCOMPARE(form.lPl->text(), QString("plików: %1 z 5").arg(ticked.size()));
  }

  void destinationPickByFolderNameWithoutDigits() {
    AppHome home;
    const QString source = home.PhotoFolder("Zdjęcia/Wakacje2015", {"olympus_x2.jpg"});
    Set(home, "folderyDo", "/www/zima;/www/wakacje;/www/WAKACJE2");
    Set(home, "folderDo", "/www/zima");
    TForm1 form(home.Env());
    QCOMPARE(form.eFoldDo->currentText(), QString("/www/zima"));
    ChooseSourceFolder(form, source);
    QCOMPARE(form.eFoldDo->currentText(), QString("/www/wakacje"));
    // No destination named like the source: the selection stays.
    ChooseSourceFolder(form, home.PhotoFolder("Inne", {"olympus_x2.jpg"}));
    QCOMPARE(form.eFoldDo->currentText(), QString("/www/wakacje"));
  }

  void browseAddsAndSelectsComparingWithoutCaseOnlyForTheSameFolder() {
    AppHome home;
    const QString upper = home.PhotoFolder("Foto", {"olympus_x2.jpg"});
    const QString lower = home.PhotoFolder("foto", {"olympus_x2.jpg=b.jpg"});
    TForm1 form(home.Env());
    form.eFoldZ->addItem(upper);
    form.eFoldZ->addItem(home.Path("ARCHIWUM"));
    // A missing folder that differs only in case is the entry; two existing folders are two entries.
    QCOMPARE(TForm1::HistoryIndexOf(*form.eFoldZ, home.Path("archiwum")), 1);
    QCOMPARE(TForm1::HistoryIndexOf(*form.eFoldZ, lower), -1);

    OnNextModal([&](QWidget* dialog) {
      auto* picker = qobject_cast<QDialog*>(dialog);
      picker->findChild<QLineEdit*>("fileNameEdit")->setText(lower);
      picker->accept();
    });
    QTest::mouseClick(form.sbOpenZ, Qt::LeftButton);
    QCOMPARE(TForm1::HistoryOf(*form.eFoldZ), QStringList({upper, home.Path("ARCHIWUM"), lower}));
    QCOMPARE(form.eFoldZ->currentText(), lower);
    QCOMPARE(Names(form.CLB), QStringList({"b.jpg"}));

    // A cancelled browse leaves the list empty and everything else as it was.
    OnNextModal([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    QTest::mouseClick(form.sbOpenZ, Qt::LeftButton);
    QCOMPARE(form.CLB->count(), 0);
    QCOMPARE(form.eFoldZ->count(), 3);
  }

  void folderMenuCommands() {
    AppHome home;
    const QString photos = home.PhotoFolder("p", {"olympus_x2.jpg", "sanyo_sr662.jpg"});
    TForm1 form(home.Env());
    form.show();

    // "Jak źródłowy" with an empty source, "Jak docelowy" with a missing destination.
    auto answer = AnswerNextMessage("OK");
    form.akisamjakrdowy1->trigger();
    QCOMPARE(answer->Text, QString("Folder \"\" nie istnieje.\""));
    form.eFoldDo->setEditText(home.Path("brak"));
    answer = AnswerNextMessage("OK");
    form.Jakdocelowy1->trigger();
    QCOMPARE(answer->Text, QString("Folder \"%1\" nie istnieje.\"").arg(home.Path("brak")));

    // "Jak docelowy" with an existing destination lists it as the source.
    form.eFoldDo->setEditText(photos);
    form.Jakdocelowy1->trigger();
    QCOMPARE(form.eFoldZ->currentText(), photos);
    QCOMPARE(form.CLB->count(), 2);
    form.akisamjakrdowy1->trigger();
    QCOMPARE(TForm1::HistoryOf(*form.eFoldDo), QStringList({photos}));

    // "Usuń z listy": the list empties and the field has no selection.
    form.Usuzlisty1->trigger();
    QCOMPARE(form.eFoldZ->count(), 0);
    QCOMPARE(TForm1::SelectedEntry(*form.eFoldZ), -1);
    QCOMPARE(form.CLB->count(), 0);

    // "Edytuj listę": the edited lines become the history; the remembered text stays selected.
    ChooseSourceFolder(form, photos);
    OnNextModal([&](QWidget* dialog) {
      auto* rap = qobject_cast<TFormRapDlg*>(dialog);
      rap->SetMemoLines({"/inny", "", "  " + photos.toUpper() + "  ", photos});
      rap->findChild<QPushButton*>("OK")->click();
    });
    form.Edytujlist1->trigger();
    QCOMPARE(TForm1::HistoryOf(*form.eFoldZ), QStringList({"/inny", photos.toUpper(), photos}));
    QCOMPARE(form.eFoldZ->currentText(), photos);
    QCOMPARE(form.CLB->count(), 2);  // not refilled, not emptied

    // "Wyczyść".
    form.Wyczy1->trigger();
    QCOMPARE(form.eFoldZ->count(), 0);
    QCOMPARE(form.eFoldZ->currentText(), QString());
    QCOMPARE(form.CLB->count(), 0);
    QCOMPARE(form.lPl->text(), QString("plików: 0 z 0"));
    form.Wyczy2->trigger();
    QCOMPARE(form.eFoldDo->count(), 0);
  }

  void nameSampleLabelsMeasuredInTheirFonts() {
    AppHome home;
    TForm1 form(home.Env());
    const int wn = QFontMetrics(form.lnp->font()).horizontalAdvance("nazwa");
    auto wa = [&](const QString& a) { return QFontMetrics(form.lPref->font()).horizontalAdvance(a); };

    QTest::keyClicks(form.EPref, "_");
    QCOMPARE(form.lPref->x(), 236);
    QCOMPARE(form.lnp->x(), 238 + wa("_"));
    QCOMPARE(form.lExt->x(), 238 + wa("_") + wn + 2);
    QCOMPARE(form.lExt->text(), QString(".jpg"));

    QTest::mouseClick(form.rbSuf, Qt::LeftButton, Qt::NoModifier, QPoint(5, form.rbSuf->height() / 2));
    QVERIFY(form.rbSuf->isChecked());
    QCOMPARE(StoredValue(home, "sufiks"), QString("T"));
    QCOMPARE(form.lnp->x(), 236);
    QCOMPARE(form.lPref->x(), 238 + wn);
    QCOMPARE(form.lExt->x(), 240 + wn + wa("_"));

    form.EPref->clear();
    QCOMPARE(form.lExt->x(), 238 + wn);
    QTest::mouseClick(form.rbPref, Qt::LeftButton, Qt::NoModifier, QPoint(5, form.rbPref->height() / 2));
    QCOMPARE(StoredValue(home, "sufiks"), QString("N"));
    QCOMPARE(form.lnp->x(), 236);
    QCOMPARE(form.lExt->x(), 238 + wn);
  }

  void previewOfTheHighlightedFile() {
    AppHome home;
    TForm1 form(home.Env());
    form.show();
    const QString folder =
        home.PhotoFolder("p", {"sanyo_sr662.jpg", "synthetic_no_metadata.jpg", "canon_eos_7d_lightroom_iptc.jpg",
                               "../formats/rotated-heic.heic=r.heic"});
    QFile broken(folder + "/broken.jpg");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    ChooseSourceFolder(form, folder);

    // A camera file: its EXIF thumbnail (160 x 120) and the size EXIF states (the file itself is 300 x 225).
    const int sanyo = Names(form.CLB).indexOf("sanyo_sr662.jpg");
    ClickEntry(form.CLB, sanyo);
    QCOMPARE(form.lPodgl->text(), QString("sanyo_sr662.jpg (1024 x 768)"));
    QCOMPARE(form.Image1->Picture().size(), QSize(160, 120));
    QCOMPARE(form.LastPreviewPath(), home.Path("p/sanyo_sr662.jpg"));

    // The file already shown is not loaded again.
    form.Image1->SetPicture(QImage());
    ClickEntry(form.CLB, sanyo);
    QVERIFY(form.Image1->Picture().isNull());

    // Without a thumbnail the whole picture is decoded: 640 x 480 gives 160 x 120.
    ClickEntry(form.CLB, Names(form.CLB).indexOf("synthetic_no_metadata.jpg"));
    QVERIFY(form.lPodgl->text().endsWith(
        " (" + QString::number(QImage(folder + "/synthetic_no_metadata.jpg").width()) + " x " +
        QString::number(QImage(folder + "/synthetic_no_metadata.jpg").height()) + ")"));
    QVERIFY(!form.Image1->Picture().isNull());

    // A portrait thumbnail of a 600 x 900 picture: 80 x 120.
    // Its name is wider than the label: shortened in the middle, whole in the tool tip.
    const int canon = Names(form.CLB).indexOf("canon_eos_7d_lightroom_iptc.jpg");
    ClickEntry(form.CLB, canon);
    QCOMPARE(form.lPodgl->toolTip(), QString("canon_eos_7d_lightroom_iptc.jpg (600 x 900)"));
    QVERIFY2(form.lPodgl->text().startsWith("canon_eos") && form.lPodgl->text().contains(QChar(0x2026)) &&
                 form.lPodgl->text().endsWith("iptc.jpg (600 x 900)"),
             qPrintable(form.lPodgl->text()));
    QCOMPARE(form.Image1->Picture().size(), QSize(80, 120));
    // Centred, so the placeholder does not show beside it.
    QCOMPARE(form.Image1->PictureRect(), QRect(40, 0, 80, 120));

    // A HEIC its container turns upright.
    ClickEntry(form.CLB, Names(form.CLB).indexOf("r.heic"));
    QCOMPARE(form.lPodgl->text(), QString("r.heic (120 x 160)"));
    QCOMPARE(form.Image1->Picture().size(), QSize(90, 120));

    // A file that cannot be decoded: told in the preview, no box, so the arrow keys browse on; neither the
    // picture nor the size of the file before stays under its row.
    auto answer = AnswerNextMessage("OK");
    ClickEntry(form.CLB, Names(form.CLB).indexOf("broken.jpg"));
    QTest::keyClick(form.CLB, Qt::Key_Down);
    QVERIFY(!answer->Shown);
    answer->Cancel();
    QCOMPARE(form.CLB->currentRow(), Names(form.CLB).indexOf("broken.jpg") + 1);
    QTest::keyClick(form.CLB, Qt::Key_Up);
    QCOMPARE(form.Image1->Message(),
             QString("Nie mogę pokazać podglądu:\nTo nie jest plik JPEG (zaczyna się od 0x6e 0x6f)"));
    QVERIFY(form.Image1->Picture().isNull());
    QCOMPARE(form.lPodgl->text(), QString("broken.jpg (bez podglądu)"));
    QCOMPARE(form.LastPreviewPath(), QString());
    // So the file shown before is shown again when clicked.
    ClickEntry(form.CLB, canon);
    QCOMPARE(form.Image1->Picture().size(), QSize(80, 120));
    // A short name is shown whole, without a tool tip.
    ClickEntry(form.CLB, sanyo);
    QCOMPARE(form.lPodgl->text(), QString("sanyo_sr662.jpg (1024 x 768)"));
    QCOMPARE(form.lPodgl->toolTip(), QString());
  }

  void aboutLinkAndMenusWhereTheUserAsks() {
    AppHome home;
    TForm1 form(home.Env());
    // High enough on the screen that the menu below the button need not move to fit.
    form.move(0, -300);
    form.show();
    auto answer = AnswerNextMessage("OK");
    QTest::mouseClick(form.LabelO, Qt::LeftButton);
    QVERIFY(answer->Text.contains("2011-2016"));

    // The caption menu opens with its top left corner at the centre of its button.
    QTest::mouseClick(form.sbKonfPodp, Qt::LeftButton);
    QTRY_VERIFY(form.pmKonfPodp->isVisible());
    QCOMPARE(form.pmKonfPodp->pos(), form.sbKonfPodp->mapToGlobal(QPoint(11, 11)));
    form.pmKonfPodp->hide();
  }
};

VELMORA_QTEST_MAIN(Form1Test)
#include "form1_test.moc"
