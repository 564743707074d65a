#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <stdexcept>

#include "dialogs/commandguard.h"
#include "dialogs/dialogstate.h"
#include "dialogs/messagedialogs.h"
#include "settings/eabort.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;
using velmora::test::OnNextModal;
using velmora::test::PressKey;

Q_DECLARE_METATYPE(TMessageButtons)

namespace {

using B = TMessageButton;

QStringList ButtonCaptions(const TMessageForm& form) {
  QStringList captions;
  for (const QPushButton* b : form.Buttons()) captions << b->text();
  return captions;
}

}  // namespace

class MessageDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setApplicationDisplayName(QStringLiteral("Velmoratest")); }
  void init() {
    ResetDialogState();
    QGuiApplication::clipboard()->clear();
  }

  void enterAndEscape_data() {
    QTest::addColumn<TMessageButtons>("buttons");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    // -1: the key leaves the dialog open; the close box then gives 2.
    QTest::newRow("OK enter") << TMessageButtons{B::mbOK} << int(Qt::Key_Return) << mrOk;
    QTest::newRow("OK esc, OK is also the cancel button") << TMessageButtons{B::mbOK} << int(Qt::Key_Escape) << mrOk;
    QTest::newRow("yes/no enter") << TMessageButtons{B::mbYes, B::mbNo} << int(Qt::Key_Return) << mrYes;
    QTest::newRow("yes/no esc presses Nie") << TMessageButtons{B::mbYes, B::mbNo} << int(Qt::Key_Escape) << mrNo;
    QTest::newRow("yes/no/cancel esc") << TMessageButtons{B::mbYes, B::mbNo, B::mbCancel} << int(Qt::Key_Escape)
                                       << mrCancel;
    QTest::newRow("OK/cancel enter") << TMessageButtons{B::mbOK, B::mbCancel} << int(Qt::Key_Enter) << mrOk;
    QTest::newRow("abort/retry/ignore enter presses retry")
        << TMessageButtons{B::mbAbort, B::mbRetry, B::mbIgnore} << int(Qt::Key_Return) << mrRetry;
    QTest::newRow("abort/retry/ignore esc does nothing")
        << TMessageButtons{B::mbAbort, B::mbRetry, B::mbIgnore} << int(Qt::Key_Escape) << -1;
    QTest::newRow("no buttons, enter does nothing") << TMessageButtons{} << int(Qt::Key_Return) << -1;
    QTest::newRow("no buttons, esc does nothing") << TMessageButtons{} << int(Qt::Key_Escape) << -1;
  }
  void enterAndEscape() {
    QFETCH(TMessageButtons, buttons);
    QFETCH(int, key);
    QFETCH(int, expected);
    bool stayedOpen = false;
    OnNextModal([&](QWidget* dialog) {
      PressKey(dialog, static_cast<Qt::Key>(key));
      if (dialog->isVisible()) {
        stayedOpen = true;
        dialog->close();
      }
    });
    const TModalResult result = MessageDialog(QStringLiteral("Treść"), TMessageKind::mtWarning, buttons, 0);
    if (expected == -1) {
      QVERIFY(stayedOpen);
      QCOMPARE(result, mrCancel);
    } else {
      QVERIFY(!stayedOpen);
      QCOMPARE(result, expected);
    }
  }

  void askYesNo() {
    OnNextModal([](QWidget* d) { PressKey(d, Qt::Key_Return); });
    QVERIFY(AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?")));
    OnNextModal([](QWidget* d) { PressKey(d, Qt::Key_Escape); });
    QVERIFY(!AskYesNo(QStringLiteral("x")));
    OnNextModal([](QWidget* d) { d->close(); });
    QVERIFY(!AskYesNo(QStringLiteral("x")));
  }

  void helpButtonCallsHelpAndStaysOpen() {
    int context = -1;
    DialogState().HelpHandler = [&](int c, const QString&) { context = c; };
    bool stayedOpen = false;
    OnNextModal([&](QWidget* d) {
      d->findChild<QPushButton*>(QStringLiteral("Pomoc"))->click();
      stayedOpen = d->isVisible();
      d->close();
    });
    QCOMPARE(MessageDialog(QStringLiteral("x"), TMessageKind::mtInformation, {B::mbOK, B::mbHelp}, 77), mrCancel);
    QVERIFY(stayedOpen);
    QCOMPARE(context, 77);
  }

  void captionsButtonsAndIcons() {
    const struct {
      TMessageKind kind;
      QString caption;
      bool icon;
    } rows[] = {{TMessageKind::mtWarning, "Uwaga", true},
                {TMessageKind::mtError, "Błąd", true},
                {TMessageKind::mtInformation, "Informacja", true},
                {TMessageKind::mtConfirmation, "Pytanie", true},
                {TMessageKind::mtCustom, "Velmoratest", false}};
    for (const auto& row : rows) {
      auto form = CreateMessageForm(QStringLiteral("Tekst"), row.kind, {B::mbOK});
      QCOMPARE(form->windowTitle(), row.caption);
      QCOMPARE(form->IconImage() != nullptr, row.icon);
      const int labelLeft = form->MessageLabel()->x();
      if (row.icon) {
        QCOMPARE(form->IconImage()->geometry().size(), QSize(32, 32));
        QVERIFY(labelLeft > form->IconImage()->geometry().right());
      } else {
        QCOMPARE(labelLeft, TDialogUnits(form->font()).H(8));
      }
    }
    auto all = CreateMessageForm(QStringLiteral("x"), TMessageKind::mtCustom,
                                 {B::mbHelp, B::mbYesToAll, B::mbNoToAll, B::mbAll, B::mbIgnore, B::mbRetry, B::mbAbort,
                                  B::mbCancel, B::mbOK, B::mbNo, B::mbYes});
    QCOMPARE(ButtonCaptions(*all), QStringList({"&Tak", "&Nie", "OK", "Anuluj", "&Zaniechaj", "Po&nów", "Z&ignoruj",
                                                "&Wszystko", "Ni&e wszystko", "Tak w&szystko", "&Pomoc"}));
  }

  void buttonsShareOneWidthAndFollowTheirCaptions() {
    auto yesNo = CreateMessageForm(QStringLiteral("x"), TMessageKind::mtConfirmation, {B::mbYes, B::mbNo});
    const TDialogUnits du(yesNo->font());
    QCOMPARE(yesNo->Buttons()[0]->width(), du.H(50));  // short captions: the minimum width
    QCOMPARE(yesNo->Buttons()[1]->geometry().left() - yesNo->Buttons()[0]->geometry().right() - 1, du.H(4));
    QCOMPARE(yesNo->Buttons()[0]->height(), du.V(14));
    // The row is centred.
    QCOMPARE(yesNo->Buttons()[0]->x(), yesNo->width() - yesNo->Buttons()[1]->geometry().right() - 1);

    auto wide =
        CreateMessageForm(QStringLiteral("x"), TMessageKind::mtConfirmation, {B::mbYes, B::mbNoToAll, B::mbYesToAll});
    const int captionWidth =
        QFontMetrics(wide->font()).size(Qt::TextShowMnemonic, QStringLiteral("Ni&e wszystko")).width();
    for (const QPushButton* b : wide->Buttons()) QVERIFY(b->width() >= captionWidth + 8);
    QCOMPARE(wide->Buttons()[0]->width(), wide->Buttons()[2]->width());

    // A measured width stays for the process, whatever the font.
    DialogState().ButtonWidthCache[static_cast<int>(B::mbOK)] = 300;
    auto cached = CreateMessageForm(QStringLiteral("x"), TMessageKind::mtInformation, {B::mbOK});
    QCOMPARE(cached->Buttons()[0]->width(), 300);
    QVERIFY(cached->width() >= 300 + 2 * du.H(8));
  }

  void sizeFollowsText() {
    auto small = CreateMessageForm(QStringLiteral("Krótko"), TMessageKind::mtWarning, {B::mbOK});
    auto longer = CreateMessageForm(QStringLiteral("Znacznie dłuższy tekst komunikatu w jednym wierszu"),
                                    TMessageKind::mtWarning, {B::mbOK});
    QVERIFY(longer->width() > small->width());
    const TDialogUnits du(small->font());
    // Icon, spacing, text and margins side by side; the text at least 32 high beside the icon.
    QCOMPARE(longer->width(), longer->MessageLabel()->geometry().right() + 1 + du.H(8));
    QCOMPARE(longer->MessageLabel()->x(), du.H(8) + 32 + du.H(10));
    QCOMPARE(small->height(), 32 + du.V(14) + du.V(10) + 2 * du.V(8));

    // Lines break between words at half the screen width; a single long word makes the text wider.
    const int halfScreen = ScreenSize().width() / 2;
    QString words;
    for (int i = 0; i < 60; ++i) words += QStringLiteral("słowo ");
    auto wrapped = CreateMessageForm(words, TMessageKind::mtCustom, {B::mbOK});
    QVERIFY(wrapped->MessageLabel()->width() <= halfScreen);
    QVERIFY(wrapped->MessageLabel()->height() >= 3 * QFontMetrics(wrapped->font()).height());
    auto oneWord = CreateMessageForm(QString(200, QLatin1Char('W')), TMessageKind::mtCustom, {B::mbOK});
    QVERIFY(oneWord->width() > halfScreen);

    // "&" is an accelerator mark, not measured; tabs are expanded.
    auto amp = CreateMessageForm(QStringLiteral("Zapisz&Zamknij"), TMessageKind::mtCustom, {});
    auto plain = CreateMessageForm(QStringLiteral("ZapiszZamknij"), TMessageKind::mtCustom, {});
    QCOMPARE(amp->MessageLabel()->width(), plain->MessageLabel()->width());
    auto tab = CreateMessageForm(QStringLiteral("a\tb"), TMessageKind::mtCustom, {});
    QVERIFY(tab->MessageLabel()->width() >= 8 * QFontMetrics(tab->font()).horizontalAdvance(QLatin1Char('x')));

    // Centred on the screen.
    const QSize screen = ScreenSize();
    QCOMPARE(small->x(), (screen.width() - small->width()) / 2);
    QCOMPARE(small->y(), (screen.height() - small->height()) / 2);
  }

  void pointerSnapsToDefaultButtonOnceShown() {
    // Not while the dialog is only built: its frame, and so where the button will be, is not known yet.
    QCursor::setPos(5, 5);
    auto form = CreateMessageForm(QStringLiteral("x"), TMessageKind::mtConfirmation, {B::mbYes, B::mbNo});
    const QPushButton* yes = form->Buttons()[0];
    QCOMPARE(form->DefaultButton(), yes);
    QCOMPARE(form->CancelButton(), form->Buttons()[1]);
    QCOMPARE(QCursor::pos(), QPoint(5, 5));
    form->show();
    QVERIFY(QTest::qWaitFor([&] { return form->Placed(); }, 5000));
    QCOMPARE(QCursor::pos(), yes->mapToGlobal(QPoint(yes->width() / 2, yes->height() / 2)));
    QCOMPARE(form->frameGeometry().topLeft(), form->PlacementFor(form->frameGeometry().size()));
    form->hide();

    // The snap setting counts as it was when the dialog was built.
    DialogState().SnapToDefaultButton = false;
    QCursor::setPos(5, 5);
    auto quiet = CreateMessageForm(QStringLiteral("x"), TMessageKind::mtConfirmation, {B::mbYes, B::mbNo});
    DialogState().SnapToDefaultButton = true;
    quiet->show();
    QVERIFY(QTest::qWaitFor([&] { return quiet->Placed(); }, 5000));
    QCOMPARE(QCursor::pos(), QPoint(5, 5));
  }

  void ctrlCCopiesTheDialogText() {
    const QString divider = QString(27, QLatin1Char('-')) + QStringLiteral("\r\n");
    const QString message = QStringLiteral("Czy na pewno?");
    QString afterCtrlC, afterOtherChords;
    OnNextModal([&](QWidget* d) {
      PressKey(d, Qt::Key_C, Qt::ControlModifier);
      afterCtrlC = QGuiApplication::clipboard()->text();
      QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
      PressKey(d, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
      PressKey(d, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
      afterOtherChords = QGuiApplication::clipboard()->text();
      PressKey(d, Qt::Key_Escape);
    });
    QVERIFY(!AskYesNo(message));
    QCOMPARE(afterCtrlC, divider + "Pytanie\r\n" + divider + message + "\r\n" + divider + "Tak   Nie   \r\n" + divider);
    QCOMPARE(afterOtherChords, QStringLiteral("untouched"));
  }

  void errorNoticeShowsThenAborts() {
    QString caption;
    QStringList buttons;
    OnNextModal([&](QWidget* d) {
      caption = d->windowTitle();
      for (const QPushButton* b : d->findChildren<QPushButton*>()) buttons << b->text();
      PressKey(d, Qt::Key_Escape);
    });
    QVERIFY_THROWS_EXCEPTION(EAbort, ErrorNotice(QStringLiteral("Nie wskazano folderów")));
    QCOMPARE(caption, QStringLiteral("Uwaga"));
    QCOMPARE(buttons, QStringList{"OK"});

    // At the pointer: the top-left corner lies there, and the snap setting comes back.
    QCursor::setPos(40, 30);
    QPoint shownAt;
    OnNextModal([&](QWidget* d) {
      shownAt = d->pos();
      PressKey(d, Qt::Key_Return);
    });
    QVERIFY_THROWS_EXCEPTION(EAbort, ErrorNotice(QStringLiteral("x"), true));
    QCOMPARE(shownAt, QPoint(40, 30));
    QVERIFY(DialogState().SnapToDefaultButton);
    QCOMPARE(QCursor::pos(), QPoint(40, 30));

    QVERIFY_THROWS_EXCEPTION(EAbort, BeepAndAbort());
  }

  void guardShowsMessagesAndSwallowsAbort() {
    const struct {
      const char* message;
      const char* shown;
    } rows[] = {{"Czy plik istnieje?", "Czy plik istnieje?."},
                {"Nie mogę otworzyć schowka", "Nie mogę otworzyć schowka."},
                {"Koniec!", "Koniec!"},
                {"Gotowe.", "Gotowe."},
                {"Wynik (2)", "Wynik (2)"},
                {"plik ł", "plik ł."},
                {"", ""}};
    for (const auto& row : rows)
      QCOMPARE(ExceptionDisplayText(QString::fromUtf8(row.message)), QString::fromUtf8(row.shown));

    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    OnNextModal([&](QWidget* d) {
      auto* box = qobject_cast<QMessageBox*>(d);
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttonCount = static_cast<int>(box->buttons().size());
      PressKey(d, Qt::Key_Return);
    });
    QVERIFY(!RunGuarded([] { throw std::runtime_error("Czy plik istnieje?"); }));
    QCOMPARE(title, QStringLiteral("Velmoratest"));
    QCOMPARE(text, QStringLiteral("Czy plik istnieje?."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttonCount, 1);

    // EAbort ends the command without any dialog.
    bool dialogShown = false;
    const auto watch = OnNextModal([&](QWidget* d) {
      dialogShown = true;
      d->close();
    });
    QVERIFY(!RunGuarded([] { throw EAbort(); }));
    velmora::test::CancelWatch(watch);
    QVERIFY(!dialogShown);
    QVERIFY(RunGuarded([] {}));

    OnNextModal([&](QWidget* d) {
      text = static_cast<QMessageBox*>(d)->text();
      PressKey(d, Qt::Key_Escape);
    });
    QVERIFY(!RunGuarded([] { throw 42; }));
    QCOMPARE(text, QStringLiteral("Nieznany błąd."));
  }

  void aboutText() {
    const QString cr("\r");
    QCOMPARE(AboutText(QStringLiteral("2011-2016")), QStringLiteral("Velmora 2011-2016 ver ") + VELMORA_VERSION + cr +
                                                         cr + "https://velmora.app" + cr + "kontakt@velmora.app" + cr +
                                                         cr);
    QVERIFY(AboutText(QString()).startsWith(QStringLiteral("Velmora Velmoratest ver ")));
    QString caption;
    int lines = 0;
    OnNextModal([&](QWidget* d) {
      caption = d->windowTitle();
      lines = d->findChild<QWidget*>(QStringLiteral("Message"))->height() / QFontMetrics(d->font()).lineSpacing();
      PressKey(d, Qt::Key_Return);
    });
    ShowAbout(QStringLiteral("2011-2016"));
    QCOMPARE(caption, QStringLiteral("Informacja"));
    QVERIFY(lines >= 4);  // CR alone breaks the lines
  }

  void flashNoticeStandsForItsTime() {
    QSize size;
    QString text;
    QTimer::singleShot(100, [&] {
      if (QWidget* w = velmora::test::FindTopLevel(QStringLiteral("FlashNotice"))) {
        size = w->size();
        text = w->findChild<QLabel*>()->text();
      }
    });
    QElapsedTimer clock;
    clock.start();
    DoneNotice();
    QVERIFY(clock.elapsed() >= 490);
    QCOMPARE(text, QStringLiteral("Wykonano"));
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    QCOMPARE(size, QSize(fm.horizontalAdvance(QStringLiteral("Wykonano")) + 15, fm.height() + 5));
    QVERIFY(velmora::test::FindTopLevel(QStringLiteral("FlashNotice")) == nullptr);

    QTimer::singleShot(50, [&] {
      if (QWidget* w = velmora::test::FindTopLevel(QStringLiteral("FlashNotice"))) size = w->size();
    });
    FlashNotice(QStringLiteral("a\rdłuższy wiersz\rb"), 0.2);
    QCOMPARE(size, QSize(fm.horizontalAdvance(QStringLiteral("dłuższy wiersz")) + 15, 3 * fm.height() + 5));
  }
};

VELMORA_QTEST_MAIN(MessageDialogsTest)
#include "messagedialogs_test.moc"
