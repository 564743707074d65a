#include "cli/batch_cli.h"

#include <QCoreApplication>
#include <QString>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <exception>
#include <memory>
#include <ostream>
#include <string_view>
#include <system_error>

#include "cli/batch_caption.h"
#include "cli/batch_dump.h"

namespace velmora::batch {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kProgram = "velmora-batch";

// What the parser keeps besides the options themselves.
struct ParseState {
  CliOptions options;
  bool nameModeGiven = false;
};

using Apply = void (*)(ParseState&, const std::string& value);

// One entry per option; a new option is one more row.
struct OptionSpec {
  std::string_view name;
  bool takesValue;
  Apply apply;
};

void setNameMode(ParseState& state, NameMode mode, const std::string& affix) {
  if (state.nameModeGiven) throw UsageError("--prefix i --suffix wykluczają się (podaj jedno z nich raz)");
  state.nameModeGiven = true;
  state.options.run.nameMode = mode;
  state.options.run.affix = affix;
}

int parseSize(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    throw UsageError("--size: \"" + text + "\" nie jest liczbą całkowitą");
  }
  if (value < 1) throw UsageError("--size: maksymalny rozmiar musi być większy od zera (podano " + text + ")");
  return value;
}

constexpr OptionSpec kOptions[] = {
    {"--size", true, [](ParseState& s, const std::string& v) { s.options.run.sizeLimit = parseSize(v); }},
    {"--enlarge", false, [](ParseState& s, const std::string&) { s.options.run.enlarge = true; }},
    {"--prefix", true, [](ParseState& s, const std::string& v) { setNameMode(s, NameMode::Prefix, v); }},
    {"--suffix", true, [](ParseState& s, const std::string& v) { setNameMode(s, NameMode::Suffix, v); }},
    {"--exif", false, [](ParseState& s, const std::string&) { s.options.run.keepMetadata = true; }},
    {"--caption", false, [](ParseState& s, const std::string&) { s.options.caption = true; }},
    {"--settings", true, [](ParseState& s, const std::string& v) { s.options.settingsFile = v; }},
    {"--keep-going", false, [](ParseState& s, const std::string&) { s.options.keepGoing = true; }},
    {"--help", false, [](ParseState& s, const std::string&) { s.options.help = true; }},
};

const OptionSpec* findOption(std::string_view name) {
  for (const auto& option : kOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool hasExtension(const std::string& name, std::string_view ext) {
  return name.size() >= ext.size() && lowerAscii(std::string_view(name).substr(name.size() - ext.size())) == ext;
}

}  // namespace

std::string usageText() {
  return "Użycie: velmora-batch [--size N] [--enlarge] [--prefix P | --suffix S] [--exif]\n"
         "                     [--caption [--settings PLIK]] [--keep-going] SOURCE DEST [NAZWA...]\n"
         "\n"
         "Skaluje zdjęcia JPEG z folderu SOURCE tak, by dłuższy bok miał najwyżej N pikseli, i zapisuje je\n"
         "w folderze DEST (jakość 90) pod nową nazwą z prefiksem lub sufiksem. Bez NAZW bierze pliki \"*.jpg\",\n"
         "potem \"*.jpeg\" z folderu SOURCE (wielkość liter bez znaczenia), w kolejności systemu plików.\n"
         "\n"
         "  --size N       maksymalny rozmiar w pikselach (domyślnie 1280)\n"
         "  --enlarge      powiększaj też mniejsze zdjęcia do rozmiaru N\n"
         "  --prefix P     nazwa wynikowa = P + nazwa (domyślnie prefiks \"_\")\n"
         "  --suffix S     nazwa wynikowa = nazwa bez rozszerzenia + S + rozszerzenie\n"
         "  --exif         zachowaj EXIF (z miniaturką i nowym rozmiarem), IPTC i komentarz zdjęcia\n"
         "                 źródłowego; gdy się to nie uda, zapisz samo zdjęcie\n"
         "  --caption      podpisz zdjęcia podpisem ustawionym w oknie programu (tekst, czcionka, kolory,\n"
         "                 tryby, dodana grafika), tak samo jak robi to okno\n"
         "  --settings PLIK  plik ustawień, z którego brać podpis (domyślnie plik ustawień okna,\n"
         "                 ~/.config/Velmora/velmora/velmora.props)\n"
         "  --keep-going   po błędzie przejdź do następnego pliku (domyślnie przerwij)\n"
         "  --help         ten opis\n"
         "\n"
         "Folder DEST jest tworzony, gdy go nie ma (jeden poziom). Istniejący plik wynikowy jest zastępowany\n"
         "dopiero gotowym nowym plikiem; pliku źródłowego program nie zastępuje.\n"
         "Postęp (np. \"3/10 IMG_0003.jpg\") i błędy idą na standardowe wyjście błędów.\n"
         "Kod wyjścia: 0, gdy zapisano wszystkie pliki; 1, gdy któregoś nie; 2 przy błędnym wywołaniu.\n"
         "\n"
         "velmora-batch --dump-metadata PLIK...\n"
         "  wypisuje, co program odczytał z metadanych każdego pliku (segmenty, wpisy EXIF, miniatura, IPTC,\n"
         "  komentarz), jako jeden obiekt JSON w wierszu.\n";
}

CliOptions parseArguments(const std::vector<std::string>& args) {
  ParseState state;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const auto eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    const OptionSpec* option = findOption(name);
    if (option == nullptr) throw UsageError("nieznana opcja " + name);
    std::string value;
    if (option->takesValue) {
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        throw UsageError(name + ": brak wartości");
      }
    } else if (eq != std::string::npos) {
      throw UsageError(name + " nie przyjmuje wartości");
    }
    option->apply(state, value);
  }
  if (state.options.help) return state.options;
  if (!state.options.settingsFile.empty() && !state.options.caption) {
    throw UsageError("--settings ma znaczenie tylko razem z --caption");
  }
  if (positional.size() < 2) throw UsageError("podaj folder źródłowy i folder docelowy");
  state.options.source = positional[0];
  state.options.run.destFolder = positional[1];
  state.options.names.assign(positional.begin() + 2, positional.end());
  return state.options;
}

