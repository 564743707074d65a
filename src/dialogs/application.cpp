#include "dialogs/application.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace velmora {

void SetApplicationIdentity() {
  QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileId));
  // Built in, so the window has its icon also when run from the build tree.
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/velmora/icons/%1-%2.png").arg(QString::fromLatin1(kDesktopFileId)).arg(size),
                 QSize(size, size));
  QApplication::setWindowIcon(icon);
}

QString QtTranslationsFolder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

bool InstallQtTranslations(QCoreApplication& app) {
  // Polish whatever the user's locale: the whole interface is.
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QtTranslationsFolder())) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace velmora
