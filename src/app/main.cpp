#include <QApplication>

#include "app/form1.h"
#include "settings/environment.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Settings are loaded before the window exists and written once after it is gone.
  velmora::TEnvironment env(velmora::TEnvironmentInputs::ForThisProcess());
  QGuiApplication::setApplicationDisplayName(env.AppTitle());
  int code = 0;
  {
    velmora::TForm1 window(env);
    window.show();
    code = QApplication::exec();
  }
  env.Shutdown();
  return code;
}
