#pragma once

// Modal message dialogs with Polish captions and buttons, laid out in dialog units of the message font,
// and the few calls built on them. ErrorNotice and BeepAndAbort end the running command with EAbort, so
// they may only be called inside RunGuarded (commandguard.h).

#include <QString>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>

#include "dialogs/dialogform.h"

class QLabel;

namespace velmora {

// The order matters: it indexes the caption and icon tables.
enum class TMessageKind : std::uint8_t {
  mtWarning = 0,
  mtError = 1,
  mtInformation = 2,
  mtConfirmation = 3,
  mtCustom = 4
};

// The value is the bit number in TMessageButtons and the left-to-right order of the buttons.
enum class TMessageButton : std::uint8_t {
  mbYes = 0,
  mbNo = 1,
  mbOK = 2,
  mbCancel = 3,
  mbAbort = 4,
  mbRetry = 5,
  mbIgnore = 6,
  mbAll = 7,
  mbNoToAll = 8,
  mbYesToAll = 9,
  mbHelp = 10,
};
inline constexpr int kMessageButtonCount = 11;

// A 16-bit set of TMessageButton.
class TMessageButtons {
 public:
  constexpr TMessageButtons() = default;
  constexpr TMessageButtons(std::initializer_list<TMessageButton> buttons) {
    for (TMessageButton b : buttons) bits_ = static_cast<std::uint16_t>(bits_ | Bit(b));
  }
  constexpr bool Contains(TMessageButton b) const { return (bits_ & Bit(b)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint16_t Bits() const { return bits_; }
  constexpr int Count() const {
    int n = 0;
    for (int i = 0; i < kMessageButtonCount; ++i) n += (bits_ >> i) & 1;
    return n;
  }

 private:
  static constexpr std::uint16_t Bit(TMessageButton b) {
    return static_cast<std::uint16_t>(1u << static_cast<unsigned>(b));
  }
  std::uint16_t bits_ = 0;
};

// "Uwaga", "Błąd", "Informacja", "Pytanie"; the application title for mtCustom.
QString MessageKindCaption(TMessageKind kind);
// "&Tak", "&Nie", "OK", "Anuluj", ... as shown on the buttons.
QString MessageButtonCaption(TMessageButton button);
TModalResult MessageButtonResult(TMessageButton button);
// The application's title: QGuiApplication::applicationDisplayName() (set it in main()).
QString ApplicationTitle();

// The message dialog. Ctrl+C (Ctrl alone) beeps and puts DialogClipboardText on the clipboard.
class TMessageForm : public TDialogForm {
  Q_OBJECT
 public:
  explicit TMessageForm(QWidget* parent = nullptr);

  QWidget* MessageLabel() const { return message_; }
  QLabel* IconImage() const { return icon_; }
  QString MessageText() const { return text_; }
  // The buttons in creation (left-to-right) order.
  const QList<QPushButton*>& Buttons() const { return buttons_; }
  int HelpContext = 0;
  QString HelpFile;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void ZeroResultClicked(QPushButton* button) override;

 private:
  friend std::unique_ptr<TMessageForm> CreateMessageForm(const QString&, TMessageKind, TMessageButtons,
                                                         std::optional<TMessageButton>);
  bool HandleCopyKey(const QKeyEvent* event);

  QWidget* message_ = nullptr;
  QLabel* icon_ = nullptr;
  QString text_;
  QList<QPushButton*> buttons_;
};

// Builds the dialog: laid out, centred on the screen, the pointer on its default button; not shown. The
// default button is OK, else Yes, else Retry, unless defaultButton (one of the set) says otherwise.
std::unique_ptr<TMessageForm> CreateMessageForm(const QString& text, TMessageKind kind, TMessageButtons buttons,
                                                std::optional<TMessageButton> defaultButton = std::nullopt);

// The Ctrl+C text: dividers (27 "-" and CR LF), caption, message, button captions without "&" each followed
// by three spaces.
QString DialogClipboardText(const TMessageForm& form);

// Shows the dialog and gives its result; x, y < 0 (both) centres it, otherwise its top-left is (x, y).
TModalResult MessageDialogAt(const QString& text, TMessageKind kind, TMessageButtons buttons, int helpContext, int x,
                             int y, const QString& helpFile);
TModalResult MessageDialog(const QString& text, TMessageKind kind, TMessageButtons buttons, int helpContext);

// A warning with OK, then throws EAbort. atPointer puts the dialog's top-left at the mouse pointer.
[[noreturn]] void ErrorNotice(const QString& text, bool atPointer = false);
// The default beep, then throws EAbort.
[[noreturn]] void BeepAndAbort();
void InfoNotice(const QString& text);
// Confirmation with "&Tak"/"&Nie": true exactly for "&Tak". Enter and the pointer go to "&Tak".
bool AskYesNo(const QString& text);
// The same question where "&Tak" destroys files: Enter and the pointer go to "&Nie".
bool AskYesNoDefaultNo(const QString& text);
// "Velmora <product> ver <version>", then the contact block, CR-separated, in an InfoNotice.
QString AboutText(const QString& productText);
void ShowAbout(const QString& productText);

// A borderless blue box with the text in bold yellow, centred, for the given time; events keep running.
void FlashNotice(const QString& text, double seconds);
// FlashNotice("Wykonano", 0.5).
void DoneNotice();

// Plain text on the clipboard; without one throws std::runtime_error with the failure message (the list
// dialog's "Kopiuj" link reports "Cannot open clipboard").
void PutTextOnClipboard(const QString& text, const char* failureMessage = "Nie mogę otworzyć schowka");

}  // namespace velmora
