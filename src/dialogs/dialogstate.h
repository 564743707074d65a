#pragma once

// The process-wide state of the dialogs, kept in one place so tests can put it back to its start values.

#include <QMargins>
#include <QString>
#include <array>
#include <functional>

namespace velmora {

struct TDialogState {
  // While true, every dialog moves the mouse pointer onto its default button when it is shown.
  bool SnapToDefaultButton = true;
  // The frame the window manager drew around the last dialog shown, so the next one can be placed right
  // before its own frame exists.
  QMargins LastFrameMargins;
  // Measured width + 8 of each message-button caption, 0 until first used; the font is not part of the key
  // because every message dialog uses the same message font.
  std::array<int, 11> ButtonWidthCache{};
  // The last search text given in a list dialog; it outlives the dialog and is never saved.
  QString LastSearchText;
  // Called by a message dialog's "&Pomoc" button with the dialog's help context and file; none by default.
  std::function<void(int helpContext, const QString& helpFile)> HelpHandler;
};

// The one instance; user-interface thread only.
TDialogState& DialogState();
// Back to the start values (for tests).
void ResetDialogState();

}  // namespace velmora
