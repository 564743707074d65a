// Dialog placement on a real X server: every dialog's frame centred on the screen (or its corner at the
// pointer) and the pointer on the default button's centre, read back from X itself. The program starts its
// own Xvfb and runs the checks twice in child processes: on the bare server, then under openbox, a window
// manager that reparents the window into a frame with a title bar. Exit code 77 (skipped) when Xvfb or openbox
// is not installed, unless VELMORA_REQUIRE_WM is set (CI), which makes that a failure.

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <optional>

#include "dialogs/application.h"
#include "dialogs/commandguard.h"
#include "dialogs/dialogform.h"
#include "dialogs/dialogplacement.h"
#include "dialogs/dialogstate.h"
#include "dialogs/filedialogs.h"
#include "dialogs/inputdialogs.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "settings/eabort.h"
#include "settings/environment.h"
#include "support/modal_helpers.h"
#include "support/xserver.h"

using namespace velmora;
using velmora::test::ReadX;
using velmora::test::XState;

namespace {

constexpr int kScreenWidth = 1280, kScreenHeight = 1024;
constexpr const char* kModeVariable = "VELMORA_WM_MODE";

QPoint Centred(const QSize& frame) {
  return {(kScreenWidth - frame.width()) / 2, (kScreenHeight - frame.height()) / 2};
}

}  // namespace

class WmPlacementTest : public QObject {
  Q_OBJECT

 private:
  bool expectFrame_ = false;

  // Shows a dialog through `show`, waits until it reports itself placed, reads X and closes the dialog.
  std::optional<XState> Measure(const std::function<void()>& show, QString* defaultCaption = nullptr) {
    std::optional<XState> state;
    test::OnNextModal([&](QWidget* d) {
      auto* form = qobject_cast<TDialogForm*>(d);
      if (form && QTest::qWaitFor([form] { return form->Placed(); }, 10000)) {
        state = ReadX(*form, form->DefaultButton());
        if (defaultCaption && form->DefaultButton()) *defaultCaption = form->DefaultButton()->text();
      }
      d->close();
    });
    show();
    return state;
  }

  void CheckCentredWithPointerOnDefault(const std::optional<XState>& s, const char* what, const QString& title) {
    QVERIFY2(s.has_value(), qPrintable(QStringLiteral("%1: no placed dialog within 10 s").arg(what)));
    QCOMPARE(s->title, title);
    QCOMPARE(s->framed, expectFrame_);
    if (expectFrame_) QVERIFY2(s->frame.height() > 0, what);
    QCOMPARE(s->frame.topLeft(), Centred(s->frame.size()));
    QCOMPARE(s->pointer, s->target);
  }

 private slots:
  void initTestCase() {
    const QByteArray mode = qgetenv(kModeVariable);
    expectFrame_ = mode != "none";
    QVERIFY(qApp->nativeInterface<QNativeInterface::QX11Application>() != nullptr);
    SetApplicationIdentity();
  }

  void init() {
    ResetDialogState();
    QCursor::setPos(3, 3);
  }

