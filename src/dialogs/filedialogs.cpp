#include "dialogs/filedialogs.h"

#include <QDir>
#include <QFileDialog>

#include "dialogs/dialogplacement.h"
#include "settings/environment.h"
#include "settings/filehelpers.h"

namespace velmora {

namespace {

// Qt's own picker everywhere: it behaves the same on every desktop and honours the preselection.
constexpr QFileDialog::Options kPickerOptions = QFileDialog::DontUseNativeDialog;

}  // namespace

QString ChooseFile(const QString& filter, const QString& startPath, const QString& title, QWidget* parent) {
  QFileDialog dialog(parent, title);
  dialog.setOptions(kPickerOptions | QFileDialog::HideNameFilterDetails);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The name typed in need not exist: the completion below may still give it an extension.
  dialog.setFileMode(QFileDialog::AnyFile);
  const QString nameFilters = FilterToNameFilters(filter);
  if (!nameFilters.isEmpty()) dialog.setNameFilter(nameFilters);
  const TFilePickerStart start = FilePickerStart(startPath);
  if (!start.Directory.isEmpty()) dialog.setDirectory(start.Directory);
  if (!start.FileName.isEmpty()) dialog.selectFile(start.FileName);
  if (ExecPlaced(dialog) != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return {};
  return CompleteExtensionFromFilter(files.first(), filter);
}

QString ChooseFolder(const QString& start, TEnvironment& env, QWidget* parent) {
  QFileDialog dialog(parent, QString());
  dialog.setOptions(kPickerOptions | QFileDialog::ShowDirsOnly);
  dialog.setFileMode(QFileDialog::Directory);
  if (FolderExists(start)) dialog.setDirectory(start);
  if (ExecPlaced(dialog) != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  // No trailing "/" except for the root, as callers compare and store folders that way.
  const QString folder = QDir::cleanPath(chosen.first());
  RememberChosenFolder(folder, env.LastChosenFolder(), env.AppProps());
  return folder;
}

}  // namespace velmora
