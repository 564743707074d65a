#pragma once

// The list-editing dialog: a memo with "OK"/"Anuluj", the "Kopiuj" and "Zapisz ..." links and Ctrl+F / Ctrl+L
// search. Esc closes it as "Anuluj" does; Enter in the memo starts a new line. It can be enlarged: the
// memo grows, links and buttons keep to the bottom edge.

#include <QList>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>

#include "dialogs/dialogform.h"

class QLabel;
class QPlainTextEdit;

namespace velmora {

class FileSystemCalls;

enum class TRowButtonKind : std::uint8_t { rbOK = 0, rbNo = 1, rbCancel = 2, rbClose = 3 };

class TFormRapDlg : public TDialogForm {
  Q_OBJECT
 public:
  // Client size of the dialog: its 342 x 290 window less a dialog frame (3 px sides, 25 px top incl. caption).
  static constexpr int kClientWidth = 336;
  static constexpr int kClientHeight = 262;

  explicit TFormRapDlg(QWidget* parent = nullptr);

  // The memo the dialog shows; made by EditStringList.
  QPlainTextEdit* Content = nullptr;

  // The memo's lines (a final empty line does not count, so lines put in come back equal).
  QStringList MemoLines() const;
  void SetMemoLines(const QStringList& lines);

  // "Kopiuj": the lines joined with CR LF on the clipboard, then DoneNotice. May throw.
  void LCopyClick();
  // "Zapisz ...": ChooseSaveFile (SaveFilter, SaveName), then SaveMemoTo. May throw.
  void LSaveClick();
  // What "Zapisz ..." offers: the filter and the proposed name (a full path starts there). Empty name:
  // the dialog's caption, as the folder lists have it.
  QString SaveFilter = QStringLiteral("Pliki tekstowe (*.txt)|*.TXT");
  QString SaveName;
  // The lines, each followed by CR LF, replacing the file only by the complete new one. Throws
  // std::runtime_error naming the file and the cause; the old file is then as it was.
  void SaveMemoTo(const QString& fileName) const;
  // The system calls the file is written with; null: the real ones. A test's seam for a full disk.
  const FileSystemCalls* FileCalls = nullptr;
  // Ctrl+F asks for a search text and searches; Ctrl+L searches again. The key still reaches the memo.
  void VLEKeyPress(const QKeyEvent& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};

// A blue underlined "Kopiuj" label at (20, client height - 50) and/or "Zapisz ..." 1.5 text heights below;
// a click runs LCopyClick / LSaveClick inside RunGuarded.
void AddLinkLabels(TFormRapDlg& form, bool withCopy, bool withSave);

// One to three 75 x 25 buttons in a row near the bottom, the one at defaultIndex the default button (the
// pointer snaps to it). None is a cancel button. Throws std::invalid_argument for another count.
QList<QPushButton*> AddButtonRow(TDialogForm& form, std::initializer_list<TRowButtonKind> kinds, int defaultIndex);

// A link of the caller's own, 1.5 text heights above "Kopiuj" ("Zapisz raport ..." of the "Błędy"
// report); the action runs inside RunGuarded. No action: no link.
struct TListLink {
  QString caption;
  QString objectName;
  std::function<void()> action;
};

// A new list with the edited lines after "OK", nothing after any other close. saveFilter and saveName:
// what "Zapisz ..." offers (TFormRapDlg); empty: the plain text filter and the title.
std::optional<QStringList> EditStringList(const QString& title, const QStringList& lines, bool readOnly,
                                          const QString& saveFilter = {}, const QString& saveName = {},
                                          const TListLink& extraLink = {});

}  // namespace velmora