  void messageDialogsCentredWithPointerOnDefault_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("title");
    QTest::newRow("AskYesNo") << 0 << "Pytanie";
    QTest::newRow("InfoNotice") << 1 << "Informacja";
    QTest::newRow("wide custom, all buttons") << 2 << "Velmora";
    QTest::newRow("ErrorNotice") << 3 << "Uwaga";
  }

  void messageDialogsCentredWithPointerOnDefault() {
    QFETCH(int, which);
    QFETCH(QString, title);
    using B = TMessageButton;
    // Twice: the first dialog learns the frame, the second is placed from that estimate.
    for (int round = 0; round < 2; ++round) {
      const auto s = Measure([which] {
        switch (which) {
          case 0:
            AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?"));
            break;
          case 1:
            InfoNotice(QStringLiteral("Informacja"));
            break;
          case 2:
            MessageDialog(QString(60, QLatin1Char('W')), TMessageKind::mtCustom,
                          {B::mbYes, B::mbNo, B::mbOK, B::mbCancel, B::mbRetry, B::mbAll, B::mbHelp}, 0);
            break;
          default:
            try {
              ErrorNotice(QStringLiteral("Nie wskazano folderów"));
            } catch (const EAbort&) {
            }
        }
      });
      CheckCentredWithPointerOnDefault(s, QTest::currentDataTag(), title);
    }
  }

  void textInputCentredWithPointerOnOk() {
    QString ok;
    const auto s = Measure(
        [] {
          QString value = QStringLiteral("Velmora");
          TextInputDialog(QStringLiteral("Podaj"), QStringLiteral("Podpis:"), value, 255);
        },
        &ok);
    CheckCentredWithPointerOnDefault(s, "TextInputDialog", QStringLiteral("Podaj"));
    QCOMPARE(ok, QStringLiteral("OK"));
  }

  void listDialogCentredWithPointerOnOk() {
    QString ok;
    const auto s =
        Measure([] { EditStringList(QStringLiteral("Foldery Z"), {QStringLiteral("/home/ala/zdjęcia")}, false); }, &ok);
    CheckCentredWithPointerOnDefault(s, "EditStringList", QStringLiteral("Foldery Z"));
    QCOMPARE(ok, QStringLiteral("OK"));
    // The client keeps the layout's size whatever frame it got.
    QVERIFY(s->frame.width() >= TFormRapDlg::kClientWidth);
  }

  void errorNoticeAtPointerPutsTheCornerThere() {
    QCursor::setPos(200, 150);
    const auto s = Measure([] {
      try {
        ErrorNotice(QStringLiteral("Zaznacz plik i spróbuj ponownie."), true);
      } catch (const EAbort&) {
      }
    });
    QVERIFY(s.has_value());
    QCOMPARE(s->frame.topLeft(), QPoint(200, 150));
    // No snap: the pointer stays where it was.
    QCOMPARE(s->pointer, QPoint(200, 150));
  }

  // Qt's own dialogs as the program's: the error box and the folder browser.
  void qtDialogsCentredWithPointerOnDefault() {
    QTemporaryDir home;
    TEnvironmentInputs in;
    in.ExePath = home.filePath(QStringLiteral("velmora"));
    in.ConfigRoot = home.filePath(QStringLiteral("config"));
    in.Report = [](const QString&) {};
    TEnvironment env(std::move(in));
    const std::pair<const char*, std::function<void()>> dialogs[] = {
        {"error box", [] { ShowErrorMessage(QStringLiteral("Nie mogę zapisać pliku")); }},
        {"folder browser", [&env] { ChooseFolder(QDir::tempPath(), env); }},
    };
    for (const auto& [what, show] : dialogs) {
      std::optional<XState> state;
      test::OnNextModal([&state](QWidget* d) {
        auto* placement = d->findChild<TDialogPlacement*>();
        if (placement && QTest::qWaitFor([placement] { return placement->Placed(); }, 10000))
          state = ReadX(*d, DefaultPushButton(*qobject_cast<QDialog*>(d)));
        d->close();
      });
      show();
      QVERIFY2(state.has_value(), what);
      QCOMPARE(state->frame.topLeft(), Centred(state->frame.size()));
      QCOMPARE(state->pointer, state->target);
    }
  }

  void withoutSnapThePointerStays() {
    DialogState().SnapToDefaultButton = false;
    QCursor::setPos(7, 9);
    const auto s = Measure([] { AskYesNo(QStringLiteral("x")); });
    QVERIFY(s.has_value());
    QCOMPARE(s->pointer, QPoint(7, 9));
    QCOMPARE(s->frame.topLeft(), Centred(s->frame.size()));
  }
};

int main(int argc, char** argv) {
  // On the bare server, then under openbox.
  if (qEnvironmentVariableIsEmpty(kModeVariable))
    return test::RunUnderXvfb(argc, argv, kModeVariable, kScreenWidth, kScreenHeight, {{"none", {}}, {"openbox", {}}});
  QApplication app(argc, argv);
  WmPlacementTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "wm_placement_test.moc"
