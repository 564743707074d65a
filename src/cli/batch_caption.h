#pragma once

// The caption of velmora-batch: the same keys the window stores, read from a settings file, so a batch
// from the command line is stamped exactly as one from the window.

#include <filesystem>
#include <optional>

#include "imaging/caption.h"

namespace velmora::batch {

// The window's settings file as the window finds it: <config>/Velmora/velmora/velmora.props, else
// velmora.props in programFolder (the window's fallback when it cannot use the configuration folder).
// Nothing when neither exists, as before the window's first start.
std::optional<std::filesystem::path> windowSettingsFile(const std::filesystem::path& programFolder);

// The caption settings in the file, with the window's defaults for absent keys. Needs a
// QGuiApplication (fonts). Throws FileError when the file cannot be read.
CaptionSettings captionSettingsFromFile(const std::filesystem::path& file);

}  // namespace velmora::batch
