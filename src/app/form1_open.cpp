// A photo or folder given to the program when it starts, as a file manager's "open with" passes it.

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QSignalBlocker>

#include "app/form1.h"
#include "dialogs/messagedialogs.h"

namespace velmora {

void TForm1::OpenGivenPath(const QString& path) {
  const QFileInfo info(path);
  if (path.isEmpty() || !info.exists()) ErrorNotice(QStringLiteral("\"%1\" nie istnieje.").arg(path));
  const QString folder = QDir::cleanPath(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
  {
    const QSignalBlocker block(CLB);
    CLB->clear();
  }
  HideProgress();
  AddAndSelect(*eFoldZ, folder);
  eFoldZChange();
  if (info.isDir()) return;
  // Highlighting the entry previews it.
  const QList<QListWidgetItem*> found = CLB->findItems(info.fileName(), Qt::MatchExactly);
  if (!found.isEmpty()) CLB->setCurrentItem(found.first());
}

}  // namespace velmora
