// Renders every dialog and control of the dialogs library to PNG files on the offscreen platform, so
// they can be looked at without a display. Driven by Qt Test, which answers the modal dialogs.
//
//   velmora-docs-dialogs OUTPUT_FOLDER

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include "dialogs/application.h"
#include "dialogs/commandguard.h"
#include "dialogs/dialogstate.h"
#include "dialogs/inputdialogs.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtborderpanel.h"
#include "dialogs/qmtgauge.h"
#include "dialogs/qmtpropscb.h"
#include "settings/eabort.h"
#include "support/modal_helpers.h"
#include "support/test_env.h"

using namespace velmora;
using velmora::test::OnNextModal;

namespace {

QString outputDir;

QString OutputDir() { return outputDir; }

void Save(const QImage& image, const QString& name) {
  QVERIFY(!image.isNull());
  const QString path = OutputDir() + QLatin1Char('/') + name + QStringLiteral(".png");
  QVERIFY2(image.save(path), qPrintable(path));
  QVERIFY(QFileInfo(path).size() > 0);
}

// The client area with a title strip above it, since the offscreen platform draws no window frame.
QImage WithTitle(QWidget* window) {
  const QImage client = window->grab().toImage();
  const int strip = 22;
  QImage framed(client.width() + 2, client.height() + strip + 1, QImage::Format_RGB32);
  framed.fill(QColor(0x40, 0x40, 0x40));
  QPainter p(&framed);
  p.fillRect(QRect(1, 1, client.width(), strip - 1), QColor(0x2b, 0x57, 0x9a));
  p.setPen(Qt::white);
  QFont f = window->font();
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(6, 1, client.width() - 8, strip - 1), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
  p.drawImage(1, strip, client);
  return framed;
}

// Shows a modal dialog through `show`, saves it and closes it.
void ShootModal(const QString& name, const std::function<void()>& show) {
  OnNextModal([name](QWidget* d) {
    Save(WithTitle(d), name);
    d->close();
  });
  show();
}

QImage Zoom(const QImage& image, int factor) {
  return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    SetApplicationIdentity();
    QVERIFY(QDir().mkpath(OutputDir()));
    DialogState().SnapToDefaultButton = false;
  }

