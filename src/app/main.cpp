#include <QApplication>
#include <QSessionManager>
#include <QStringList>
#include <cstdio>
#include <memory>

#include "app/form1.h"
#include "app/graphicalsession.h"
#include "app/quitsignals.h"
#include "dialogs/application.h"
#include "dialogs/commandguard.h"
#include "settings/environment.h"

namespace {

// Held back while the platform starts; passed on once it has.
std::unique_ptr<QApplication> StartApplication(int& argc, char** argv) {
  const velmora::TPlatformStartGuard guard;
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  velmora::EnsureRuntimeFolder();
  if (!velmora::GraphicalSessionNamed()) {
    std::fputs(velmora::kNoGraphicalSession, stderr);
    return velmora::kNoGraphicalSessionExit;
  }
  const std::unique_ptr<QApplication> application = StartApplication(argc, argv);
  QApplication& app = *application;
  velmora::SetApplicationIdentity();
  if (!velmora::InstallQtTranslations(app)) {
    std::fprintf(stderr, "velmora: brak polskich tłumaczeń Qt w %s (pakiet qt6-translations-l10n)\n",
                 qUtf8Printable(velmora::QtTranslationsFolder()));
  }
  // Settings are loaded before the window exists; a close writes them while the window can still
  // say that it could not, and whatever changed after is written once the window is gone.
  velmora::TEnvironment env(velmora::TEnvironmentInputs::ForThisProcess());
  int code = 0;
  {
    velmora::TForm1 window(env);
    // A logout, a kill or Ctrl+C ends the program as a close does, with the same keys written.
    velmora::TQuitSignals quitSignals;
    QObject::connect(&quitSignals, &velmora::TQuitSignals::quitRequested, &window, &velmora::TForm1::RequestQuit);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager& manager) { window.SaveSession(manager.allowsInteraction()); });
    window.WarnIfSettingsUnread();
    // A photo or folder opened with the program from the desktop ("Otwórz za pomocą").
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) velmora::RunGuarded([&] { window.OpenGivenPath(args.at(1)); });
    window.show();
    code = QApplication::exec();
  }
  env.Shutdown();
  return code;
}
