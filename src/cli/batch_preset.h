#pragma once

// The presets of the "Opcje zapisu" dialog, read by velmora-batch from a settings file.

#include <QString>
#include <filesystem>
#include <optional>

#include "imaging/outputoptions.h"

namespace velmora::batch {

// The preset of that name in the settings file; nothing when the file holds none of that name.
// Throws FileError when the file cannot be read.
std::optional<Preset> presetFromFile(const std::filesystem::path& file, const QString& name);

}  // namespace velmora::batch
