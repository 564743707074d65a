#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include "dialogs/dialogstate.h"
#include "dialogs/inputdialogs.h"
#include "dialogs/listdialog.h"
#include "support/faulty_calls.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;
using velmora::test::OnNextModal;
using velmora::test::PressKey;
using velmora::test::TypeFileName;

namespace {

QLineEdit* EditOf(QWidget* dialog) { return dialog->findChild<QLineEdit*>(QStringLiteral("Edit")); }
QPlainTextEdit* MemoOf(QWidget* dialog) { return dialog->findChild<QPlainTextEdit*>(QStringLiteral("Content")); }

void ClickLink(QWidget* dialog, const QString& name) {
  auto* link = dialog->findChild<QLabel*>(name);
  QVERIFY(link);
  QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
}

void SelectInMemo(QPlainTextEdit& memo, int start, int length) {
  QTextCursor c = memo.textCursor();
  c.setPosition(start);
  c.setPosition(start + length, QTextCursor::KeepAnchor);
  memo.setTextCursor(c);
}

}  // namespace

class InputDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ResetDialogState(); }

  void textInputConfirmsOrKeepsTheValue() {
    QString value = QStringLiteral("stary");
    OnNextModal([](QWidget* d) {
      QCOMPARE(d->windowTitle(), QStringLiteral("Podpis"));
      QCOMPARE(EditOf(d)->selectedText(), QStringLiteral("stary"));  // all selected: typing replaces it
      QTest::keyClicks(EditOf(d), QStringLiteral("nowy"));
      PressKey(d, Qt::Key_Return);
    });
    QVERIFY(TextInputDialog(QStringLiteral("Podpis"), QStringLiteral("Podpis:"), value, 255));
    QCOMPARE(value, QStringLiteral("nowy"));

    for (const bool closeBox : {false, true}) {
      OnNextModal([closeBox](QWidget* d) {
        QTest::keyClicks(EditOf(d), QStringLiteral("inny"));
        if (closeBox)
          d->close();
        else
          PressKey(d, Qt::Key_Escape);
      });
      QVERIFY(!TextInputDialog(QStringLiteral("Podpis"), QStringLiteral("Podpis:"), value, 255));
      QCOMPARE(value, QStringLiteral("nowy"));
    }
  }

  void typingStopsAtTheLimit() {
    QString value;
    OnNextModal([](QWidget* d) {
      QTest::keyClicks(EditOf(d), QString(300, QLatin1Char('a')));
      PressKey(d, Qt::Key_Return);
    });
    QVERIFY(TextInputDialog(QStringLiteral("x"), QStringLiteral("y"), value, 255));
    QCOMPARE(value.size(), 255);

    // A longer start value is shown whole; typing cannot make it longer, deleting shortens it.
    value = QString(300, QLatin1Char('b'));
    int shown = 0;
    OnNextModal([&](QWidget* d) {
      QLineEdit* e = EditOf(d);
      shown = static_cast<int>(e->text().size());
      e->end(false);
      QTest::keyClicks(e, QStringLiteral("cc"));
      QTest::keyClick(e, Qt::Key_Backspace);
      PressKey(d, Qt::Key_Return);
    });
    QVERIFY(TextInputDialog(QStringLiteral("x"), QStringLiteral("y"), value, 255));
    QCOMPARE(shown, 300);
    QCOMPARE(value, QString(299, QLatin1Char('b')));
  }

  void longPromptWrapsAndPushesTheFieldDown() {
    OnNextModal([](QWidget* d) {
      auto* prompt = d->findChild<QLabel*>(QStringLiteral("Prompt"));
      auto* cancel = d->findChild<QPushButton*>(QStringLiteral("Anuluj"));
      QVERIFY(prompt->geometry().right() < d->width());
      QVERIFY(prompt->height() > 2 * QFontMetrics(d->font()).height());
      QVERIFY(EditOf(d)->y() > prompt->geometry().bottom());
      QVERIFY(cancel->y() > EditOf(d)->geometry().bottom());
      QVERIFY(cancel->geometry().bottom() < d->height());
      PressKey(d, Qt::Key_Escape);
    });
    QString value;
    QString prompt;
    for (int i = 0; i < 30; ++i) prompt += QStringLiteral("słowo ");
    QVERIFY(!TextInputDialog(QStringLiteral("x"), prompt, value, 0));
  }

  void askTextGivesEmptyForEmptyAndCancel() {
    OnNextModal([](QWidget* d) {
      QCOMPARE(d->windowTitle(), QStringLiteral("Podaj"));
      EditOf(d)->clear();
      PressKey(d, Qt::Key_Return);
    });
    QCOMPARE(AskText(QStringLiteral("Podpis:"), QStringLiteral("Velmora"), 255), QString());
    OnNextModal([](QWidget* d) { PressKey(d, Qt::Key_Escape); });
    QCOMPARE(AskText(QStringLiteral("Podpis:"), QStringLiteral("Velmora"), 255), QString());
    OnNextModal([](QWidget* d) { PressKey(d, Qt::Key_Return); });
    QCOMPARE(AskText(QStringLiteral("Podpis:"), QStringLiteral("Velmora"), 255), QStringLiteral("Velmora"));
  }

  void listConfirmedUnchangedIsAnEqualCopy() {
    const QList<QStringList> lists = {{}, {""}, {"C:/zdjęcia", "/home/ala/Do"}, {"a", ""}, {"", "", "b"}};
    for (const QStringList& lines : lists) {
      OnNextModal([](QWidget* d) { d->findChild<QPushButton*>(QStringLiteral("OK"))->click(); });
      const auto result = EditStringList(QStringLiteral("Foldery Z"), lines, false);
      QVERIFY(result.has_value());
      QCOMPARE(*result, lines);
    }
  }

  void listKeysAndButtons() {
    // Esc closes it as "Anuluj".
    OnNextModal([](QWidget* d) { PressKey(d, Qt::Key_Escape); });
    QVERIFY(!EditStringList(QStringLiteral("Błędy"), {QStringLiteral("a")}, true).has_value());
    OnNextModal([&](QWidget* d) {
      QCOMPARE(d->windowTitle(), QStringLiteral("Foldery Do"));
      QPlainTextEdit* memo = MemoOf(d);
      QCOMPARE(d->focusWidget(), memo);
      memo->moveCursor(QTextCursor::End);
      QTest::keyClicks(memo, QStringLiteral("nowy"));
      PressKey(d, Qt::Key_Return);  // a new line, not "OK"
      QTest::keyClicks(memo, QStringLiteral("drugi"));
      QVERIFY(d->isVisible());
      d->findChild<QPushButton*>(QStringLiteral("OK"))->click();
    });
    auto result = EditStringList(QStringLiteral("Foldery Do"), {QStringLiteral("a")}, false);
    QVERIFY(result.has_value());
    QCOMPARE(*result, QStringList({"a", "nowy", "drugi"}));

    for (const bool closeBox : {false, true}) {
      OnNextModal([closeBox](QWidget* d) {
        QTest::keyClicks(MemoOf(d), QStringLiteral("zmiana"));
        if (closeBox)
          d->close();
        else
          d->findChild<QPushButton*>(QStringLiteral("Anuluj"))->click();
      });
      QVERIFY(!EditStringList(QStringLiteral("x"), {QStringLiteral("a")}, false).has_value());
    }
  }

  void listLayout() {
    OnNextModal([](QWidget* d) {
      auto* ok = d->findChild<QPushButton*>(QStringLiteral("OK"));
      auto* cancel = d->findChild<QPushButton*>(QStringLiteral("Anuluj"));
      const int cw = d->width(), ch = d->height();
      QCOMPARE(ok->geometry(), QRect(cw / 2 - 75 - 10, ch - 25 - 25, 75, 25));
      QCOMPARE(cancel->geometry(), QRect(cw / 2 + 10, ch - 25 - 25, 75, 25));
      QCOMPARE(MemoOf(d)->geometry(), QRect(0, 0, cw, 177));
      QVERIFY(MemoOf(d)->isReadOnly());
      auto* copy = d->findChild<QLabel*>(QStringLiteral("LCopy"));
      auto* save = d->findChild<QLabel*>(QStringLiteral("LSave"));
      QCOMPARE(copy->pos(), QPoint(20, ch - 50));
      QCOMPARE(copy->text(), QStringLiteral("Kopiuj"));
      QCOMPARE(save->text(), QStringLiteral("Zapisz ..."));
      QVERIFY(save->y() > copy->geometry().bottom());
      QCOMPARE(copy->palette().color(QPalette::WindowText), QColor(0, 0, 255));
      QVERIFY(copy->font().underline());
      // Enlarged: the memo grows, links and buttons keep to the bottom edge.
      const int saveTop = save->y();
      d->resize(cw + 100, ch + 80);
      QCOMPARE(MemoOf(d)->geometry(), QRect(0, 0, cw + 100, 177 + 80));
      QCOMPARE(cancel->geometry(), QRect((cw + 100) / 2 + 10, ch + 80 - 25 - 25, 75, 25));
      QCOMPARE(copy->pos(), QPoint(20, ch + 80 - 50));
      QCOMPARE(save->y(), saveTop + 80);
      cancel->click();
    });
    QVERIFY(!EditStringList(QStringLiteral("x"), {}, true).has_value());
  }

  void buttonRowOfThree() {
    TDialogForm form;
    form.SetClientSize(300, 200);
    const QList<QPushButton*> row =
        AddButtonRow(form, {TRowButtonKind::rbOK, TRowButtonKind::rbNo, TRowButtonKind::rbClose}, 1);
    QCOMPARE(row[0]->geometry(), QRect((300 - 75) / 2 - 75 - 20, 200 - 25 - 25, 75, 25));
    QCOMPARE(row[1]->x(), 150);
    QCOMPARE(row[2]->x(), 150 + 75 + 20);
    QCOMPARE(form.DefaultButton(), row[1]);
    QVERIFY(form.CancelButton() == nullptr);
    QCOMPARE(TDialogForm::ResultOf(row[2]), mrCancel);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, AddButtonRow(form, {}, 0));
  }

  void copyLinkPutsLinesOnClipboard() {
    for (const QStringList& lines : {QStringList{"a", "b"}, QStringList{}}) {
      QGuiApplication::clipboard()->setText(QStringLiteral("stale"));
      QString notice;
      OnNextModal([&](QWidget* d) {
        QTimer::singleShot(100, [&] {
          if (QWidget* w = velmora::test::FindTopLevel(QStringLiteral("FlashNotice")))
            notice = w->findChild<QLabel*>()->text();
        });
        ClickLink(d, QStringLiteral("LCopy"));
        d->close();
      });
      QVERIFY(!EditStringList(QStringLiteral("x"), lines, false).has_value());
      QCOMPARE(QGuiApplication::clipboard()->text(), lines.join(QStringLiteral("\r\n")));
      QCOMPARE(notice, QStringLiteral("Wykonano"));
    }
  }

  void saveLinkWritesCrLfLinesAndAsksBeforeOverwriting() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("foldery.txt"));
    QStringList filters;
    QString proposed;
    OnNextModal([&](QWidget* list) {
      OnNextModal(
          [&](QWidget* d) {
            auto* fd = qobject_cast<QFileDialog*>(d);
            QVERIFY(fd);
            filters = fd->nameFilters();
            proposed = fd->selectedFiles().value(0);
            TypeFileName(fd, path);
            static_cast<QDialog*>(fd)->accept();  // QFileDialog::accept, with its checks
          },
          list);
      ClickLink(list, QStringLiteral("LSave"));
      list->close();
    });
    EditStringList(QStringLiteral("Foldery Z"), {QStringLiteral("C:/zdjęcia"), QStringLiteral("b")}, false);
    QCOMPARE(filters, QStringList({"plik (*)", "Pliki tekstowe (*.txt)"}));
    QVERIFY(proposed.endsWith(QStringLiteral("Foldery Z")));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("C:/zdj\xc4\x99"
                                        "cia\r\nb\r\n"));
    file.close();

    // The file exists now: refusing the overwrite question leaves it as it is.
    bool asked = false;
    OnNextModal([&](QWidget* list) {
      OnNextModal(
          [&](QWidget* d) {
            auto* fd = qobject_cast<QFileDialog*>(d);
            OnNextModal(
                [&](QWidget* question) {
                  asked = qobject_cast<QMessageBox*>(question) != nullptr;
                  PressKey(question, Qt::Key_Escape);
                  fd->reject();
                },
                fd);
            TypeFileName(fd, path);
            static_cast<QDialog*>(fd)->accept();  // QFileDialog::accept, with its checks
          },
          list);
      ClickLink(list, QStringLiteral("LSave"));
      list->close();
    });
    EditStringList(QStringLiteral("Foldery Z"), {QStringLiteral("inne")}, false);
    QVERIFY(asked);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("C:/zdj\xc4\x99"
                                        "cia\r\nb\r\n"));
  }

  // A full disk under "Zapisz ...": the old file stays byte for byte, the message names the file and
  // the cause, and the dialog stays open with its text.
  void saveOnAFullDiskKeepsTheOldFileAndTheDialog() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("foldery.txt"));
    {
      QFile old(path);
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("stare\r\n");
    }
    velmora::test::FaultyCalls calls;
    calls.failAt = velmora::test::FaultyCalls::Step::Write;
    calls.writeBudget = 3;
    QString error;
    bool openAfter = false;
    QString memoAfter;
    OnNextModal([&](QWidget* list) {
      qobject_cast<TFormRapDlg*>(list)->FileCalls = &calls;
      OnNextModal(
          [&](QWidget* d) {
            auto* fd = qobject_cast<QFileDialog*>(d);
            QVERIFY(fd);
            // The overwrite question comes next, then the error.
            OnNextModal(
                [&](QWidget* question) {
                  OnNextModal(
                      [&](QWidget* box) {
                        error = qobject_cast<QMessageBox*>(box) ? qobject_cast<QMessageBox*>(box)->text() : QString();
                        PressKey(box, Qt::Key_Return);
                      },
                      question);
                  auto* box = qobject_cast<QMessageBox*>(question);
                  QVERIFY(box && box->button(QMessageBox::Yes));
                  box->button(QMessageBox::Yes)->click();
                },
                fd);
            TypeFileName(fd, path);
            static_cast<QDialog*>(fd)->accept();
          },
          list);
      ClickLink(list, QStringLiteral("LSave"));
      openAfter = list->isVisible();
      memoAfter = MemoOf(list)->toPlainText();
      list->close();
    });
    EditStringList(QStringLiteral("Foldery Z"), {QStringLiteral("nowe"), QStringLiteral("linie")}, false);
    QCOMPARE(error, QStringLiteral("Nie mogę zapisać pliku %1: brak miejsca na dysku.").arg(path));
    QVERIFY(openAfter);
    QCOMPARE(memoAfter, QStringLiteral("nowe\nlinie\n"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("stare\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("foldery.txt")});
  }

  void saveFilterSetup() {
    const struct {
      const char* filter;
      const char* proposed;
      const char* expectedFilter;
      int index;
      const char* ext;
    } rows[] = {
        {"Pliki tekstowe (*.txt)|*.TXT", "Foldery Z", "plik |*|Pliki tekstowe (*.txt)|*.TXT", 1, ""},
        {"Pliki tekstowe (*.txt)|*.TXT", "raport.txt", "Pliki tekstowe (*.txt)|*.TXT", 1, ".txt"},
        {"Obrazy|*.bmp;*.jpg|Tekst|*.txt", "a.JPG", "Obrazy|*.bmp;*.jpg|Tekst|*.txt", 1, ".JPG"},
        {"Obrazy|*.bmp;*.jpg|Tekst|*.txt", "dir.v2/a.txt", "Obrazy|*.bmp;*.jpg|Tekst|*.txt", 2, ".txt"},
        {"Obrazy|*.jpg|Tekst|*.txt", "a.jp", "plik .jp|*.jp|Obrazy|*.jpg|Tekst|*.txt", 1, ".jp"},
        {"*.txt", "a.txt", "*.txt", 1, ".txt"},
        {"*.txt", "a.csv", "plik .csv|*.csv|*.txt", 1, ".csv"},
        {"", "a.txt", "", 0, ""},
    };
    for (const auto& row : rows) {
      const TSaveFilter s = PrepareSaveFilter(QString::fromUtf8(row.filter), QString::fromUtf8(row.proposed));
      QCOMPARE(s.Filter, QString::fromUtf8(row.expectedFilter));
      QCOMPARE(s.Index, row.index);
      QCOMPARE(s.DefaultExt, QString::fromUtf8(row.ext));
    }
    QCOMPARE(QtNameFilters(QStringLiteral("Obrazy|*.bmp;*.jpg|plik .jp|*.jp")),
             QStringList({"Obrazy (*.bmp *.jpg)", "plik .jp (*.jp)"}));
  }

  void findInMemoWrapsOnceAndIgnoresCase() {
    QPlainTextEdit memo;
    memo.setPlainText(QStringLiteral("Łódź\nKraków\nłódź nowa"));
    DialogState().LastSearchText = QStringLiteral("ŁÓDŹ");
    SelectInMemo(memo, 0, 0);
    QVERIFY(FindInMemo(memo));
    QCOMPARE(memo.textCursor().selectionStart(), 0);
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("Łódź"));
    QVERIFY(FindInMemo(memo));
    QCOMPARE(memo.textCursor().selectionStart(), 12);
    QVERIFY(FindInMemo(memo));  // nothing after the selection: wraps to the first hit
    QCOMPARE(memo.textCursor().selectionStart(), 0);

    DialogState().LastSearchText = QStringLiteral("kraków");
    SelectInMemo(memo, 0, 0);
    QVERIFY(FindInMemo(memo));
    QCOMPARE(memo.textCursor().selectionStart(), 5);
    // Found only before the caret, but the caret is at the very start: no second search.
    DialogState().LastSearchText = QStringLiteral("Ł");
    memo.setPlainText(QStringLiteral("xŁ"));
    SelectInMemo(memo, 0, 2);
    QVERIFY(!FindInMemo(memo));
    QCOMPARE(memo.textCursor().selectionEnd(), 2);  // the selection stays
    DialogState().LastSearchText = QStringLiteral("brak");
    SelectInMemo(memo, 1, 0);
    QVERIFY(!FindInMemo(memo));
    QCOMPARE(memo.textCursor().position(), 1);
  }

  void searchKeysInTheListDialog() {
    // Ctrl+L with no search text yet asks first; Ctrl+F always asks, offering the last text.
    QString offeredByCtrlL = QStringLiteral("unset"), offeredByCtrlF, promptText;
    int selectedAfterL = -1, selectedAfterF = -1;
    OnNextModal([&](QWidget* list) {
      QPlainTextEdit* memo = MemoOf(list);
      OnNextModal(
          [&](QWidget* ask) {
            offeredByCtrlL = EditOf(ask)->text();
            promptText = ask->findChild<QLabel*>(QStringLiteral("Prompt"))->text();
            QTest::keyClicks(EditOf(ask), QStringLiteral("DRUGI"));
            PressKey(ask, Qt::Key_Return);
          },
          list);
      PressKey(list, Qt::Key_L, Qt::ControlModifier);
      selectedAfterL = memo->textCursor().selectionStart();
      OnNextModal(
          [&](QWidget* ask) {
            offeredByCtrlF = EditOf(ask)->text();
            EditOf(ask)->setText(QStringLiteral("trzeci"));
            PressKey(ask, Qt::Key_Return);
          },
          list);
      PressKey(list, Qt::Key_F, Qt::ControlModifier);
      selectedAfterF = memo->textCursor().selectionStart();
      list->close();
    });
    EditStringList(QStringLiteral("x"), {"pierwszy", "drugi", "trzeci"}, false);
    QCOMPARE(offeredByCtrlL, QString());
    QCOMPARE(promptText, QStringLiteral("Szukany tekst: "));
    QCOMPARE(selectedAfterL, 9);
    QCOMPARE(offeredByCtrlF, QStringLiteral("DRUGI"));
    QCOMPARE(selectedAfterF, 15);
    QCOMPARE(DialogState().LastSearchText, QStringLiteral("trzeci"));

    // Ctrl+F answered with nothing keeps the last text and does not search.
    OnNextModal([&](QWidget* list) {
      OnNextModal([&](QWidget* ask) { PressKey(ask, Qt::Key_Escape); }, list);
      PressKey(list, Qt::Key_F, Qt::ControlModifier);
      selectedAfterF = MemoOf(list)->textCursor().selectionStart();
      list->close();
    });
    EditStringList(QStringLiteral("x"), {"a trzeci"}, false);
    QCOMPARE(selectedAfterF, 0);
    QCOMPARE(DialogState().LastSearchText, QStringLiteral("trzeci"));
  }
};

VELMORA_QTEST_MAIN(InputDialogsTest)
#include "inputdialogs_test.moc"
