#include <QApplication>
#include <QSessionManager>

#include "app/form1.h"
#include "app/quitsignals.h"
#include "settings/environment.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Settings are loaded before the window exists; a close writes them while the window can still
  // say that it could not, and whatever changed after is written once the window is gone.
  velmora::TEnvironment env(velmora::TEnvironmentInputs::ForThisProcess());
  QGuiApplication::setApplicationDisplayName(env.AppTitle());
  int code = 0;
  {
    velmora::TForm1 window(env);
    // A logout, a kill or Ctrl+C ends the program as a close does, with the same keys written.
    velmora::TQuitSignals quitSignals;
    QObject::connect(&quitSignals, &velmora::TQuitSignals::quitRequested, &window, &velmora::TForm1::RequestQuit);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager& manager) { window.SaveSession(manager.allowsInteraction()); });
    window.WarnIfSettingsUnread();
    window.show();
    code = QApplication::exec();
  }
  env.Shutdown();
  return code;
}
