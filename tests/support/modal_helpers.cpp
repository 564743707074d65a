#include "support/modal_helpers.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <memory>

namespace velmora::test {

QPointer<QTimer> OnNextModal(std::function<void(QWidget*)> action, QWidget* after) {
  auto* timer = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  // A raw pointer would keep matching a destroyed dialog's address, and the dialog that follows it is
  // often allocated there (release builds): the watch would skip it and nobody would answer it.
  QPointer<QWidget> previous(after);
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

namespace {

QString Describe(QWidget* dialog) {
  QString text = QString::fromLatin1(dialog->metaObject()->className()) + u' ' + dialog->objectName();
  if (!dialog->windowTitle().isEmpty()) text += QStringLiteral(" \"%1\"").arg(dialog->windowTitle());
  if (auto* box = qobject_cast<QMessageBox*>(dialog)) text += QStringLiteral(": ") + box->text();
  return text;
}

}  // namespace

void StartModalWatchdog() {
  static QPointer<QTimer> watchdog;
  if (watchdog) return;
  watchdog = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  auto seen = std::make_shared<QPointer<QWidget>>();
  QObject::connect(watchdog, &QTimer::timeout, watchdog, [clock, seen] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
      seen->clear();
      return;
    }
    if (modal != seen->data()) {
      *seen = modal;
      clock->start();
      return;
    }
    if (clock->elapsed() < kUnansweredModalMs) return;
    seen->clear();
    const QByteArray what = ("unanswered modal dialog " + Describe(modal)).toUtf8();
    QTest::qFail(what.constData(), __FILE__, __LINE__);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->done(QDialog::Rejected);
    } else {
      modal->close();
    }
  });
  watchdog->start(100);
}

void PressKey(QWidget* dialog, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
  QTest::keyClick(target, key, modifiers);
}

void TypeFileName(QWidget* fileDialog, const QString& path) {
  auto* dialog = qobject_cast<QFileDialog*>(fileDialog);
  QVERIFY(dialog);
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(name);
  const QFileInfo file(path);
  if (dialog->directory() != file.absoluteDir()) dialog->setDirectory(file.absolutePath());
  name->setText(file.fileName());
  QTRY_COMPARE(dialog->selectedFiles().value(0), path);
}

QWidget* FindTopLevel(const QString& objectName) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == objectName && w->isVisible()) return w;
  return nullptr;
}

}  // namespace velmora::test