  void messageDialogs() {
    ShootModal("message_warning_errornotice", [] {
      try {
        ErrorNotice(QStringLiteral("Nie wskazano folderów"));
      } catch (const EAbort&) {
      }
    });
    ShootModal("message_confirmation_askyesno",
               [] { AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?")); });
    ShootModal("message_information_about", [] { ShowAbout(QStringLiteral("2011-2016")); });
    ShootModal("message_error", [] {
      MessageDialog(QStringLiteral("Nie można zapisać pliku:\t/home/ala/zdjęcia/_IMG_0001.jpg"), TMessageKind::mtError,
                    {TMessageButton::mbOK, TMessageButton::mbCancel}, 0);
    });
    ShootModal("message_custom_all_buttons", [] {
      MessageDialog(QStringLiteral("Okno bez ikony, z tytułem programu i wszystkimi przyciskami; "
                                   "&akcelerator w treści jest podkreślony."),
                    TMessageKind::mtCustom,
                    {TMessageButton::mbYes, TMessageButton::mbNo, TMessageButton::mbOK, TMessageButton::mbCancel,
                     TMessageButton::mbAbort, TMessageButton::mbRetry, TMessageButton::mbIgnore, TMessageButton::mbAll,
                     TMessageButton::mbNoToAll, TMessageButton::mbYesToAll, TMessageButton::mbHelp},
                    0);
    });
    ShootModal("message_guard_default_error",
               [] { RunGuarded([] { throw std::runtime_error("Nie mogę otworzyć schowka"); }); });
  }

  void flashNotice() {
    bool saved = false;
    QTimer::singleShot(50, [&] {
      if (QWidget* w = velmora::test::FindTopLevel(QStringLiteral("FlashNotice"))) {
        Save(w->grab().toImage(), QStringLiteral("flashnotice_done"));
        saved = true;
      }
    });
    DoneNotice();
    QVERIFY(saved);
  }

  void inputDialogs() {
    ShootModal("input_asktext_caption", [] { AskText(QStringLiteral("Podpis:"), QStringLiteral("Velmora"), 255); });
    ShootModal("input_search_text", [] { AskSearchText(); });
    ShootModal("list_editstringlist", [] {
      EditStringList(QStringLiteral("Foldery Z"),
                     {QStringLiteral("/home/ala/zdjęcia/2016/wakacje"), QStringLiteral("/home/ala/zdjęcia/2015"),
                      QStringLiteral("/media/karta/DCIM/100CANON")},
                     false);
    });
  }

  void gauges() {
    QWidget sheet;
    sheet.resize(300, 190);
    sheet.setAutoFillBackground(true);
    sheet.setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    const auto gauge = [&](int y, int max, int progress, auto configure) {
      auto* g = new TQMTGauge(&sheet);
      g->setGeometry(20, y, 261, 21);
      g->SetMaxValue(max);
      g->SetProgress(progress);
      configure(*g);
      return g;
    };
    gauge(10, 250, 87, [](TQMTGauge&) {});
    gauge(40, 100, 5, [](TQMTGauge& g) { g.SetShowAsValue(false); });
    gauge(70, 0, 0, [](TQMTGauge&) {});
    gauge(100, 100, 64, [](TQMTGauge& g) {
      g.SetForeColor(QColor(0, 0, 160));
      g.SetBackColor(QColor(255, 255, 200));
      g.SetAddText(QStringLiteral("plik "));
    });
    auto* vertical = new TQMTGauge(&sheet);
    vertical->setGeometry(20, 130, 40, 50);
    vertical->SetKind(TGaugeKind::gkVerticalBar);
    vertical->SetProgress(100);
    vertical->SetShowAsValue(false);
    auto* verticalNoBorder = new TQMTGauge(&sheet);
    verticalNoBorder->setGeometry(70, 130, 40, 50);
    verticalNoBorder->SetKind(TGaugeKind::gkVerticalBar);
    verticalNoBorder->SetBorderStyle(TGaugeBorderStyle::bsNone);
    verticalNoBorder->SetProgress(100);
    verticalNoBorder->SetShowAsValue(false);
    auto* text = new TQMTGauge(&sheet);
    text->setGeometry(120, 130, 80, 50);
    text->SetKind(TGaugeKind::gkText);
    text->SetProgress(42);
    Save(sheet.grab().toImage(), QStringLiteral("gauges"));
    Save(Zoom(sheet.grab(QRect(20, 10, 261, 21)).toImage(), 4), QStringLiteral("gauge_zoom4"));
  }

  void borderPanels() {
    QWidget sheet;
    sheet.resize(480, 130);
    sheet.setAutoFillBackground(true);
    auto* plain = new TQMTBorderPanel(&sheet);
    plain->setGeometry(10, 10, 220, 82);
    new QLabel(QStringLiteral("źródłowy:"), plain);
    plain->findChild<QLabel*>()->move(12, 24);
    auto* thick = new TQMTBorderPanel(&sheet);
    thick->setGeometry(250, 10, 100, 82);
    thick->setBorderColor(QColor(200, 0, 0));
    thick->setBorderWidth(4);
    auto* none = new TQMTBorderPanel(&sheet);
    none->setGeometry(370, 10, 100, 82);
    none->setBorderWidth(41);  // half the height: no border at all
    none->SetCaption(QStringLiteral("bez ramki"));
    none->OnQMTBorderPaint = [](QPainter& canvas) { canvas.fillRect(QRect(4, 4, 8, 8), QColor(0, 128, 0)); };
    Save(sheet.grab().toImage(), QStringLiteral("borderpanels"));
  }

  void checkBoxes() {
    QWidget sheet;
    sheet.resize(300, 240);
    sheet.setAutoFillBackground(true);
    // The main window's font.
    sheet.setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    const QString caption = QStringLiteral("zapamiętaj ustawienia  przy zamykaniu programu");
    int y = 8;
    const auto box = [&](auto configure) {
      auto* cb = new TQMTPropsCB(&sheet);
      cb->setGeometry(10, y, 281, 15);
      cb->SetCaption(caption);
      configure(*cb);
      y += cb->height() + 8;
      return cb;
    };
    box([](TQMTPropsCB&) {});
    box([](TQMTPropsCB& cb) { cb.SetChecked(true); });
    box([](TQMTPropsCB& cb) {
      cb.SetNewStyle(true);
      cb.SetHiglighterColor(10930928);
    });
    box([](TQMTPropsCB& cb) {
      cb.SetNewStyle(true);
      cb.SetChecked(true);
      cb.SetHiglighterColor(10930928);
    });
    box([](TQMTPropsCB& cb) {
      cb.SetNewStyle(true);
      cb.SetChecked(true);
      cb.SetBold(true);
    });
    box([](TQMTPropsCB& cb) {
      cb.SetChecked(true);
      cb.SetEnabled(false);
    });
    box([](TQMTPropsCB& cb) {
      cb.resize(150, 15);
      cb.SetNewStyle(true);
      cb.SetChecked(true);
      cb.SetWordWrap(true);
    });
    Save(sheet.grab().toImage(), QStringLiteral("checkboxes"));
    Save(Zoom(sheet.grab(QRect(10, 8, 40, 92)).toImage(), 8), QStringLiteral("checkboxes_zoom8"));
  }
};

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  outputDir = QString::fromLocal8Bit(argv[1]);
  argv[1] = argv[0];
  --argc;
  ++argv;
  velmora::test::prepareQtEnvironment();
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  velmora::test::StartModalWatchdog();
  ScreenshotsTest shots;
  return QTest::qExec(&shots, argc, argv);
}

#include "dialog_shots.moc"
