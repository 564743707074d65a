#pragma once

// The file and folder pickers. Both are modal (the rest of the program is disabled meanwhile) and give
// the empty text when cancelled. Their decisions live in settings/filehelpers.h, where they are tested
// without a window.

#include <QString>

class QWidget;

namespace velmora {

class TEnvironment;

// A file-open picker with the given filter ("description|patterns|...", patterns separated by ";")
// and title. An existing start file opens its folder with its name filled in, an existing start folder
// opens itself, any other start text is filled in as the name. A typed name need not exist; a name
// without extension gets the filter's first one (CompleteExtensionFromFilter).
QString ChooseFile(const QString& filter, const QString& startPath, const QString& title, QWidget* parent = nullptr);

// A folder picker without caption, opened in the start folder when it exists (accepting at once gives
// that folder). A choice that differs from env.LastChosenFolder() becomes it and is stored under
// "ostWskazanyFolder" in env.AppProps(), so it survives even when the main window stores nothing.
QString ChooseFolder(const QString& start, TEnvironment& env, QWidget* parent = nullptr);

}  // namespace velmora
