#include "dialogs/commandguard.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "dialogs/dialogplacement.h"
#include "dialogs/messagedialogs.h"
#include "settings/eabort.h"

namespace velmora {

QString ExceptionDisplayText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + QLatin1Char('.');
  return message;
}

void ShowErrorMessage(const QString& message) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(), ExceptionDisplayText(message), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("ErrorMessage"));
  // Messages carry file names and other outside text: never interpret them as markup.
  box.setTextFormat(Qt::PlainText);
  ExecPlaced(box);
}

bool RunGuarded(const std::function<void()>& command) noexcept {
  QString message;
  try {
    command();
    return true;
  } catch (const EAbort&) {
    return false;
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("Nieznany błąd");
  }
  // Showing the message must not throw out of the guard either (for example when memory ran out).
  try {
    ShowErrorMessage(message);
  } catch (...) {
  }
  return false;
}

}  // namespace velmora
