// The settings file seen from the window: telling the user when it was not read or could not be
// written, and writing it at the end of the desktop session and on a termination signal.

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include "app/form1.h"
#include "dialogs/commandguard.h"
#include "dialogs/messagedialogs.h"
#include "settings/environment.h"

namespace velmora {

namespace {

// A warning with OK, as the program's other messages; nothing here may end the caller's work.
void Warn(const QString& text) {
  RunGuarded([&text] { ErrorNotice(text); });
}

// While a run is still on its way to its next check, the window refuses to close; ask again soon.
constexpr int kQuitRetryMs = 200;

}  // namespace

void TForm1::WarnIfSettingsUnread() {
  if (!env_.StartupProblem().isEmpty()) Warn(env_.StartupProblem());
}

void TForm1::SaveSettingsFile() {
  // After a termination signal the failure goes to stderr only (the environment writes it there).
  if (env_.SaveSettings() == TSaveOutcome::Failed && !quitting_) Warn(env_.SaveProblem());
}

void TForm1::SaveSession(bool mayShow) {
  StoreSettings();
  if (env_.SaveSettings() == TSaveOutcome::Failed && mayShow) Warn(env_.SaveProblem());
}

void TForm1::RequestQuit() {
  // From now on nothing opens a dialog: the program is on its way out and nobody may be there to answer.
  quitting_ = true;
  // Closed as cancelled: no question is answered "yes" on the user's behalf.
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->done(QDialog::Rejected);
    } else {
      modal->close();
    }
    QTimer::singleShot(0, this, &TForm1::RequestQuit);
    return;
  }
  if (!isVisible()) return;
  close();
  if (isVisible()) QTimer::singleShot(kQuitRetryMs, this, &TForm1::RequestQuit);
}

}  // namespace velmora
