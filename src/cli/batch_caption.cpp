#include "cli/batch_caption.h"

#include <QString>

#include "settings/environment.h"
#include "settings/filehelpers.h"
#include "settings/props.h"
#include "settings/textutils.h"

namespace velmora::batch {

namespace fs = std::filesystem;

std::optional<fs::path> windowSettingsFile(const fs::path& programFolder) {
  // The window's program file name; its title and settings file name follow from it.
  QString config;
  if (SpecialFolderPath(kCsidlAppData, config) != kStatusOk) config.clear();
  const TSettingsPlace place = SettingsPlaceFor(config, QStringLiteral("velmora"));
  const std::string name = place.FileName.toStdString();
  std::error_code ec;
  if (!place.UserFolder.isEmpty()) {
    const fs::path inConfig = fs::path(place.UserFolder.toStdString()) / name;
    if (fs::is_regular_file(inConfig, ec)) return inConfig;
  }
  const fs::path beside = programFolder / name;
  if (fs::is_regular_file(beside, ec)) return beside;
  return std::nullopt;
}

CaptionSettings captionSettingsFromFile(const fs::path& file) {
  TProps props(QChar(u'\r'));
  props.LoadFromText(LoadFileToText(QString::fromStdString(file.string())));
  return CaptionSettingsFromKeys([&props](const QString& key) { return props.Get(key); });
}

}  // namespace velmora::batch
