#include "dialogs/dialogform.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
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
  if (!button) return;
  button->setDefault(true);
}

void TDialogForm::SetClientSize(int width, int height) { setFixedSize(width, height); }

void TDialogForm::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(QPoint(0, 0), ScreenSize());
  // Before the first show the frame is unknown, so the window size is the client size.
  const QSize window = frameGeometry().size().expandedTo(size());
  move(area.left() + (area.width() - window.width()) / 2, area.top() + (area.height() - window.height()) / 2);
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

void SnapPointerTo(const QWidget* button) {
  if (!button || !DialogState().SnapToDefaultButton) return;
  QCursor::setPos(button->mapToGlobal(QPoint(button->width() / 2, button->height() / 2)));
}

}  // namespace velmora
