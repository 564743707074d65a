#include "support/modal_helpers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <memory>

namespace velmora::test {

QPointer<QTimer> OnNextModal(std::function<void(QWidget*)> action, QWidget* after) {
  auto* timer = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  // Guarded: a next dialog may be built at the address of the one before, once that one is gone.
  const QPointer<QWidget> previous(after);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, previous, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != previous.data() && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    } else if (clock->elapsed() > 10000) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(5);
  return timer;
}

void CancelWatch(const QPointer<QTimer>& watch) {
  if (!watch) return;
  watch->stop();
  watch->deleteLater();
}

void PressKey(QWidget* dialog, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
  QTest::keyClick(target, key, modifiers);
}

QWidget* FindTopLevel(const QString& objectName) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == objectName && w->isVisible()) return w;
  return nullptr;
}

}  // namespace velmora::test
