#include "cli/batch_preset.h"

#include "settings/filehelpers.h"
#include "settings/props.h"
#include "settings/textutils.h"

namespace velmora::batch {

std::optional<Preset> presetFromFile(const std::filesystem::path& file, const QString& name) {
  TProps props(QChar(u'\r'));
  props.LoadFromText(LoadFileToText(QString::fromStdString(file.string())));
  return ReadPreset(name, [&props](const QString& key) { return props.Get(key); });
}

}  // namespace velmora::batch
