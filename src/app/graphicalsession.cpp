#include "app/graphicalsession.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace velmora {

namespace {

struct HeldMessage {
  QtMsgType type;
  QString text;
};

// The guard's state: only while QApplication starts, on the one thread there is then.
QtMessageHandler previousHandler = nullptr;
QList<HeldMessage>* heldMessages = nullptr;

void HoldMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtFatalMsg) {
    std::fputs(kNoGraphicalSession, stderr);
    std::_Exit(kNoGraphicalSessionExit);
  }
  if (heldMessages) heldMessages->append({type, text});
}

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

}  // namespace

void EnsureRuntimeFolder() {
  if (Named("XDG_RUNTIME_DIR")) return;
  const std::string folder = "/tmp/velmora-runtime-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  struct stat info {};
  // Only a folder of this user that nobody else may enter.
  if (lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
      (info.st_mode & 077) == 0)
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

bool GraphicalSessionNamed() { return Named("QT_QPA_PLATFORM") || Named("DISPLAY") || Named("WAYLAND_DISPLAY"); }

TPlatformStartGuard::TPlatformStartGuard() {
  heldMessages = new QList<HeldMessage>();
  previousHandler = qInstallMessageHandler(HoldMessage);
}

TPlatformStartGuard::~TPlatformStartGuard() {
  qInstallMessageHandler(previousHandler);
  QList<HeldMessage> held = std::move(*heldMessages);
  delete heldMessages;
  heldMessages = nullptr;
  for (const HeldMessage& message : held) {
    const QMessageLogContext context;
    if (previousHandler) {
      previousHandler(message.type, context, message.text);
    } else {
      std::fprintf(stderr, "%s\n", qUtf8Printable(message.text));
    }
  }
}

}  // namespace velmora
