#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "app/form1.h"
#include "dialogs/application.h"
#include "dialogs/commandguard.h"
#include "settings/environment.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  velmora::SetApplicationIdentity();
  if (!velmora::InstallQtTranslations(app)) {
    std::fprintf(stderr, "velmora: brak polskich tłumaczeń Qt w %s (pakiet qt6-translations-l10n)\n",
                 qUtf8Printable(velmora::QtTranslationsFolder()));
  }
  // Settings are loaded before the window exists and written once after it is gone.
  velmora::TEnvironment env(velmora::TEnvironmentInputs::ForThisProcess());
  int code = 0;
  {
    velmora::TForm1 window(env);
    // A photo or folder opened with the program from the desktop ("Otwórz za pomocą").
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) velmora::RunGuarded([&] { window.OpenGivenPath(args.at(1)); });
    window.show();
    code = QApplication::exec();
  }
  env.Shutdown();
  return code;
}
