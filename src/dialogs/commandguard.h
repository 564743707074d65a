#pragma once

// The default error display. Every command handler of the program (button clicks, menu items, key handlers,
// link clicks of the dialogs) runs inside RunGuarded, so no exception ever reaches Qt's event loop:
//   connect(button, &QAbstractButton::clicked, this, [this] { RunGuarded([this] { RunClick(); }); });

#include <QString>
#include <functional>

namespace velmora {

// Runs the command. EAbort ends it silently. Any other exception is shown with ShowErrorMessage (the text of
// std::exception::what() read as UTF-8; "Nieznany błąd" for an exception of another type). Returns true
// when the command ran to its end, false when it ended by an exception. Never throws.
bool RunGuarded(const std::function<void()>& command) noexcept;

// The message with "." appended when it is not empty and its last character's code is greater than that of
// "." (so after letters, digits and "?", not after "!" or ".").
QString ExceptionDisplayText(const QString& message);

// The standard message box: the application title as caption, the critical icon, one OK button, the
// message (through ExceptionDisplayText) as plain text. Modal; returns when it is closed.
void ShowErrorMessage(const QString& message);

}  // namespace velmora