std::vector<std::string> listSourcePictures(const fs::path& folder) {
  std::vector<std::string> jpg, jpeg;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::error_code ec;
    if (!entry.is_regular_file(ec)) continue;
    const std::string name = entry.path().filename().string();
    if (hasExtension(name, ".jpg")) {
      jpg.push_back(name);
    } else if (hasExtension(name, ".jpeg")) {
      jpeg.push_back(name);
    }
  }
  jpg.insert(jpg.end(), jpeg.begin(), jpeg.end());
  return jpg;
}

int runBatch(const CliOptions& options, std::ostream& err) {
  std::vector<std::string> names = options.names;
  BatchOptions run = options.run;
  try {
    if (options.caption) {
      std::optional<fs::path> settings;
      if (!options.settingsFile.empty()) {
        settings = options.settingsFile;
      } else {
        settings = windowSettingsFile(fs::path(QCoreApplication::applicationDirPath().toStdString()));
        if (!settings) err << kProgram << ": brak pliku ustawień okna, podpis z ustawień domyślnych\n";
      }
      // One stamper for the whole run, as the window builds its mask once per setting change.
      auto stamper =
          std::make_shared<const CaptionStamper>(settings ? captionSettingsFromFile(*settings) : CaptionSettings{});
      run.caption = [stamper](QImage& picture) { stamper->StampPicture(picture); };
    }
    std::error_code ec;
    if (!fs::is_directory(options.source, ec)) {
      err << kProgram << ": folder źródłowy \"" << options.source.string() << "\" nie istnieje\n";
      return 1;
    }
    if (names.empty()) names = listSourcePictures(options.source);
    // As in the window, nothing is changed when there is nothing to do.
    if (names.empty()) {
      err << kProgram << ": brak plików JPEG w folderze \"" << options.source.string() << "\"\n";
      return 1;
    }
    const fs::path& dest = run.destFolder;
    if (!fs::exists(dest, ec)) {
      // One level only, as the window does.
      if (!fs::create_directory(dest, ec) || ec) {
        err << kProgram << ": nie można utworzyć folderu docelowego \"" << dest.string() << "\": " << ec.message()
            << "\n";
        return 1;
      }
    } else if (!fs::is_directory(dest, ec)) {
      err << kProgram << ": \"" << dest.string() << "\" nie jest folderem\n";
      return 1;
    }
  } catch (const std::exception& e) {
    err << kProgram << ": " << e.what() << "\n";
    return 1;
  }

  const std::size_t total = names.size();
  std::size_t failed = 0;
  for (std::size_t i = 0; i < total; ++i) {
    try {
      processFile(options.source / names[i], run);
      err << (i + 1) << "/" << total << " " << names[i] << "\n";
    } catch (const std::exception& e) {
      err << kProgram << ": " << e.what() << "\n";
      ++failed;
      if (!options.keepGoing) {
        err << kProgram << ": przerwano po błędzie (zapisano " << i << " z " << total << " plików)\n";
        return 1;
      }
    }
  }
  if (failed > 0) {
    err << kProgram << ": nie zapisano " << failed << " z " << total << " plików\n";
    return 1;
  }
  return 0;
}

bool wantsCaption(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--caption") return true;
  }
  return false;
}

int batchMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && args.front() == "--dump-metadata")
    return dumpMetadata(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  CliOptions options;
  try {
    options = parseArguments(args);
  } catch (const UsageError& e) {
    err << kProgram << ": " << e.what() << "\n\n" << usageText();
    return 2;
  }
  if (options.help) {
    out << usageText();
    return 0;
  }
  return runBatch(options, err);
}

}  // namespace velmora::batch
