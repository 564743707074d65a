#pragma once

// "Opcje zapisu": the modal dialog of every output option beyond the design's controls, in groups.
// Each change is stored in the settings at once (as the caption settings are); the run reads them
// from there. A further group is one more entry of the group list in outputoptionsdialog.cpp.

#include <QString>
#include <functional>

#include "imaging/outputoptions.h"

namespace velmora {

class TProps;

// What a preset takes from and gives to the main window besides the dialog's own options.
struct OutputDialogHooks {
  std::function<PresetScaling()> scaling;
  std::function<void(const PresetScaling&)> applyScaling;
  std::function<void()> changed;  // after each stored change
};

// The options as stored ("jakosc" ... "zachowaj datę"), the design's defaults for absent keys.
OutputOptions StoredOutputOptions(const TProps& props);
void StoreOutputOptions(TProps& props, const OutputOptions& options);

// Runs the dialog centred, the pointer on OK.
void ShowOutputOptionsDialog(TProps& props, const OutputDialogHooks& hooks);

}  // namespace velmora
