#pragma once

// The output options beyond the design's fixed JPEG: quality, a file-size limit, sharpening for
// screen, the encoder's choices and the source's date, with their settings keys and the presets that
// keep them under a name. The window's "Opcje zapisu" dialog and velmora-batch only fill this struct;
// the pipeline applies it.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imaging/batchrules.h"
#include "imaging/jpegcodec.h"
#include "imaging/outputformat.h"

namespace velmora {

enum class Sharpening { None, Low, Medium, High };

struct OutputOptions {
  OutputFormat format = OutputFormat::kJpeg;  // "format"; the JPEG encoder's options apply to JPEG alone
  EncoderOptions encoder;
  std::uint64_t maxBytes = 0;  // the file-size limit, metadata included; 0: none
  Sharpening sharpening = Sharpening::None;
  bool keepDate = false;  // the output takes the source's modification time
  bool convertColours = true;  // other colour spaces turned sRGB ("kolory")
  // Names from nameTemplate instead of the window's prefix or suffix ("nazwa z szablonu"); {nr} counts
  // from startNumber ("od numeru"). existing: what becomes of an output already there ("istniejace").
  bool templateNames = false;
  std::string nameTemplate = "{nazwa}_{nr:3}";
  int startNumber = 1;
  ExistingOutput existing = ExistingOutput::Replace;
  bool subfolders = false;     // the source's subfolders too, into the same folders below DEST ("podfoldery")
  bool operator==(const OutputOptions&) const = default;
};

// 1 KB is 1000 bytes, so a file under "500 KB" also fits a limit counted in 1024s.
inline constexpr std::uint64_t kBytesPerKB = 1000;
inline constexpr int kMinQuality = 1;
inline constexpr int kMaxQuality = 100;
// The lowest quality the size search goes to; a file that does not fit there is written at it.
inline constexpr int kLimitFloorQuality = 10;
// The largest limit accepted, in KB: 1 GB, far above any picture.
inline constexpr std::uint64_t kMaxLimitKB = 1000000;
inline constexpr int kMaxStartNumber = 999999999;

// "zastap", "pomin", "numer" (the stored values of "istniejace").
QString ExistingOutputName(ExistingOutput mode);
std::optional<ExistingOutput> ExistingOutputFromName(const QString& name);

using OptionKeyLookup = std::function<QString(const QString& key)>;

// The options stored under their settings keys ("format", "jakosc", "max KB", "wyostrzanie", "progresywny",
// "chroma", "standardowy Huffman", "zachowaj datę", "kolory", "format", "nazwa z szablonu", "szablon nazwy",
// "od numeru", "istniejace", "podfoldery"); an absent or unreadable value is the default.
OutputOptions OutputOptionsFromKeys(const OptionKeyLookup& lookup);
// Every key with its value, in the order above, normalised (flags "T"/"N", "max KB" empty for none).
std::vector<std::pair<QString, QString>> OutputOptionKeys(const OutputOptions& options);

// "brak", "lekkie", "średnie", "mocne" (the stored values and the dialog's words).
QString SharpeningName(Sharpening level);
std::optional<Sharpening> SharpeningFromName(const QString& name);

// What differs from the design's output, e.g. "jakość 82, do 500 KB, wyostrzanie lekkie"; empty when
// nothing does. The optimised Huffman tables are the default and not named.
QString OutputOptionsSummary(const OutputOptions& options);

// ---- Presets: "preset NAME: KEY=VALUE" lines of the settings file ------------------------------------

// What a preset keeps besides the output options: the main window's "zmień rozmiar", size and
// "Powiększ mniejsze".
struct PresetScaling {
  bool scale = true;
  int size = 1280;
  bool enlarge = false;
  bool operator==(const PresetScaling&) const = default;
};

struct Preset {
  OutputOptions output;
  PresetScaling scaling;
};

// The key of one value of a preset: "preset NAME: KEY".
QString PresetKey(const QString& name, const QString& key);
// Why a name cannot be a preset's ("=" or a line break would break the settings line); empty if it can.
QString PresetNameFault(const QString& name);
// The names of the stored presets, in the order they were first saved. A preset whose "jakosc" is
// empty was deleted.
std::vector<QString> PresetNames(const std::vector<std::pair<QString, QString>>& entries);
std::optional<Preset> ReadPreset(const QString& name, const OptionKeyLookup& lookup);
// The keys and values that store the preset (with empty values: delete it).
std::vector<std::pair<QString, QString>> PresetEntries(const QString& name, const Preset& preset);
std::vector<std::pair<QString, QString>> DeletedPresetEntries(const QString& name);

}  // namespace velmora
