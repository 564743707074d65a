// Renders the main window with a folder of photos listed and one previewed to
// <build>/screenshots/app/main-window.png on the offscreen platform, so it can be looked at without a
// display (docs/main-window.png is a copy).

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTest>

#include "app/form1.h"
#include "dialogs/application.h"
#include "app_fixture.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

class ScreenshotTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetApplicationIdentity(); }

  void mainWindowWithPhotosListed() {
    AppHome home;
    // A fixed folder, so the picture does not show a random temporary name.
    QDir root(QDir::tempPath() + "/velmora-przyklad");
    root.removeRecursively();
    const QString photos =
        home.PhotoFolder(root.filePath("Zdjęcia/Wakacje2015"),
                         {"canon_ixus_v3.jpg", "nikon_e950.jpg", "sanyo_sr662.jpg", "fujifilm_finepix40i.jpg",
                          "sony_cybershot.jpg", "kodak_dc210.jpg", "olympus_c960.jpg", "canon_powershot_s40.jpg"});
    home.Props().Set("folderyDo", root.filePath("www/wakacje") + ";" + root.filePath("www/zima"));
    TForm1 form(home.Env());
    form.show();
    ChooseSourceFolder(form, photos);
    form.EPref->setText("_");
    form.cbSize->setChecked(true);
    form.cbPodp->setChecked(true);
    form.cbEXIF->setChecked(true);
    form.CLB->item(2)->setCheckState(Qt::Unchecked);
    ClickEntry(form.CLB, Names(form.CLB).indexOf("nikon_e950.jpg"));
    QVERIFY(!form.Image1->Picture().isNull());

    const QString folder = QStringLiteral(VELMORA_BINARY_DIR "/screenshots/app");
    QVERIFY(QDir().mkpath(folder));
    const QImage shot = form.grab().toImage();
    QCOMPARE(shot.size(), QSize(518, 591));
    QVERIFY(shot.save(folder + "/main-window.png"));
    root.removeRecursively();
  }
};

VELMORA_QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
