#pragma once

// What every dialog of the program shares: modal results, layout in dialog units, the default and cancel
// buttons, the close box giving "cancel", the placement on the screen and the pointer snap onto the default
// button.

#include <QDialog>
#include <QMargins>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

class QFont;
class QKeyEvent;

namespace velmora {

class TDialogPlacement;

// The result of a dialog.
using TModalResult = std::int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;  // also the window's close box
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;
inline constexpr TModalResult mrNoToAll = 9;
inline constexpr TModalResult mrYesToAll = 10;

// a × b ÷ c rounded to the nearest integer (halves away from zero); -1 when c is 0.
int MulDiv(int a, int b, int c);

// Average character width (of "A".."Z" "a".."z", integer division by 52) and the text height of a font.
QSize AverageCharSize(const QFont& font);

// Dialog units of one font: a horizontal count n is n × width ÷ 4, a vertical count n × height ÷ 8.
struct TDialogUnits {
  explicit TDialogUnits(const QFont& font) : Char(AverageCharSize(font)) {}
  int H(int n) const { return MulDiv(n, Char.width(), 4); }
  int V(int n) const { return MulDiv(n, Char.height(), 8); }
  QSize Char;
};

// Size of the primary screen (a sane stand-in when there is none).
QSize ScreenSize();

// Base of the program's modal dialogs. Buttons carry a modal result; clicking one with a result other than 0
// closes the dialog with it. Esc presses the cancel button and does nothing without one; the close box
// gives mrCancel. Sizes given to it are client sizes. Placement and the pointer snap: TDialogPlacement.
class TDialogForm : public QDialog {
  Q_OBJECT
 public:
  explicit TDialogForm(QWidget* parent = nullptr);

  // A push button child with the caption ("&" marks the accelerator) and result, at the given bounds.
  QPushButton* AddResultButton(const QString& caption, TModalResult result, const QRect& bounds);
  static TModalResult ResultOf(const QPushButton* button);

  // Enter presses the default button (unless another button has the focus). When the pointer snap is on
  // (DialogState()) at this call, the pointer goes to the button's centre once the dialog is placed.
  void SetDefaultButton(QPushButton* button);
  QPushButton* DefaultButton() const { return defaultButton_; }
  void SetCancelButton(QPushButton* button) { cancelButton_ = button; }
  QPushButton* CancelButton() const { return cancelButton_; }

  void SetClientSize(int width, int height);
  // See TDialogPlacement.
  void CentreOnScreen();
  void PlaceAt(const QPoint& topLeft);
  QPoint PlacementFor(const QSize& frameSize) const;
  bool Placed() const;
  // Brings the window to the front, runs it modally and gives its result.
  TModalResult ShowModal();

  void reject() override;

 signals:
  // Emitted once per showing, when Placed() becomes true.
  void placed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Called when a button with result 0 is clicked.
  virtual void ZeroResultClicked(QPushButton*) {}

 private:
  QPushButton* defaultButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  bool snapOnShow_ = false;
  TDialogPlacement* placement_ = nullptr;
};

// Moves the mouse pointer to the centre of the widget at once.
void SnapPointerTo(const QWidget* widget);

}  // namespace velmora
