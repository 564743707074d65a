#include "dialogs/dialogplacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "dialogs/dialogform.h"
#include "dialogs/dialogstate.h"

namespace velmora {

TDialogPlacement::TDialogPlacement(QDialog& dialog) : QObject(&dialog), dialog_(dialog) {
  dialog.installEventFilter(this);
}

QPoint TDialogPlacement::PlacementFor(const QSize& frameSize) const {
  if (requestedTopLeft_) return *requestedTopLeft_;
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(QPoint(0, 0), ScreenSize());
  return {area.left() + (area.width() - frameSize.width()) / 2, area.top() + (area.height() - frameSize.height()) / 2};
}

void TDialogPlacement::CentreOnScreen() {
  requestedTopLeft_.reset();
  placementRequested_ = true;
  // Once shown the frame is known; before, the last dialog's frame is the best guess.
  const QSize frame =
      dialog_.isVisible() ? dialog_.frameGeometry().size() : dialog_.size().grownBy(DialogState().LastFrameMargins);
  // move() places a window's frame; a window manager that has not framed it yet keeps that corner.
  dialog_.move(PlacementFor(frame));
}

void TDialogPlacement::PlaceAt(const QPoint& topLeft) {
  requestedTopLeft_ = topLeft;
  placementRequested_ = true;
  dialog_.move(topLeft);
}

void TDialogPlacement::Shown() {
  placed_ = false;
  awaitingMove_ = false;
  if (QWindow* window = dialog_.windowHandle(); window != watchedWindow_) {
    if (watchedWindow_) watchedWindow_->removeEventFilter(this);
    watchedWindow_ = window;
    if (window) window->installEventFilter(this);
  }
  // Without a platform window nothing will be exposed.
  if (!watchedWindow_) QMetaObject::invokeMethod(this, &TDialogPlacement::FinishPlacement, Qt::QueuedConnection);
}

bool TDialogPlacement::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &dialog_) {
    if (event->type() == QEvent::Show) Shown();
    if (event->type() == QEvent::Hide) placed_ = awaitingMove_ = false;
    return false;
  }
  // The platform window tells when the window is mapped and where it really went (the widget's own move
  // event also comes from move() itself, at once, before a window manager has moved anything). Looked at
  // once the window has handled the event, so the widget knows its position too.
  if (watched == watchedWindow_ && !placed_) {
    if (event->type() == QEvent::Expose && !awaitingMove_)
      QMetaObject::invokeMethod(this, &TDialogPlacement::Exposed, Qt::QueuedConnection);
    else if (event->type() == QEvent::Move && awaitingMove_)
      QMetaObject::invokeMethod(this, &TDialogPlacement::Moved, Qt::QueuedConnection);
  }
  return false;
}

// The platform window, not the widget: the widget learns the frame's margins only with its next move or
// resize, and a window manager may expose the window before either, so the widget's frame is the bare
// client then and a move through it misses the target by the margins.
QRect TDialogPlacement::Frame() const { return watchedWindow_->frameGeometry(); }

void TDialogPlacement::MoveFrameTo(const QPoint& topLeft) {
  target_ = topLeft;
  awaitingMove_ = true;
  // Through the client's corner: with a scale factor the frame's can fall between pixels.
  const QMargins margins = watchedWindow_->frameMargins();
  watchedWindow_->setPosition(topLeft + QPoint(margins.left(), margins.top()));
}

void TDialogPlacement::Exposed() {
  if (placed_ || awaitingMove_ || !watchedWindow_ || !watchedWindow_->isExposed()) return;
  if (!placementRequested_) {
    FinishPlacement();
    return;
  }
  const QRect frame = Frame();
  DialogState().LastFrameMargins = watchedWindow_->frameMargins();
  if (frame.topLeft() == PlacementFor(frame.size())) {
    FinishPlacement();
    return;
  }
  unexpectedMoves_ = 0;
  MoveFrameTo(PlacementFor(frame.size()));
}

void TDialogPlacement::Moved() {
  if (placed_ || !awaitingMove_ || !watchedWindow_) return;
  const QRect frame = Frame();
  if (frame.topLeft() == target_) {
    awaitingMove_ = false;
    FinishPlacement();
    return;
  }
  // Elsewhere: a window manager with its own idea, or a frame that changed on the way. Asked again, twice
  // at most; waiting without asking would wait for a move nobody makes.
  const QPoint target = PlacementFor(frame.size());
  if (++unexpectedMoves_ > 2 || frame.topLeft() == target) {
    awaitingMove_ = false;
    FinishPlacement();
    return;
  }
  MoveFrameTo(target);
}

void TDialogPlacement::FinishPlacement() {
  if (placed_ || !dialog_.isVisible()) return;
  placed_ = true;
  if (SnapTarget) {
    if (const QWidget* target = SnapTarget(); target && target->isVisible()) SnapPointerTo(target);
  }
  emit placed();
}

QWidget* DefaultPushButton(const QDialog& dialog) {
  if (const auto* box = qobject_cast<const QMessageBox*>(&dialog); box && box->defaultButton()) {
    return box->defaultButton();
  }
  for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
    if (button->isDefault() && button->isVisible()) return button;
  }
  return nullptr;
}

int ExecPlaced(QDialog& dialog) {
  auto* placement = new TDialogPlacement(dialog);
  const bool snap = DialogState().SnapToDefaultButton;
  placement->SnapTarget = [&dialog, snap]() -> QWidget* { return snap ? DefaultPushButton(dialog) : nullptr; };
  placement->CentreOnScreen();
  const int result = dialog.exec();
  delete placement;
  return result;
}

}  // namespace velmora
