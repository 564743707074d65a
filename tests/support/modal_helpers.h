#pragma once

// Driving modal dialogs from inside their own event loops.

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace velmora::test {

// Runs the action on the next modal widget that is not `after`, once it is active. Polls from a timer, so
// it works from before the exec() that shows the dialog; gives up after ten seconds. The returned timer
// (null once done) can be stopped with CancelWatch. `after` is watched through a QPointer: once it is
// gone, a new dialog that the allocator put at its old address is still a new dialog.
QPointer<QTimer> OnNextModal(std::function<void(QWidget* dialog)> action, QWidget* after = nullptr);

void CancelWatch(const QPointer<QTimer>& watch);

// A modal dialog that stays open longer than this is one no watch answered: the watchdog fails the
// running test and closes the dialog, so the test ends within seconds instead of hanging in its exec().
inline constexpr int kUnansweredModalMs = 8000;

// Starts the application-wide watchdog (once; VELMORA_QTEST_MAIN does it).
void StartModalWatchdog();

// Key press and release at the dialog's focus widget (the dialog itself when nothing has the focus).
void PressKey(QWidget* dialog, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Puts path into a Qt file dialog's name field. QFileDialog::selectFile leaves the field alone while it
// has the focus, which the dialog gives it at some moment after it is shown.
void TypeFileName(QWidget* fileDialog, const QString& path);

// The visible top-level widget with this object name, or null.
QWidget* FindTopLevel(const QString& objectName);

}  // namespace velmora::test
