#include "imaging/outputoptions.h"

#include <QStringList>
#include <array>

namespace velmora {

namespace {

QString Key(const char* utf8) { return QString::fromUtf8(utf8); }

QString Flag(bool on) { return on ? QStringLiteral("T") : QStringLiteral("N"); }

// A whole number in [lo, hi], else nothing.
std::optional<qlonglong> Number(const QString& text, qlonglong lo, qlonglong hi) {
  bool ok = false;
  const qlonglong value = text.trimmed().toLongLong(&ok);
  if (!ok || value < lo || value > hi) return std::nullopt;
  return value;
}

// One settings key of the output options: how it is read into the struct and written from it. A new
// option is one more row.
struct OptionKey {
  const char* key;
  void (*read)(OutputOptions&, const QString& value);
  QString (*write)(const OutputOptions&);
};

const std::array<OptionKey, 14> kOptionKeys{{
    {"jakosc",
     [](OutputOptions& o, const QString& v) {
       if (const auto q = Number(v, kMinQuality, kMaxQuality)) o.encoder.quality = static_cast<int>(*q);
     },
     [](const OutputOptions& o) { return QString::number(o.encoder.quality); }},
    {"max KB",
     [](OutputOptions& o, const QString& v) {
       if (const auto kb = Number(v, 1, kMaxLimitKB)) o.maxBytes = static_cast<std::uint64_t>(*kb) * kBytesPerKB;
     },
     [](const OutputOptions& o) { return o.maxBytes == 0 ? QString() : QString::number(o.maxBytes / kBytesPerKB); }},
    {"wyostrzanie",
     [](OutputOptions& o, const QString& v) {
       if (const auto level = SharpeningFromName(v)) o.sharpening = *level;
     },
     [](const OutputOptions& o) { return SharpeningName(o.sharpening); }},
    {"progresywny", [](OutputOptions& o, const QString& v) { o.encoder.progressive = v == QStringLiteral("T"); },
     [](const OutputOptions& o) { return Flag(o.encoder.progressive); }},
    {"chroma",
     [](OutputOptions& o, const QString& v) {
       o.encoder.chroma = v.trimmed() == QStringLiteral("444") ? ChromaSampling::k444 : ChromaSampling::k420;
     },
     [](const OutputOptions& o) {
       return o.encoder.chroma == ChromaSampling::k444 ? QStringLiteral("444") : QStringLiteral("420");
     }},
    {"standardowy Huffman",
     [](OutputOptions& o, const QString& v) { o.encoder.optimizeHuffman = v != QStringLiteral("T"); },
     [](const OutputOptions& o) { return Flag(!o.encoder.optimizeHuffman); }},
    {"zachowaj datę", [](OutputOptions& o, const QString& v) { o.keepDate = v == QStringLiteral("T"); },
     [](const OutputOptions& o) { return Flag(o.keepDate); }},
    // Anything but "zrodlo" (in any case) converts, as an absent key does.
    {"kolory",
     [](OutputOptions& o, const QString& v) {
       o.convertColours = v.trimmed().compare(QStringLiteral("zrodlo"), Qt::CaseInsensitive) != 0;
     },
     [](const OutputOptions& o) { return o.convertColours ? QStringLiteral("sRGB") : QStringLiteral("zrodlo"); }},
    {"format",
     [](OutputOptions& o, const QString& v) {
       if (const auto f = outputFormatNamed(v.trimmed().toLower().toStdString())) o.format = *f;
     },
     [](const OutputOptions& o) { return QString::fromUtf8(outputFormatName(o.format).data()); }},
    {"nazwa z szablonu", [](OutputOptions& o, const QString& v) { o.templateNames = v == QStringLiteral("T"); },
     [](const OutputOptions& o) { return Flag(o.templateNames); }},
    // Kept as typed, even when it cannot be used: the run refuses it and says why.
    {"szablon nazwy",
     [](OutputOptions& o, const QString& v) {
       if (!v.isEmpty()) o.nameTemplate = v.toStdString();
     },
     [](const OutputOptions& o) { return QString::fromStdString(o.nameTemplate); }},
    {"od numeru",
     [](OutputOptions& o, const QString& v) {
       if (const auto n = Number(v, 0, kMaxStartNumber)) o.startNumber = static_cast<int>(*n);
     },
     [](const OutputOptions& o) { return QString::number(o.startNumber); }},
    {"istniejace",
     [](OutputOptions& o, const QString& v) {
       if (const auto mode = ExistingOutputFromName(v)) o.existing = *mode;
     },
     [](const OutputOptions& o) { return ExistingOutputName(o.existing); }},
    {"podfoldery", [](OutputOptions& o, const QString& v) { o.subfolders = v == QStringLiteral("T"); },
     [](const OutputOptions& o) { return Flag(o.subfolders); }},
}};

constexpr const char* kExistingNames[] = {"zastap", "pomin", "numer"};

constexpr const char* kSharpeningNames[] = {"brak", "lekkie", "średnie", "mocne"};

const QString kPresetPrefix = QStringLiteral("preset ");
const QString kPresetSeparator = QStringLiteral(": ");
// The main window's keys a preset keeps; "powiększ" is the preset's own (the window does not store it).
const char* const kScaleKey = "zmień rozmiar";
const char* const kSizeKey = "size";
const char* const kEnlargeKey = "powiększ";

}  // namespace

OutputOptions OutputOptionsFromKeys(const OptionKeyLookup& lookup) {
  OutputOptions options;
  for (const OptionKey& row : kOptionKeys) row.read(options, lookup(Key(row.key)));
  return options;
}

std::vector<std::pair<QString, QString>> OutputOptionKeys(const OutputOptions& options) {
  std::vector<std::pair<QString, QString>> keys;
  for (const OptionKey& row : kOptionKeys) keys.emplace_back(Key(row.key), row.write(options));
  return keys;
}

QString ExistingOutputName(ExistingOutput mode) { return Key(kExistingNames[static_cast<int>(mode)]); }

std::optional<ExistingOutput> ExistingOutputFromName(const QString& name) {
  for (int i = 0; i < 3; ++i)
    if (name.trimmed() == Key(kExistingNames[i])) return static_cast<ExistingOutput>(i);
  return std::nullopt;
}

QString SharpeningName(Sharpening level) { return Key(kSharpeningNames[static_cast<int>(level)]); }

std::optional<Sharpening> SharpeningFromName(const QString& name) {
  for (int i = 0; i < 4; ++i)
    if (name.trimmed() == Key(kSharpeningNames[i])) return static_cast<Sharpening>(i);
  return std::nullopt;
}

QString OutputOptionsSummary(const OutputOptions& options) {
  const EncoderOptions& e = options.encoder;
  QStringList parts;
  if (options.format != OutputFormat::kJpeg)
    parts << QStringLiteral("format ") + QString::fromUtf8(outputFormatTitle(options.format).data());
  if (e.quality != kJpegQuality) parts << QStringLiteral("jakość %1").arg(e.quality);
  if (options.maxBytes != 0) parts << QStringLiteral("do %1 KB").arg(options.maxBytes / kBytesPerKB);
  if (options.sharpening != Sharpening::None) parts << Key("wyostrzanie ") + SharpeningName(options.sharpening);
  if (e.progressive) parts << Key("progresywny");
  if (e.chroma == ChromaSampling::k444) parts << QStringLiteral("4:4:4");
  if (!e.optimizeHuffman) parts << Key("standardowy Huffman");
  if (options.keepDate) parts << Key("data źródła");
  if (!options.convertColours) parts << Key("profil źródła");
  if (options.templateNames) parts << Key("nazwy z szablonu");
  if (options.existing == ExistingOutput::Skip) parts << Key("istniejące pomijane");
  if (options.existing == ExistingOutput::Number) parts << Key("istniejące numerowane");
  if (options.subfolders) parts << Key("z podfolderami");
  return parts.join(QStringLiteral(", "));
}

QString PresetKey(const QString& name, const QString& key) { return kPresetPrefix + name + kPresetSeparator + key; }

QString PresetNameFault(const QString& name) {
  if (name.trimmed().isEmpty()) return Key("Podaj nazwę presetu");
  if (name != name.trimmed()) return Key("Nazwa presetu nie może zaczynać się ani kończyć spacją");
  for (const QChar c : name)
    if (c == u'=' || c.unicode() < 32) return Key("Nazwa presetu nie może zawierać znaku \"=\" ani końca wiersza");
  return {};
}

std::vector<QString> PresetNames(const std::vector<std::pair<QString, QString>>& entries) {
  // Keyed by the quality, which every stored preset has; its name is all before the last ": ".
  const QString marker = kPresetSeparator + Key(kOptionKeys[0].key);
  std::vector<QString> names;
  for (const auto& [key, value] : entries) {
    if (!key.startsWith(kPresetPrefix, Qt::CaseInsensitive) || !key.endsWith(marker, Qt::CaseInsensitive)) continue;
    if (value.isEmpty()) continue;
    const QString name = key.mid(kPresetPrefix.size(), key.size() - kPresetPrefix.size() - marker.size());
    if (!name.isEmpty() && PresetNameFault(name).isEmpty()) names.push_back(name);
  }
  return names;
}

std::optional<Preset> ReadPreset(const QString& name, const OptionKeyLookup& lookup) {
  const auto get = [&](const QString& key) { return lookup(PresetKey(name, key)); };
  if (get(Key(kOptionKeys[0].key)).isEmpty()) return std::nullopt;
  Preset preset;
  preset.output = OutputOptionsFromKeys(get);
  preset.scaling.scale = get(Key(kScaleKey)) != QStringLiteral("N");
  if (const auto size = Number(get(Key(kSizeKey)), 1, 0x7FFFFFFF)) preset.scaling.size = static_cast<int>(*size);
  preset.scaling.enlarge = get(Key(kEnlargeKey)) == QStringLiteral("T");
  return preset;
}

std::vector<std::pair<QString, QString>> PresetEntries(const QString& name, const Preset& preset) {
  std::vector<std::pair<QString, QString>> entries;
  for (auto& [key, value] : OutputOptionKeys(preset.output)) entries.emplace_back(PresetKey(name, key), value);
  entries.emplace_back(PresetKey(name, Key(kScaleKey)), Flag(preset.scaling.scale));
  entries.emplace_back(PresetKey(name, Key(kSizeKey)), QString::number(preset.scaling.size));
  entries.emplace_back(PresetKey(name, Key(kEnlargeKey)), Flag(preset.scaling.enlarge));
  return entries;
}

std::vector<std::pair<QString, QString>> DeletedPresetEntries(const QString& name) {
  std::vector<std::pair<QString, QString>> entries = PresetEntries(name, Preset{});
  for (auto& entry : entries) entry.second.clear();
  return entries;
}

}  // namespace velmora
