#pragma once

#include <QFile>
#include <QListWidgetItem>
#include <QString>
#include <filesystem>
#include <string>

#include "settings/textutils.h"

namespace velmora {

// Texts of the window are paths to the file system here, in its encoding.
inline std::filesystem::path ToFsPath(const QString& path) {
  return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// The folder text with a trailing path delimiter ensured.
inline QString WithDelimiter(const QString& folder) {
  return folder.endsWith(kPathDelimiter) ? folder : folder + kPathDelimiter;
}

// A file list entry's name as the file system gave it, byte for byte; its text is only for showing
// (escaped where a name is not UTF-8).
inline constexpr int kNameBytesRole = Qt::UserRole;
inline std::string EntryName(const QListWidgetItem& item) {
  return item.data(kNameBytesRole).toByteArray().toStdString();
}

}  // namespace velmora
