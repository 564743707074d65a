// Writes the window's pictures in docs/: the main window with a folder of photos listed and one
// previewed, the caption menu, a question and the folder browser (light palette, scale 1), and the end
// of a run with its summary and "Otwórz folder docelowy" on the light and a dark palette at the scale
// it is started with (QT_SCALE_FACTOR). On Qt's offscreen platform, which draws no window frames, so a
// plain title strip is painted above each window.
//
//   velmora-docs-window DOCS_FOLDER light|dark

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <functional>
#include <memory>

#include "app/form1.h"
#include "app/graphicalsession.h"
#include "dialogs/application.h"
#include "dialogs/dialogform.h"
#include "dialogs/dialogstate.h"
#include "dialogs/messagedialogs.h"
#include "settings/environment.h"

using namespace velmora;

namespace {

constexpr int kTitle = 22;

// The window as a window manager would frame it: a border and a title bar with the caption.
QImage Framed(QWidget& window) {
  const QImage client = window.grab().toImage();
  const qreal dpr = client.devicePixelRatio();
  const QSize logical = client.deviceIndependentSize().toSize();
  QImage framed(QSize(logical.width() + 2, logical.height() + kTitle + 1) * dpr, QImage::Format_RGB32);
  framed.setDevicePixelRatio(dpr);
  framed.fill(QColor(0x40, 0x40, 0x40));
  QPainter p(&framed);
  p.fillRect(QRect(1, 1, logical.width(), kTitle - 1), QColor(0x2b, 0x57, 0x9a));
  QFont f = QApplication::font();
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(7, 1, logical.width() - 12, kTitle - 1), Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
  p.drawImage(QPoint(1, kTitle), client);
  return framed;
}

void Save(const QImage& image, const QString& path) {
  if (!image.save(path)) std::fprintf(stderr, "velmora-docs-window: cannot write %s\n", qPrintable(path));
  std::printf("%s\n", qPrintable(path));
}

// Runs the action on the next modal dialog once it is shown (polling, as the dialog's own exec() runs).
void OnNextDialog(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(dialog);
  });
  timer->start(20);
}

// A home of its own and a folder of photos, as a user would leave the window: photos listed, one
// previewed, scaling and caption on.
class Scene {
 public:
  explicit Scene(const QString& samples) {
    // A fixed folder, so the pictures do not show a random temporary name.
    root_ = QDir(QDir::tempPath() + "/velmora-przyklad");
    root_.removeRecursively();
    photos_ = root_.filePath("Zdjęcia/Wakacje2015");
    QDir().mkpath(photos_);
    const char* copies[][2] = {{"canon_ixus_v3.jpg", "canon_ixus_v3.jpg"},
                               {"nikon_e950.jpg", "IMG_2.jpg"},
                               {"sanyo_sr662.jpg", "IMG_10.jpg"},
                               {"fujifilm_finepix40i.jpg", "fujifilm_finepix40i.jpg"},
                               {"sony_cybershot.jpg", "sony_cybershot.JPEG"},
                               {"kodak_dc210.jpg", "kodak_dc210.jpg"},
                               {"olympus_c960.jpg", "olympus_c960.jpg"},
                               {"canon_powershot_s40.jpg", "IMG_20150714_wakacje_w_górach_nad_Morskim_Okiem.jpg"}};
    for (const auto& [from, to] : copies)
      QFile::copy(samples + "/" + QString::fromUtf8(from), photos_ + "/" + QString::fromUtf8(to));
    for (const char* sibling : {"Zdjęcia/Wakacje2016", "Zdjęcia/Zima2015", "Zdjęcia/Rodzina", "www/wakacje"})
      QDir().mkpath(root_.filePath(QString::fromUtf8(sibling)));
    TEnvironmentInputs in;
    in.ExePath = home_.filePath("bin/velmora");
    in.ConfigRoot = home_.filePath("config");
    in.Report = [](const QString&) {};
    env_ = std::make_unique<TEnvironment>(std::move(in));
    env_->AppProps().Set("folderyDo", root_.filePath("www/wakacje") + ";" + root_.filePath("www/zima"));
    form_ = std::make_unique<TForm1>(*env_);
    form_->show();
    form_->eFoldZ->lineEdit()->setText(photos_);
    emit form_->eFoldZ->lineEdit()->editingFinished();
    form_->EPref->setText("_");
    form_->cbSize->setChecked(true);
    form_->seSize->setValue(640);
    form_->cbPodp->setChecked(true);
    form_->cbEXIF->setChecked(true);
    form_->CLB->item(2)->setCheckState(Qt::Unchecked);
    const auto found = form_->CLB->findItems("IMG_20150714_wakacje_w_górach_nad_Morskim_Okiem.jpg", Qt::MatchExactly);
    if (!found.isEmpty()) form_->CLB->setCurrentItem(found.first());
  }
  ~Scene() {
    form_.reset();
    root_.removeRecursively();
  }
  TForm1& Form() { return *form_; }
  TProps& Props() { return env_->AppProps(); }
  QString Photos() const { return photos_; }

 private:
  QTemporaryDir home_;
  QDir root_;
  QString photos_;
  std::unique_ptr<TEnvironment> env_;
  std::unique_ptr<TForm1> form_;
};

// A dialog drawn over the window's picture where it stands on the screen.
// A dialog larger than the window is shown whole, the picture grown around the window in a desktop grey.
void DrawOver(QImage& shot, QWidget& window, QWidget& dialog) {
  const QImage framed = Framed(dialog);
  const QPoint at = dialog.geometry().topLeft() - window.mapToGlobal(QPoint(0, 0));
  const QRect all = shot.rect().united(QRect(at, framed.size()));
  if (all != shot.rect()) {
    QImage grown(all.size(), shot.format());
    grown.fill(QColor(0x6b, 0x6b, 0x6b));
    QPainter g(&grown);
    g.drawImage(-all.topLeft(), shot);
    g.end();
    shot = grown;
  }
  QPainter p(&shot);
  p.drawImage(at - all.topLeft(), framed);
}

