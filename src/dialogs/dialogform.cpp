#include "dialogs/dialogform.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>
#include <cstdlib>
#include <limits>

#include "dialogs/dialogstate.h"

namespace velmora {

namespace {
constexpr const char* kResultProperty = "velmoraModalResult";
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const std::uint64_t num = static_cast<std::uint64_t>(product < 0 ? -product : product);
  const std::uint64_t den = static_cast<std::uint64_t>(std::llabs(c));
  const std::uint64_t q = (num + den / 2) / den;
  if (q > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return -1;
  return negative ? -static_cast<int>(q) : static_cast<int>(q);
}

QSize AverageCharSize(const QFont& font) {
  const QFontMetrics fm(font);
  const int total = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {total / 52, fm.height()};
}

QSize ScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize(1024, 768);
}

TDialogForm::TDialogForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setModal(true);
  setSizeGripEnabled(false);
}

QPushButton* TDialogForm::AddResultButton(const QString& caption, TModalResult result, const QRect& bounds) {
  auto* button = new QPushButton(caption, this);
  button->setProperty(kResultProperty, result);
  button->setGeometry(bounds);
  button->setAutoDefault(true);
  connect(button, &QPushButton::clicked, this, [this, button] {
    const TModalResult r = ResultOf(button);
    if (r != mrNone)
      done(r);
    else
      ZeroResultClicked(button);
  });
  return button;
}

TModalResult TDialogForm::ResultOf(const QPushButton* button) {
  return button ? button->property(kResultProperty).toInt() : mrNone;
}

void TDialogForm::SetDefaultButton(QPushButton* button) {
  defaultButton_ = button;
  snapOnShow_ = button != nullptr && DialogState().SnapToDefaultButton;
  if (!button) return;
  button->setDefault(true);
}

void TDialogForm::SetClientSize(int width, int height) { setFixedSize(width, height); }

QPoint TDialogForm::PlacementFor(const QSize& frameSize) const {
  if (requestedTopLeft_) return *requestedTopLeft_;
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(QPoint(0, 0), ScreenSize());
  return {area.left() + (area.width() - frameSize.width()) / 2, area.top() + (area.height() - frameSize.height()) / 2};
}

void TDialogForm::CentreOnScreen() {
  requestedTopLeft_.reset();
  placementRequested_ = true;
  // Once shown the frame is known; before, the last dialog's frame is the best guess.
  const QSize frame = isVisible() ? frameGeometry().size() : size().grownBy(DialogState().LastFrameMargins);
  MoveFrameTo(PlacementFor(frame));
}

void TDialogForm::PlaceAt(const QPoint& topLeft) {
  requestedTopLeft_ = topLeft;
  placementRequested_ = true;
  MoveFrameTo(topLeft);
}

void TDialogForm::MoveFrameTo(const QPoint& topLeft) {
  // move() places a window's frame; a window manager that has not framed it yet keeps that corner.
  move(topLeft);
}

void TDialogForm::showEvent(QShowEvent* event) {
  placed_ = false;
  awaitingMove_ = false;
  if (QWindow* window = windowHandle(); window != watchedWindow_) {
    if (watchedWindow_) watchedWindow_->removeEventFilter(this);
    watchedWindow_ = window;
    if (window) window->installEventFilter(this);
  }
  QDialog::showEvent(event);
  // Without a platform window nothing will be exposed.
  if (!watchedWindow_) FinishPlacement();
}

void TDialogForm::hideEvent(QHideEvent* event) {
  placed_ = false;
  awaitingMove_ = false;
  QDialog::hideEvent(event);
}

bool TDialogForm::eventFilter(QObject* watched, QEvent* event) {
  // The platform window tells when the window is mapped and where it really went (the widget's own move
  // event also comes from move() itself, at once, before a window manager has moved anything). Looked at
  // once the window has handled the event, so the widget knows its position too.
  if (watched == watchedWindow_ && !placed_) {
    if (event->type() == QEvent::Expose && !awaitingMove_)
      QMetaObject::invokeMethod(this, &TDialogForm::Exposed, Qt::QueuedConnection);
    else if (event->type() == QEvent::Move && awaitingMove_)
      QMetaObject::invokeMethod(this, &TDialogForm::Moved, Qt::QueuedConnection);
  }
  return QDialog::eventFilter(watched, event);
}

void TDialogForm::Exposed() {
  if (placed_ || awaitingMove_ || !watchedWindow_ || !watchedWindow_->isExposed()) return;
  if (!placementRequested_) {
    FinishPlacement();
    return;
  }
  const QRect frame = frameGeometry();
  const QRect client = geometry();
  DialogState().LastFrameMargins = QMargins(client.left() - frame.left(), client.top() - frame.top(),
                                            frame.right() - client.right(), frame.bottom() - client.bottom());
  target_ = PlacementFor(frame.size());
  if (frame.topLeft() == target_) {
    FinishPlacement();
    return;
  }
  awaitingMove_ = true;
  unexpectedMoves_ = 0;
  move(target_);
}

void TDialogForm::Moved() {
  if (placed_ || !awaitingMove_) return;
  // A window manager that puts the window elsewhere gets two tries.
  if (frameGeometry().topLeft() == target_ || ++unexpectedMoves_ >= 2) {
    awaitingMove_ = false;
    FinishPlacement();
  }
}

void TDialogForm::FinishPlacement() {
  if (placed_) return;
  placed_ = true;
  if (snapOnShow_ && defaultButton_ && defaultButton_->isVisible()) SnapPointerTo(defaultButton_);
  emit placed();
}

TModalResult TDialogForm::ShowModal() {
  raise();
  activateWindow();
  return exec();
}

void TDialogForm::reject() { done(mrCancel); }

void TDialogForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    // Only a cancel button answers Esc; without one the dialog stays.
    if (cancelButton_ && cancelButton_->isVisible() && cancelButton_->isEnabled()) cancelButton_->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void SnapPointerTo(const QWidget* widget) {
  if (!widget) return;
  QCursor::setPos(widget->mapToGlobal(QPoint(widget->width() / 2, widget->height() / 2)));
}

}  // namespace velmora
