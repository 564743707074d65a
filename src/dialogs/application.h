#pragma once

// The program's identity towards the desktop and Qt's own texts in Polish: called once at start-up, after
// the application object exists.

class QCoreApplication;
class QString;

namespace velmora {

// The desktop entry's, the metainfo's and the icons' name.
inline constexpr char kDesktopFileId[] = "app.velmora.Velmora";

// The application name "Velmora" (the message dialogs' and the error box's title), the desktop file name
// and the window icon. No display name is set: Qt would append " — <name>" to every window title.
void SetApplicationIdentity();

// Loads Qt's Polish translations (qtbase_pl from Qt's translations folder) into the application, so
// Qt's own dialogs (the folder browser, the save dialog and its overwrite question) speak Polish. False
// when they are not installed; Qt's texts then stay English.
bool InstallQtTranslations(QCoreApplication& app);

// Where InstallQtTranslations looks.
QString QtTranslationsFolder();

}  // namespace velmora
