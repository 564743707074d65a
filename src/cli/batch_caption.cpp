#include "cli/batch_caption.h"

#include <QString>

#include "settings/environment.h"
#include "settings/filehelpers.h"
#include "settings/props.h"
#include "settings/textutils.h"

namespace velmora::batch {

namespace fs = std::filesystem;

namespace {

// The window's program file name; its title and settings file name follow from it.
constexpr const char* kWindowProgram = "velmora";

QString WindowSettingsName() { return NameWithoutExt(QString::fromLatin1(kWindowProgram)) + QStringLiteral(".props"); }

}  // namespace

std::optional<fs::path> windowSettingsFile(const fs::path& programFolder) {
  QString config;
  if (SpecialFolderPath(kCsidlAppData, config) == kStatusOk) {
    const QString title = AppTitleFromExeName(QString::fromLatin1(kWindowProgram));
    const fs::path inConfig =
        fs::path((config + QStringLiteral("Velmora/") + title + u'/' + WindowSettingsName()).toStdString());
    std::error_code ec;
    if (fs::is_regular_file(inConfig, ec)) return inConfig;
  }
  const fs::path beside = programFolder / WindowSettingsName().toStdString();
  std::error_code ec;
  if (fs::is_regular_file(beside, ec)) return beside;
  return std::nullopt;
}

CaptionSettings captionSettingsFromFile(const fs::path& file) {
  TProps props(QChar(u'\r'));
  props.LoadFromText(LoadFileToText(QString::fromStdString(file.string())));
  return CaptionSettingsFromKeys([&props](const QString& key) { return props.Get(key); });
}

}  // namespace velmora::batch