void LightShots(const QString& samples, const QString& docs) {
  {
    Scene scene(samples);
    Save(scene.Form().grab().toImage(), docs + "/main-window.png");
  }
  {
    Scene scene(samples);
    TForm1& form = scene.Form();
    form.sbKonfPodpClick();
    QApplication::processEvents();
    // The menu reaches past the window's edge: the picture shows the desktop around both.
    const QImage window = Framed(form);
    const QPoint windowAt = form.mapToGlobal(QPoint(0, 0)) - QPoint(1, kTitle);
    const QRect menu = form.pmKonfPodp->geometry();
    const QRect all = QRect(windowAt, window.deviceIndependentSize().toSize()).united(menu).adjusted(0, 0, 8, 8);
    QImage shot(all.size(), QImage::Format_RGB32);
    shot.fill(QColor(0x3a, 0x6e, 0x8f));
    {
      QPainter p(&shot);
      p.drawImage(windowAt - all.topLeft(), window);
      p.drawImage(menu.topLeft() - all.topLeft(), form.pmKonfPodp->grab().toImage());
    }
    form.pmKonfPodp->hide();
    Save(shot, docs + "/caption-menu.png");
  }
  {
    Scene scene(samples);
    TForm1& form = scene.Form();
    QImage shot = Framed(form);
    OnNextDialog([&](QWidget* d) {
      if (auto* dialog = qobject_cast<TDialogForm*>(d)) {
        QTimer::singleShot(100, dialog, [&shot, &form, dialog] {
          DrawOver(shot, form, *dialog);
          dialog->close();
        });
      }
    });
    AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?"));
    Save(shot, docs + "/dialog.png");
  }
  {
    // "Opcje zapisu" with a few options away from the design's defaults, and the line naming them.
    Scene scene(samples);
    TForm1& form = scene.Form();
    for (const auto& [key, value] : {std::pair{"jakosc", "82"}, {"max KB", "500"}, {"wyostrzanie", "lekkie"}})
      scene.Props().Set(QString::fromUtf8(key), QString::fromUtf8(value));
    scene.Props().Set(QStringLiteral("preset Forum 500 KB: jakosc"), QStringLiteral("82"));
    form.UpdateOutputSummary();
    QImage shot = Framed(form);
    OnNextDialog([&](QWidget* d) {
      QTimer::singleShot(100, d, [&shot, &form, d] {
        DrawOver(shot, form, *d);
        d->close();
      });
    });
    form.sbOpcjeClick();
    Save(shot, docs + "/output-options.png");
  }
  {
    Scene scene(samples);
    TForm1& form = scene.Form();
    QImage shot;
    OnNextDialog([&](QWidget* d) {
      d->resize(700, 420);
      QApplication::processEvents();
      shot = Framed(*d);
      d->close();
    });
    form.eFoldZ->setEditText(QFileInfo(scene.Photos()).absolutePath());
    form.BOpenClick();
    Save(shot, docs + "/folder-dialog.png");
  }
}

// The end of a run: one file fails, so the summary names an error and the "Błędy" report is closed.
void RunSummaryShot(const QString& samples, const QString& docs, bool dark) {
  Scene scene(samples);
  TForm1& form = scene.Form();
  QFile broken(scene.Photos() + "/IMG_3.jpg");
  if (broken.open(QIODevice::WriteOnly)) broken.write("\xff\xd8\xff\xe0 not a picture");
  broken.close();
  form.eFoldZChange();
  form.cbPomijaj->setChecked(true);
  form.eFoldDo->lineEdit()->setText(QDir::cleanPath(scene.Photos() + "/../../www/wakacje"));
  emit form.eFoldDo->lineEdit()->editingFinished();
  OnNextDialog([](QWidget* d) { d->close(); });
  form.Podpiszwszystkiewfolderze1Click();
  const auto found = form.CLB->findItems("IMG_3.jpg", Qt::MatchExactly);
  if (!found.isEmpty()) form.CLB->setCurrentItem(found.first());
  QApplication::processEvents();
  // On a screen too low for the window the summary is scrolled into view, as a user would.
  if (auto* area = form.findChild<QScrollArea*>()) area->ensureWidgetVisible(form.sbOtworz);
  QApplication::processEvents();
  const int scale = static_cast<int>(form.devicePixelRatioF() * 100 + 0.5);
  Save(Framed(form), docs + QStringLiteral("/window/run-summary-%1-%2.png").arg(dark ? "dark" : "light").arg(scale));
}

QPalette DarkPalette() {
  QPalette p = QApplication::palette();
  p.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
  p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
  p.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
  p.setColor(QPalette::AlternateBase, QColor(0x42, 0x42, 0x42));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
    p.setColor(role, Qt::white);
  p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureRuntimeFolder();
  QApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 4 || (args[3] != "light" && args[3] != "dark")) {
    std::fprintf(stderr, "Użycie: velmora-docs-window FOLDER_DOCS FOLDER_PRÓBEK light|dark\n");
    return 2;
  }
  SetApplicationIdentity();
  InstallQtTranslations(app);
  DialogState().SnapToDefaultButton = false;
  const QString docs = args[1], samples = args[2];
  const bool dark = args[3] == "dark";
  QDir().mkpath(docs + "/window");
  if (dark) QApplication::setPalette(DarkPalette());
  if (!dark && qFuzzyCompare(app.devicePixelRatio(), 1.0)) LightShots(samples, docs);
  RunSummaryShot(samples, docs, dark);
  return 0;
}
