// Renders the main window with a folder of photos listed and one previewed, the caption menu open over it,
// a question dialog over it and the folder browser, to <build>/screenshots/app/ on the offscreen platform,
// so they can be looked at without a display (the pictures in docs/ are copies).

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/form1.h"
#include "app_fixture.h"
#include "dialogs/application.h"
#include "dialogs/dialogstate.h"
#include "dialogs/messagedialogs.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

QString Folder() { return QStringLiteral(VELMORA_BINARY_DIR "/screenshots/app"); }

// A window as a window manager would frame it: a border and a title bar with the caption, since the offscreen
// platform draws no frames.
QImage Framed(QWidget* window) {
  const QImage client = window->grab().toImage();
  constexpr int border = 1, title = 22;
  QImage framed(client.width() + 2 * border, client.height() + title + border, QImage::Format_RGB32);
  framed.fill(QColor(0x40, 0x40, 0x40));
  QPainter p(&framed);
  p.fillRect(QRect(border, border, client.width(), title - border), QColor(0x2b, 0x57, 0x9a));
  QFont f = QApplication::font();
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(border + 6, border, client.width() - 12, title - border), Qt::AlignVCenter | Qt::AlignLeft,
             window->windowTitle());
  p.drawImage(border, title, client);
  return framed;
}

// The window prepared as a user would leave it: a folder of photos, one of them previewed.
class Scene {
 public:
  Scene() {
    // A fixed folder, so the pictures do not show a random temporary name.
    root_.setPath(QDir::tempPath() + "/velmora-przyklad");
    root_.removeRecursively();
    const QString photos =
        home_.PhotoFolder(root_.filePath("Zdjęcia/Wakacje2015"),
                          {"canon_ixus_v3.jpg", "nikon_e950.jpg=IMG_2.jpg", "sanyo_sr662.jpg=IMG_10.jpg",
                           "fujifilm_finepix40i.jpg", "sony_cybershot.jpg", "kodak_dc210.jpg", "olympus_c960.jpg",
                           "canon_powershot_s40.jpg=IMG_20150714_wakacje_w_górach_nad_Morskim_Okiem.jpg"});
    for (const char* sibling : {"Zdjęcia/Wakacje2016", "Zdjęcia/Zima2015", "Zdjęcia/Rodzina"})
      QDir().mkpath(root_.filePath(QString::fromUtf8(sibling)));
    home_.Props().Set("folderyDo", root_.filePath("www/wakacje") + ";" + root_.filePath("www/zima"));
    form_ = std::make_unique<TForm1>(home_.Env());
    form_->show();
    ChooseSourceFolder(*form_, photos);
    form_->EPref->setText("_");
    form_->cbSize->setChecked(true);
    form_->cbPodp->setChecked(true);
    form_->cbEXIF->setChecked(true);
    form_->CLB->item(2)->setCheckState(Qt::Unchecked);
    ClickEntry(form_->CLB, Names(form_->CLB).indexOf("IMG_20150714_wakacje_w_górach_nad_Morskim_Okiem.jpg"));
  }
  ~Scene() { root_.removeRecursively(); }
  TForm1& Form() { return *form_; }

 private:
  AppHome home_;
  QDir root_;
  std::unique_ptr<TForm1> form_;
};

// Draws the top-level widget over the window's picture where it stands on the screen.
void DrawOver(QImage& shot, const QWidget& window, const QImage& picture, QPoint globalTopLeft, int titleHeight) {
  QPainter p(&shot);
  p.drawImage(globalTopLeft - window.mapToGlobal(QPoint(0, 0)) + QPoint(1, titleHeight), picture);
}

}  // namespace

class ScreenshotTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    SetApplicationIdentity();
    QVERIFY(InstallQtTranslations(*qApp));
    DialogState().SnapToDefaultButton = false;
    QVERIFY(QDir().mkpath(Folder()));
  }

  void mainWindowWithPhotosListed() {
    Scene scene;
    TForm1& form = scene.Form();
    QVERIFY(!form.Image1->Picture().isNull());
    const QImage shot = form.grab().toImage();
    QCOMPARE(shot.size(), QSize(518, 591));
    QVERIFY(shot.save(Folder() + "/main-window.png"));
  }

  void captionMenuOverTheWindow() {
    Scene scene;
    TForm1& form = scene.Form();
    QTest::mouseClick(form.sbKonfPodp, Qt::LeftButton);
    QTRY_VERIFY(form.pmKonfPodp->isVisible());
    // The menu reaches past the window's edge: the picture shows the desktop around both.
    const QImage window = Framed(&form);
    const QPoint windowAt = form.mapToGlobal(QPoint(0, 0)) - QPoint(1, 22);
    const QRect menu = form.pmKonfPodp->geometry();
    const QRect all = QRect(windowAt, window.size()).united(menu).adjusted(0, 0, 8, 8);
    QImage shot(all.size(), QImage::Format_RGB32);
    shot.fill(QColor(0x3a, 0x6e, 0x8f));
    {
      QPainter p(&shot);
      p.drawImage(windowAt - all.topLeft(), window);
      p.drawImage(menu.topLeft() - all.topLeft(), form.pmKonfPodp->grab().toImage());
    }
    form.pmKonfPodp->hide();
    QVERIFY(shot.save(Folder() + "/caption-menu.png"));
  }

  void questionOverTheWindow() {
    Scene scene;
    TForm1& form = scene.Form();
    QImage shot = Framed(&form);
    bool drawn = false;
    OnNextModal([&](QWidget* d) {
      auto* dialog = qobject_cast<TDialogForm*>(d);
      if (dialog && QTest::qWaitFor([dialog] { return dialog->Placed(); }, 5000)) {
        // Its frame's corner is where the title bar goes.
        DrawOver(shot, form, Framed(d), d->geometry().topLeft() - QPoint(1, 22), 22);
        drawn = true;
      }
      d->close();
    });
    AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?"));
    QVERIFY(drawn);
    QVERIFY(shot.save(Folder() + "/dialog.png"));
  }

  // Qt's own folder browser behind "---", in Polish.
  void folderBrowser() {
    Scene scene;
    TForm1& form = scene.Form();
    QImage shot;
    OnNextModal([&](QWidget* d) {
      d->resize(700, 420);
      shot = Framed(d);
      d->close();
    });
    form.eFoldZ->setEditText(QDir::tempPath() + "/velmora-przyklad/Zdjęcia");
    QTest::mouseClick(form.sbOpenZ, Qt::LeftButton);
    QVERIFY(!shot.isNull());
    QVERIFY(shot.save(Folder() + "/folder-dialog.png"));
  }
};

VELMORA_QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
