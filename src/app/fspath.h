#pragma once

#include <QString>
#include <filesystem>

#include "settings/textutils.h"

namespace velmora {

// Texts of the window are UTF-8 paths to the file system here.
inline std::filesystem::path ToFsPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

// The folder text with a trailing path delimiter ensured.
inline QString WithDelimiter(const QString& folder) {
  return folder.endsWith(kPathDelimiter) ? folder : folder + kPathDelimiter;
}

}  // namespace velmora
