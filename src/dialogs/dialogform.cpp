#include "dialogs/dialogform.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>
#include <cstdlib>
#include <limits>

#include "dialogs/dialogplacement.h"
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
  placement_ = new TDialogPlacement(*this);
  placement_->SnapTarget = [this]() -> QWidget* { return snapOnShow_ ? defaultButton_ : nullptr; };
  connect(placement_, &TDialogPlacement::placed, this, &TDialogForm::placed);
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

void TDialogForm::CentreOnScreen() { placement_->CentreOnScreen(); }
void TDialogForm::PlaceAt(const QPoint& topLeft) { placement_->PlaceAt(topLeft); }
QPoint TDialogForm::PlacementFor(const QSize& frameSize) const { return placement_->PlacementFor(frameSize); }
bool TDialogForm::Placed() const { return placement_->Placed(); }

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
