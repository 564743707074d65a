// Every text of the main window and of each dialog fits its control, with the fonts the install script
// installs: each label, check box, radio button and button is measured with its own font (QFontMetrics)
// against the rectangle its style draws the text in, and a text must not run under a neighbouring control.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "app/form1.h"
#include "app_fixture.h"
#include "dialogs/application.h"
#include "dialogs/colours.h"
#include "dialogs/commandguard.h"
#include "dialogs/dialogstate.h"
#include "dialogs/inputdialogs.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtgauge.h"
#include "dialogs/qmtpropscb.h"
#include "settings/eabort.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;
using namespace velmora::test;

namespace {

QString Shown(QString text) {
  // "&&" is a literal "&", a single "&" marks the accelerator and takes no room.
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  return text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

QString Name(const QWidget* w) {
  return QStringLiteral("%1 \"%2\"").arg(w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName());
}

// Where the widget draws its text (in its own coordinates) and the text's width and height; nothing for a
// widget without a caption of its own.
struct TextBox {
  QRect room;  // the rectangle the style gives the text
  QSize text;  // what the text needs
  bool wraps = false;
  QString caption;
};

std::optional<TextBox> TextOf(const QWidget* w) {
  const QFontMetrics fm(w->font());
  if (const auto* cb = qobject_cast<const TQMTPropsCB*>(w)) {
    const int left = cb->NewStyle() ? 28 : 19;
    QFont f = cb->font();
    f.setBold(cb->Bold());
    const QFontMetrics bold(f);
    return TextBox{QRect(left, 0, cb->width() - left, cb->height()),
                   QSize(bold.horizontalAdvance(cb->Caption()), QFontMetrics(f).height()), false, cb->Caption()};
  }
  if (const auto* label = qobject_cast<const QLabel*>(w)) {
    if (label->text().isEmpty() || !label->pixmap().isNull()) return std::nullopt;
    const QRect room = label->contentsRect();
    if (label->wordWrap()) {
      const QRect need = fm.boundingRect(QRect(0, 0, room.width(), 100000),
                                         Qt::TextWordWrap | static_cast<int>(label->alignment()), label->text());
      return TextBox{room, need.size(), true, label->text()};
    }
    return TextBox{room, QSize(fm.horizontalAdvance(label->text()), fm.height()), false, label->text()};
  }
  if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
    if (button->text().isEmpty()) return std::nullopt;
    const QString text = Shown(button->text());
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(button)) element = QStyle::SE_CheckBoxContents;
    if (qobject_cast<const QRadioButton*>(button)) element = QStyle::SE_RadioButtonContents;
    QRect room = button->style()->subElementRect(element, &option, button);
    if (qobject_cast<const QToolButton*>(button)) {
      const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
      room = button->rect().adjusted(frame, frame, -frame, -frame);
    }
    return TextBox{room, QSize(fm.horizontalAdvance(text), fm.height()), false, text};
  }
  return std::nullopt;
}

// Descriptions of every text inside root that does not fit, or that runs under a sibling control.
QStringList CutTexts(const QWidget* root) {
  QStringList cut;
  QList<const QWidget*> widgets{root};
  for (const QWidget* w : root->findChildren<const QWidget*>()) widgets << w;
  for (const QWidget* w : widgets) {
    if (!w->isVisibleTo(root) || w->window() != root->window()) continue;
    const std::optional<TextBox> box = TextOf(w);
    if (!box) continue;
    const QString name = Name(w).arg(box->caption);
    if (box->text.width() > box->room.width() || box->text.height() > box->room.height()) {
      cut << QStringLiteral("%1 needs %2 x %3, has %4 x %5")
                 .arg(name)
                 .arg(box->text.width())
                 .arg(box->text.height())
                 .arg(box->room.width())
                 .arg(box->room.height());
      continue;
    }
    // The text's own extent, where the alignment puts it, in the parent's coordinates: buttons centre
    // their text vertically, push and tool buttons horizontally too.
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    if (const auto* label = qobject_cast<const QLabel*>(w)) alignment = label->alignment();
    if (qobject_cast<const QPushButton*>(w) || qobject_cast<const QToolButton*>(w)) alignment = Qt::AlignCenter;
    if (qobject_cast<const TQMTPropsCB*>(w)) alignment = Qt::AlignLeft | Qt::AlignTop;
    QRect ink = QStyle::alignedRect(w->layoutDirection(), alignment, box->text, box->room);
    if (w == root || !w->parentWidget()) continue;
    ink.translate(w->pos());
    for (const QWidget* sibling : w->parentWidget()->findChildren<const QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (sibling == w || !sibling->isVisibleTo(root) || sibling->isWindow()) continue;
      // The preview picture lies over its "podgląd" placeholder on purpose.
      if (qobject_cast<const TImageBox*>(sibling)) continue;
      if (sibling->geometry().intersects(ink))
        cut << QStringLiteral("%1 runs under %2").arg(name, Name(sibling).arg(QString()));
    }
  }
  return cut;
}

// Shows a dialog through `show`, collects its cut texts, closes it.
QStringList CutTextsOfDialog(const std::function<void()>& show) {
  QStringList cut;
  bool seen = false;
  OnNextModal([&](QWidget* d) {
    seen = true;
    cut = CutTexts(d);
    d->close();
  });
  show();
  if (!seen) cut << QStringLiteral("no dialog came");
  return cut;
}

const QStringList kLongNames = {"olympus_x2.jpg=IMG_20150714_wakacje_w_górach_nad_Morskim_Okiem_panorama.jpg",
                                "olympus_x2.jpg=IMG_0001.jpg"};

}  // namespace

class FitTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    SetApplicationIdentity();
    DialogState().SnapToDefaultButton = false;
  }

  void mainWindowTextsFit_data() {
    QTest::addColumn<bool>("suffix");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("dark");
    QTest::newRow("prefix, at rest") << false << false << false;
    QTest::newRow("suffix, progress shown") << true << true << false;
    QTest::newRow("prefix, dark palette") << false << false << true;
    QTest::newRow("suffix, progress shown, dark palette") << true << true << true;
  }

  // At every scale the ctest runs use (QT_SCALE_FACTOR on a 1920 x 1080 screen), on the light palette and
  // a dark one: the texts fit, the frame stands inside the screen's available area, and every design
  // colour reads at 3:1 or better against the window (exactly the design's on the light palette).
  void mainWindowTextsFit() {
    QFETCH(bool, suffix);
    QFETCH(bool, running);
    QFETCH(bool, dark);
    struct Restore {
      QPalette palette = QApplication::palette();
      ~Restore() { QApplication::setPalette(palette); }
    } restore;
    if (dark) {
      QPalette p(QColor(0x35, 0x35, 0x35));  // a dark button face and window, white texts
      p.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
      QApplication::setPalette(p);
      QVERIFY(QApplication::palette().color(QPalette::WindowText).lightness() > 200);
    }
    AppHome home;
    const QString photos = home.PhotoFolder("Zdjęcia/Wakacje2015", kLongNames);
    TForm1 form(home.Env());
    form.show();
    ChooseSourceFolder(form, photos);
    form.EPref->setText(QStringLiteral("_mały"));
    if (suffix) form.rbSuf->click();
    ClickEntry(form.CLB, Names(form.CLB).indexOf(kLongNames[0].section(u'=', 1)));
    QVERIFY(!form.lPodgl->text().isEmpty());
    if (running) {
      // The widest texts the run shows.
      form.Gauge1->show();
      form.sbStop->show();
      form.lProgress->setText(QStringLiteral("9999/9999"));
      form.lProgress->adjustSize();
      form.lPl->setText(QStringLiteral("plików: 9999 z 9999"));
      form.lPl->adjustSize();
    }
    const QStringList cut = CutTexts(&form);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));

    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Once the frame is known the window is fitted again with it.
    QTRY_VERIFY(form.screen()->availableGeometry().contains(form.frameGeometry()));
    const QColor window = form.Client()->palette().color(QPalette::Window);
    int coloured = 0;
    for (const QWidget* w : form.findChildren<const QWidget*>()) {
      const QVariant design = w->property("velmoraDesignColour");
      if (!design.isValid()) continue;
      ++coloured;
      const QColor shown = w->palette().color(QPalette::Active, QPalette::WindowText);
      if (!dark) QCOMPARE(shown, design.value<QColor>());
      QVERIFY2(ContrastRatio(shown, window) >= 3.0, qPrintable(Name(w).arg(shown.name())));
    }
    QVERIFY(coloured >= 8);
  }

  void dialogTextsFit_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("ErrorNotice") << 0;
    QTest::newRow("AskYesNo") << 1;
    QTest::newRow("about box") << 2;
    QTest::newRow("every button") << 3;
    QTest::newRow("text input") << 4;
    QTest::newRow("search text") << 5;
    QTest::newRow("list editor") << 6;
    QTest::newRow("error box") << 7;
  }

  void dialogTextsFit() {
    QFETCH(int, which);
    using B = TMessageButton;
    const QStringList cut = CutTextsOfDialog([which] {
      switch (which) {
        case 0:
          try {
            ErrorNotice(QStringLiteral("Zaznacz plik i spróbuj ponownie."));
          } catch (const EAbort&) {
          }
          break;
        case 1:
          AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?"));
          break;
        case 2:
          ShowAbout(QStringLiteral("2011-2016"));
          break;
        case 3:
          MessageDialog(QStringLiteral("Wszystkie przyciski"), TMessageKind::mtCustom,
                        {B::mbYes, B::mbNo, B::mbOK, B::mbCancel, B::mbAbort, B::mbRetry, B::mbIgnore, B::mbAll,
                         B::mbNoToAll, B::mbYesToAll, B::mbHelp},
                        0);
          break;
        case 4:
          AskText(QStringLiteral("Podpis:"), QStringLiteral("Velmora"), 255);
          break;
        case 5:
          AskSearchText();
          break;
        case 6:
          EditStringList(QStringLiteral("Foldery Z"), {QStringLiteral("/home/ala/Zdjęcia/Wakacje2015")}, false);
          break;
        default:
          ShowErrorMessage(
              QStringLiteral("Nie mogę pokazać podglądu pliku IMG_0007.jpg: Plik JPEG urywa się przed końcem obrazu"));
      }
    });
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
  }

  // The measure itself: a text one character too long for its control is found.
  void aTooLongTextIsFound() {
    QWidget window;
    window.resize(200, 100);
    auto* box = new QCheckBox(QStringLiteral("zapamiętaj ustawienia przy zamykaniu programu"), &window);
    box->setGeometry(0, 0, 120, 17);
    auto* label = new QLabel(QStringLiteral("nowych nazw plików:"), &window);
    label->move(0, 40);
    label->adjustSize();
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(label->x() + label->width() - 5, 40, 40, 21);
    window.show();
    const QStringList cut = CutTexts(&window);
    QCOMPARE(cut.size(), 2);
    QVERIFY(cut[0].contains(QStringLiteral("needs")));
    QVERIFY(cut[1].contains(QStringLiteral("runs under")));
  }
};

VELMORA_QTEST_MAIN(FitTest)
#include "fit_test.moc"
