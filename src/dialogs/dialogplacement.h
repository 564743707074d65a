#pragma once

// Where a dialog goes on the screen and where the mouse pointer goes then: its frame centred on the
// primary screen (or its frame's top-left at a point), the pointer onto its default button. A window
// manager adds its frame only once the window is mapped, so the position asked for is applied to the
// frame when the window is first exposed, and the pointer moves after that, when the window stands where
// it will stay. Serves the program's own dialogs and Qt's (message box, file, font and colour dialogs).

#include <QDialog>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <functional>
#include <optional>

class QWindow;

namespace velmora {

class TDialogPlacement : public QObject {
  Q_OBJECT
 public:
  // Watches the dialog, its parent, from now on.
  explicit TDialogPlacement(QDialog& dialog);

  // The frame centred on the primary screen: left = (screen width - frame width) div 2, top likewise.
  // Until the frame is known it is estimated from the last dialog's frame.
  void CentreOnScreen();
  // The frame's top-left corner at the point.
  void PlaceAt(const QPoint& topLeft);
  // The frame's top-left corner that the placement asks for, for a frame of the given size.
  QPoint PlacementFor(const QSize& frameSize) const;
  // True once the shown dialog stands where it was placed and the pointer snap, if any, is done.
  bool Placed() const { return placed_; }
  // Asked once the dialog is placed: the widget whose centre the pointer goes to; null for none.
  std::function<QWidget*()> SnapTarget;

 signals:
  // Emitted once per showing, when Placed() becomes true.
  void placed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Shown();
  void Exposed();
  void Moved();
  QRect Frame() const;
  void MoveFrameTo(const QPoint& topLeft);
  void FinishPlacement();

  QDialog& dialog_;
  // Unset: centred; else the frame's top-left.
  std::optional<QPoint> requestedTopLeft_;
  bool placementRequested_ = false;
  // Between the first expose and the move that puts the frame where it was asked for.
  bool awaitingMove_ = false;
  int unexpectedMoves_ = 0;
  QPoint target_;
  bool placed_ = false;
  QPointer<QWindow> watchedWindow_;
};

// Runs one of Qt's own dialogs modally as the program's own: centred from its frame, the pointer on its
// default button (while DialogState().SnapToDefaultButton is on). Gives exec()'s result.
int ExecPlaced(QDialog& dialog);

// The dialog's default push button (for a message box, its default button), or null.
QWidget* DefaultPushButton(const QDialog& dialog);

}  // namespace velmora
