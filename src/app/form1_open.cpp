// A photo or folder given to the program when it starts, as a file manager's "open with" passes it,
// or dropped on the window.

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QSet>
#include <QSignalBlocker>
#include <QUrl>

#include "app/form1.h"
#include "app/fspath.h"
#include "dialogs/commandguard.h"
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

namespace {

QStringList LocalPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << QDir::cleanPath(url.toLocalFile());
  }
  return paths;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  // Nothing is taken during a run: the window is locked.
  if (!running_ && !LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalPaths(event->mimeData());
  if (running_ || paths.isEmpty()) return;
  event->acceptProposedAction();
  RunGuarded([this, &paths] { DropPaths(paths); });
}

void TForm1::DropPaths(const QStringList& paths) {
  const QFileInfo first(paths.first());
  if (first.isDir()) {
    OpenGivenPath(first.absoluteFilePath());
    return;
  }
  OpenGivenPath(first.absolutePath());
  // Only the dropped files of that folder stay ticked; files of other folders cannot be in its list.
  QSet<QByteArray> names;  // by the names' bytes, as the list keeps them
  for (const QString& path : paths) {
    const QFileInfo info(path);
    if (info.absolutePath() == first.absolutePath()) names.insert(QFile::encodeName(info.fileName()));
  }
  int ticked = 0;
  {
    const QSignalBlocker block(CLB);
    for (int i = 0; i < CLB->count(); ++i) {
      const bool dropped = names.contains(CLB->item(i)->data(kNameBytesRole).toByteArray());
      CLB->item(i)->setCheckState(dropped ? Qt::Checked : Qt::Unchecked);
      ticked += dropped ? 1 : 0;
    }
  }
  Recount();
  if (ticked == 0) ShowNotice(QStringLiteral("Upuszczone pliki nie są zdjęciami"));
}

}  // namespace velmora
