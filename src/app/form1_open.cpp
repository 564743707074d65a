// A photo or folder given to the program when it starts, as a file manager's "open with" passes it.

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QSignalBlocker>

#include "app/form1.h"
#include "app/fspath.h"
#include "dialogs/messagedialogs.h"

namespace velmora {

void TForm1::OpenGivenPath(const QString& path) {
  const QFileInfo info(path);
  if (path.isEmpty() || !info.exists()) ErrorNotice(QStringLiteral("\"%1\" nie istnieje.").arg(path));
  // A pipe or a device would block or never end: told at once, never opened.
  if (!info.isDir() && !info.isFile()) ErrorNotice(QStringLiteral("\"%1\" nie jest zwykłym plikiem.").arg(path));
  const QString folder = QDir::cleanPath(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
  {
    const QSignalBlocker block(CLB);
    CLB->clear();
  }
  HideProgress();
  AddAndSelect(*eFoldZ, folder);
  eFoldZChange();
  if (info.isDir()) return;
  // Highlighting the entry previews it. Entries are told by their bytes, not their shown text.
  const std::string name = QFile::encodeName(info.fileName()).toStdString();
  for (int i = 0; i < CLB->count(); ++i) {
    if (EntryName(*CLB->item(i)) != name) continue;
    CLB->setCurrentItem(CLB->item(i));
    break;
  }
}

}  // namespace velmora
