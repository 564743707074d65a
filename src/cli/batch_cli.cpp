#include "cli/batch_cli.h"

#include <QCoreApplication>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>

#include "base/fileio.h"
#include "cli/batch_caption.h"
#include "cli/batch_dump.h"
#include "cli/batch_filelist.h"
#include "cli/batch_preset.h"
#include "cli/stopsignals.h"
#include "imaging/batchrules.h"
#include "imaging/batchrun.h"
#include "imaging/runplan.h"
#include "imaging/runreport.h"
#include "imaging/runsetup.h"
#include "imaging/sourcefiles.h"
#include "settings/filehelpers.h"

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
  if (state.nameModeGiven) throw UsageError("--prefix, --suffix i --name wykluczają się (podaj jedno z nich raz)");
  state.nameModeGiven = true;
  if (const std::string fault = affixFault(affix); !fault.empty()) {
    throw UsageError(mode == NameMode::Prefix ? "--prefix: prefiks " + fault : "--suffix: sufiks " + fault);
  }
  state.options.run.nameMode = mode;
  state.options.run.affix = affix;
  state.options.run.output.templateNames = false;  // a preset's template gives way
}

void setNameTemplate(ParseState& state, const std::string& text) {
  if (state.nameModeGiven) throw UsageError("--prefix, --suffix i --name wykluczają się (podaj jedno z nich raz)");
  state.nameModeGiven = true;
  if (const std::string fault = nameTemplateFault(text); !fault.empty()) throw UsageError("--name: " + fault);
  state.options.run.output.templateNames = true;
  state.options.run.output.nameTemplate = text;
}

int parseStart(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value < 0 || value > kMaxStartNumber)
    throw UsageError("--start: numer musi być liczbą od 0 do " + std::to_string(kMaxStartNumber) + " (podano " + text +
                     ")");
  return value;
}

ExistingOutput parseExisting(const std::string& text) {
  if (text == "replace") return ExistingOutput::Replace;
  if (text == "skip") return ExistingOutput::Skip;
  if (text == "number") return ExistingOutput::Number;
  throw UsageError("--existing: \"" + text + "\" nie jest wyborem (replace, skip, number)");
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

int parseJobs(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    throw UsageError("--jobs: \"" + text + "\" nie jest liczbą całkowitą");
  }
  if (value < 1 || value > kMaxWorkers) {
    throw UsageError("--jobs: liczba wątków musi być od 1 do " + std::to_string(kMaxWorkers) + " (podano " + text +
                     ")");
  }
  return value;
}

int parseQuality(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    throw UsageError("--quality: \"" + text + "\" nie jest liczbą całkowitą");
  }
  if (value < kMinQuality || value > kMaxQuality) {
    throw UsageError("--quality: jakość musi być od " + std::to_string(kMinQuality) + " do " +
                     std::to_string(kMaxQuality) + " (podano " + text + ")");
  }
  return value;
}

// "500K", "2M" (1 K = 1000 bytes, 1 M = 1000 K); a bare number is in KB.
std::uint64_t parseMaxSize(const std::string& text) {
  std::uint64_t kb = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, kb);
  std::uint64_t unit = 1;
  if (end + 1 == last && (*end == 'K' || *end == 'k')) {
    unit = 1;
  } else if (end + 1 == last && (*end == 'M' || *end == 'm')) {
    unit = 1000;
  } else if (end != last) {
    throw UsageError("--max-size: \"" + text + "\" nie jest rozmiarem (np. 500K, 2M)");
  }
  if (ec != std::errc() || end == first || kb == 0 || kb > kMaxLimitKB / unit) {
    throw UsageError("--max-size: rozmiar musi być od 1K do " + std::to_string(kMaxLimitKB / 1000) + "M (podano " +
                     text + ")");
  }
  return kb * unit * kBytesPerKB;
}

Sharpening parseSharpen(const std::string& text) {
  constexpr std::pair<std::string_view, Sharpening> kLevels[] = {
      {"none", Sharpening::None}, {"low", Sharpening::Low}, {"medium", Sharpening::Medium}, {"high", Sharpening::High}};
  for (const auto& [name, level] : kLevels)
    if (text == name) return level;
  throw UsageError("--sharpen: \"" + text + "\" nie jest poziomem (none, low, medium, high)");
}

ChromaSampling parseChroma(const std::string& text) {
  if (text == "420") return ChromaSampling::k420;
  if (text == "444") return ChromaSampling::k444;
  throw UsageError("--chroma: \"" + text + "\" nie jest próbkowaniem (420 lub 444)");
}

OutputFormat parseFormat(const std::string& text) {
  if (const auto format = outputFormatNamed(text)) return *format;
  throw UsageError("--format: \"" + text + "\" nie jest formatem (jpeg, webp, avif)");
}

std::string nonEmptyPath(std::string_view option, const std::string& text) {
  if (text.empty()) throw UsageError(std::string(option) + ": pusta nazwa pliku");
  return text;
}

constexpr OptionSpec kOptions[] = {
    {"--size", true, [](ParseState& s, const std::string& v) { s.options.run.sizeLimit = parseSize(v); }},
    {"--enlarge", false, [](ParseState& s, const std::string&) { s.options.run.enlarge = true; }},
    {"--prefix", true, [](ParseState& s, const std::string& v) { setNameMode(s, NameMode::Prefix, v); }},
    {"--suffix", true, [](ParseState& s, const std::string& v) { setNameMode(s, NameMode::Suffix, v); }},
    {"--exif", false, [](ParseState& s, const std::string&) { s.options.run.keepMetadata = true; }},
    {"--strip-gps", false, [](ParseState& s, const std::string&) { s.options.run.stripGps = true; }},
    {"--keep-profile", false, [](ParseState& s, const std::string&) { s.options.run.convertColours = false; }},
    {"--no-rotate", false, [](ParseState& s, const std::string&) { s.options.run.rotate = false; }},
    {"--caption", false, [](ParseState& s, const std::string&) { s.options.caption = true; }},
    {"--settings", true, [](ParseState& s, const std::string& v) { s.options.settingsFile = v; }},
    {"--keep-going", false, [](ParseState& s, const std::string&) { s.options.keepGoing = true; }},
    {"--jobs", true, [](ParseState& s, const std::string& v) { s.options.jobs = parseJobs(v); }},
    {"-j", true, [](ParseState& s, const std::string& v) { s.options.jobs = parseJobs(v); }},
    {"--help", false, [](ParseState& s, const std::string&) { s.options.help = true; }},
    {"--quality", true,
     [](ParseState& s, const std::string& v) { s.options.run.output.encoder.quality = parseQuality(v); }},
    {"--max-size", true, [](ParseState& s, const std::string& v) { s.options.run.output.maxBytes = parseMaxSize(v); }},
    {"--sharpen", true, [](ParseState& s, const std::string& v) { s.options.run.output.sharpening = parseSharpen(v); }},
    {"--standard-huffman", false,
     [](ParseState& s, const std::string&) { s.options.run.output.encoder.optimizeHuffman = false; }},
    {"--progressive", false,
     [](ParseState& s, const std::string&) { s.options.run.output.encoder.progressive = true; }},
    {"--chroma", true,
     [](ParseState& s, const std::string& v) { s.options.run.output.encoder.chroma = parseChroma(v); }},
    {"--keep-date", false, [](ParseState& s, const std::string&) { s.options.run.output.keepDate = true; }},
    {"--format", true, [](ParseState& s, const std::string& v) { s.options.run.output.format = parseFormat(v); }},
    {"--name", true, [](ParseState& s, const std::string& v) { setNameTemplate(s, v); }},
    {"--start", true, [](ParseState& s, const std::string& v) { s.options.run.output.startNumber = parseStart(v); }},
    {"--existing", true, [](ParseState& s, const std::string& v) { s.options.run.output.existing = parseExisting(v); }},
    {"--dry-run", false, [](ParseState& s, const std::string&) { s.options.dryRun = true; }},
    {"--recursive", false, [](ParseState& s, const std::string&) { s.options.run.output.subfolders = true; }},
    // Applied before the other options (parseArguments), so those given beside it win.
    {"--preset", true, [](ParseState& s, const std::string& v) { s.options.preset = v; }},
    {"--report", true, [](ParseState& s, const std::string& v) { s.options.report = nonEmptyPath("--report", v); }},
    {"--files-from", true,
     [](ParseState& s, const std::string& v) { s.options.filesFrom = nonEmptyPath("--files-from", v); }},
    {"--null", false, [](ParseState& s, const std::string&) { s.options.nulSeparated = true; }},
};

const OptionSpec* findOption(std::string_view name) {
  for (const auto& option : kOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

// The caption configured in the settings file: --settings, or the window's.
CaptionSettings captionSettings(const CliOptions& options, std::ostream& err) {
  if (!options.settingsFile.empty()) return captionSettingsFromFile(options.settingsFile);
  const std::optional<fs::path> window =
      windowSettingsFile(fs::path(QCoreApplication::applicationDirPath().toStdString()));
  if (window) return captionSettingsFromFile(*window);
  err << kProgram << ": brak pliku ustawień okna, podpis z ustawień domyślnych\n";
  return {};
}

// What is wrong with SOURCE; empty when it is a folder.
std::string sourceFolderFault(const fs::path& folder) {
  std::error_code ec;
  const fs::file_status source = fs::status(folder, ec);
  if (fs::is_directory(source)) return {};
  const std::string quoted = "\"" + printableName(folder.string()) + "\"";
  if (fs::is_regular_file(source)) return quoted + " jest plikiem, a nie folderem źródłowym";
  if (fs::exists(source)) return quoted + " nie jest folderem";
  if (ec && ec != std::errc::no_such_file_or_directory)
    return "nie można odczytać folderu źródłowego " + quoted + ": " + systemErrorText(ec);
  return "folder źródłowy " + quoted + " nie istnieje";
}

// The run the command line asks for, its files listed; nothing when a check said why not.
std::optional<RunRequest> listRequest(const CliOptions& options, std::ostream& err) {
  RunRequest request;
  request.sourceFolder = options.source;
  request.options = options.run;
  request.workers = options.jobs;
  request.keepGoing = options.keepGoing;
  if (const std::string fault = sourceFolderFault(options.source); !fault.empty()) {
    err << kProgram << ": " << fault << "\n";
    return std::nullopt;
  }
  request.names = options.names;
  if (request.names.empty()) {
    const FolderPictures pictures =
        listFolderPictures(options.source, options.run.output.subfolders, options.run.destFolder);
    request.names = pictures.names;
    // Never opened, so a pipe named like a photo cannot block the run; said, not hidden.
    if (!pictures.skipped.empty())
      err << kProgram << ": pominięte pliki, które nie są zwykłymi plikami: " << pictures.skipped.size() << "\n";
    for (const auto& folder : pictures.unreadable)
      err << kProgram << ": pominięto folder \"" << printableName(folder.folder) << "\": " << folder.reason << "\n";
  }
  // As in the window, nothing is changed when there is nothing to do.
  if (request.names.empty()) {
    err << kProgram << ": brak plików JPEG w folderze \"" << printableName(options.source.string()) << "\"\n";
    return std::nullopt;
  }
  return request;
}

// The run the command line asks for, checked and prepared; nothing when a check said why not.
std::optional<RunRequest> prepareRequest(const CliOptions& options, std::ostream& err) {
  RunQuestions questions;
  if (options.caption) {
    // One stamper for the whole run, as the window builds its mask once per setting change.
    const auto stamper = std::make_shared<const CaptionStamper>(captionSettings(options, err));
    questions.caption = [stamper] { return stamper; };
  }
  std::optional<RunRequest> request = listRequest(options, err);
  if (!request) return std::nullopt;
  return prepareRun(std::move(*request), questions);
}

// --report: the lines go out as files finish, to standard output or into the file's temporary, which
// takes the file's name only once the summary is in. A failed write is said once; the run goes on
// without its report and ends with exit code 1.
class ReportSink {
 public:
  ReportSink(const std::string& file, std::ostream& out, std::ostream& err) : out_(out), err_(err) {
    if (file == "-") {
      toOut_ = true;
    } else if (!file.empty()) {
      // What a killed run left beside its report goes first, as in DEST; a writer at work keeps its own.
      const fs::path path(file);
      removeStaleTemporaries(path.has_parent_path() ? path.parent_path() : fs::path("."));
      try {
        writer_.emplace(path);
      } catch (const FileError& e) {
        failed_ = true;
        err_ << kProgram << ": --report: " << printableName(e.what()) << "\n";
      }
    }
  }
  bool failed() const { return failed_; }
  void file(const FileResult& result) { put(report_.fileLine(result)); }
  void finish(const RunSummary& summary) {
    put(report_.summaryLine(summary));
    if (!writer_) return;
    try {
      writer_->commit();
    } catch (const FileError& e) {
      fail(e);
    }
    writer_.reset();
  }

 private:
  void put(std::string line) {
    line += '\n';
    if (toOut_) {
      // A reader at the other end of a pipe sees each file as it finishes.
      out_ << line << std::flush;
      if (!out_ && !failed_) {
        failed_ = true;
        err_ << kProgram << ": --report: nie można pisać na standardowe wyjście\n";
      }
      return;
    }
    if (!writer_) return;
    try {
      writer_->append(line);
    } catch (const FileError& e) {
      fail(e);
    }
  }
  void fail(const FileError& e) {
    writer_.reset();
    failed_ = true;
    err_ << kProgram << ": --report: " << printableName(e.what()) << "\n";
  }

  std::ostream& out_;
  std::ostream& err_;
  bool toOut_ = false;
  bool failed_ = false;
  std::optional<AtomicFileWriter> writer_;
  RunReport report_;
};

}  // namespace

std::string summaryLine(const RunSummary& summary) {
  const std::string line = summaryWords(summary);
  const double rate = summary.seconds > 0 ? static_cast<double>(summary.written) / summary.seconds : 0.0;
  char timing[64];
  std::snprintf(timing, sizeof timing, "; %.2f s, %.1f zdj./s", summary.seconds, rate);
  return line + timing;
}

// The help text, as --help prints it.
constexpr const char* kUsageText =
    "Użycie: velmora-batch [--size N] [--enlarge] [--prefix P | --suffix S | --name SZABLON [--start N]]\n"
    "                     [--existing replace|skip|number] [--dry-run] [--exif [--strip-gps]]\n"
    "                     [--keep-profile] [--no-rotate] [--caption] [--preset NAZWA] [--settings PLIK] "
    "[--keep-going]\n"
    "                     [--jobs N] [--quality N] [--max-size ROZMIAR] [--sharpen POZIOM]\n"
    "                     [--standard-huffman] [--progressive] [--chroma 420|444] [--keep-date]\n"
    "                     [--format jpeg|webp|avif] [--recursive] [--report PLIK]\n"
    "                     [--files-from PLIK [--null]]\n"
    "                     SOURCE DEST [NAZWA...]\n"
    "\n"
    "Skaluje zdjęcia z folderu SOURCE tak, by dłuższy bok miał najwyżej N pikseli, i zapisuje je jako JPEG\n"
    "w folderze DEST (domyślnie jakość 90) pod nową nazwą z prefiksem lub sufiksem. Bez NAZW bierze pliki\n"
    "\"*.jpg\", \"*.jpeg\", \"*.heic\", \"*.heif\", \"*.png\", \"*.tif\", \"*.tiff\" i \"*.webp\" z folderu SOURCE\n"
    "(wielkość liter bez znaczenia) w jednej liście według nazwy, jak okno (IMG_2 przed IMG_10, a.jpeg\n"
    "przed b.jpg). Format rozpoznaje po zawartości; plik, którego zawartość nie pasuje do rozszerzenia,\n"
    "jest błędem. Plik wynikowy zdjęcia innego niż JPEG ma rozszerzenie .jpg; przezroczystość\n"
    "ląduje na białym tle, a z wielostronicowego TIFF-a brana jest pierwsza strona. Zdjęcie HEIC jest\n"
    "obracane tak, jak mówi jego kontener, a jego EXIF Orientation nie jest stosowane drugi raz.\n"
    "Kolory zdjęć z profilem kolorów ICC innym niż sRGB (Adobe RGB, Display P3, ProPhoto), zdjęć CMYK\n"
    "i zdjęć w skali szarości z profilem są zamieniane na sRGB, a plik wynikowy dostaje profil sRGB,\n"
    "także bez --exif; zdjęcia sRGB i bez profilu zostają, jak są. Zdjęcie, którego kolorów nie da się\n"
    "zamienić (np. uszkodzony profil), jest zapisywane jak z --keep-profile i wymienione (\"NAZWA:\n"
    "zapisano bez konwersji kolorów: PRZYCZYNA\").\n"
    "\n"
    "  --size N       maksymalny rozmiar w pikselach (domyślnie 1280)\n"
    "  --enlarge      powiększaj też mniejsze zdjęcia do rozmiaru N\n"
    "  --prefix P     nazwa wynikowa = P + nazwa (domyślnie prefiks \"_\")\n"
    "  --suffix S     nazwa wynikowa = nazwa bez rozszerzenia + S + rozszerzenie\n"
    "  --name SZABLON  nazwa wynikowa z szablonu, np. \"wesele_{nr:3}\" lub \"{data:%Y-%m-%d_%H%M}_{nazwa}\";\n"
    "                 pola: {nazwa} (nazwa bez rozszerzenia), {nr} lub {nr:3} (numer w kolejności listy,\n"
    "                 dopełniony zerami do 3 cyfr), {data} lub {data:FORMAT} (EXIF DateTimeOriginal, bez\n"
    "                 niego data modyfikacji pliku; domyślnie %Y-%m-%d_%H%M%S, w formacie %Y %y %m %d %H %M\n"
    "                 %S %j), {szer} i {wys} (rozmiar pliku wynikowego); rozszerzenie jak przy --prefix.\n"
    "                 Szablon musi mieć {nazwa} lub {nr}; znaki / \\ : * ? \" < > | i sterujące z pól\n"
    "                 stają się \"_\"\n"
    "  --start N      pierwszy numer {nr} (domyślnie 1)\n"
    "  --existing replace|skip|number  gdy plik wynikowy istnieje: zastąp go (domyślnie), pomiń\n"
    "                 zdjęcie (liczone w podsumowaniu jako pominięte) albo zapisz jako \"nazwa (2).jpg\"\n"
    "                 z pierwszym wolnym numerem; plik powstały w trakcie też nie jest zastępowany\n"
    "  --dry-run      wypisz plan na standardowe wyjście (dla każdego pliku nazwa wynikowa, rozmiar\n"
    "                 SZERxWYS i czy plik będzie nowy, zastąpi istniejący, zostanie pominięty albo\n"
    "                 dostanie numer) i nic nie zapisuj, także folderu DEST; kod wyjścia 1, gdy któryś\n"
    "                 plik byłby błędem (wiersz \"NAZWA: przyczyna\")\n"
    "  --exif         zachowaj EXIF (z miniaturką i nowym rozmiarem), IPTC, XMP i komentarz zdjęcia\n"
    "                 źródłowego; gdy się to nie uda, zapisz samo zdjęcie; każdy plik zapisany bez\n"
    "                 części metadanych źródła jest wymieniony (\"NAZWA: zapisano bez metadanych:\n"
    "                 PRZYCZYNA\" lub \"NAZWA: zapisano bez miniatury: PRZYCZYNA\") i liczy się jako zapisany\n"
    "  --strip-gps    razem z --exif: usuń dane GPS (katalog GPS w EXIF i współrzędne exif:GPS* w XMP),\n"
    "                 resztę metadanych zachowaj\n"
    "  --keep-profile  nie zamieniaj kolorów: profil kolorów ICC (RGB) zdjęcia źródłowego przechodzi\n"
    "                 do pliku wynikowego bez zmian\n"
    "  --no-rotate    nie obracaj zdjęć wg orientacji zapisanej w EXIF (domyślnie zdjęcie jest\n"
    "                 obracane lub odbijane do pionu przed skalowaniem i podpisem)\n"
    "  --caption      podpisz zdjęcia podpisem ustawionym w oknie programu (tekst, czcionka, kolory,\n"
    "                 tryby, dodana grafika), tak samo jak robi to okno\n"
    "  --preset NAZWA  zacznij od presetu z okna \"Opcje zapisu\" (opcje zapisu, rozmiar, \"zmień\n"
    "                 rozmiar\", \"powiększ\"); opcje podane obok niego mają pierwszeństwo\n"
    "  --settings PLIK  plik ustawień, z którego brać podpis i presety (domyślnie plik ustawień okna,\n"
    "                 ~/.config/Velmora/velmora/velmora.props)\n"
    "  --quality N    jakość JPEG od 1 do 100 (domyślnie 90)\n"
    "  --max-size ROZMIAR  najwyżej tyle na plik razem z metadanymi, np. 500K lub 2M (1K = 1000 bajtów;\n"
    "                 liczba bez litery to K): najwyższa jakość do --quality, przy której plik się\n"
    "                 mieści; gdy nie mieści się nawet przy jakości 10, plik jest zapisywany z jakością\n"
    "                 10 i wymieniony (\"nie zmieścił się w 500 KB (zapisano 612 KB)\")\n"
    "  --sharpen POZIOM  wyostrzanie po zmniejszeniu: none (domyślnie), low, medium, high (maska\n"
    "                 wyostrzająca jasności, bez kolorowych obwódek)\n"
    "  --standard-huffman  standardowe tablice Huffmana (domyślnie optymalizowane: te same piksele,\n"
    "                 mniejszy plik)\n"
    "  --progressive  zapis progresywny\n"
    "  --chroma 420|444  próbkowanie kolorów (domyślnie 420; 444 zachowuje ostry kolorowy podpis)\n"
    "  --keep-date    nadaj plikowi wynikowemu datę modyfikacji pliku źródłowego\n"
    "  --format jpeg|webp|avif  format pliku wynikowego (domyślnie jpeg; rozszerzenie .webp lub .avif);\n"
    "                 jakość przechodzi na jakość WebP, a w AVIF na kwantyzator (100 - jakość) * 63 / 100;\n"
    "                 EXIF (bez miniatury), XMP i profil idą na miejsca tych formatów, IPTC nie ma w nich\n"
    "                 miejsca (\"zapisano bez IPTC: format WebP go nie przechowuje\")\n"
    "  --recursive    także zdjęcia z podfolderów SOURCE (folder po folderze: najpierw pliki folderu,\n"
    "                 potem jego podfoldery); wynik zdjęcia \"a/b/x.jpg\" trafia do DEST/a/b, tworzonego\n"
    "                 w razie potrzeby; dowiązań do folderów i folderu DEST wewnątrz SOURCE nie czyta,\n"
    "                 a folder, którego nie da się odczytać, pomija i wymienia\n"
    "  --keep-going   po błędzie przejdź do następnego pliku (domyślnie przerwij), a na końcu wypisz\n"
    "                 wszystkie błędne pliki z przyczynami\n"
    "  --jobs N, -j N  przetwarzaj N plików naraz (domyślnie tyle, ile rdzeni może użyć program)\n"
    "  --report PLIK  raport dla skryptów (JSON Lines): jeden obiekt JSON w wierszu na każdy ukończony\n"
    "                 plik, w kolejności ukończenia (source, output, status written/skipped/failed,\n"
    "                 cause, notes, width, height, bytes, ms), na końcu wiersz {\"summary\":{...}}\n"
    "                 z liczbami plików, końcem pracy (completed/stopped/failed) i czasem; bajty nazw\n"
    "                 spoza UTF-8 są tam znakiem U+FFFD. Plik dostaje tę nazwę dopiero po pracy (do\n"
    "                 tego czasu jest plikiem tymczasowym obok); \"-\" to standardowe wyjście. Raport,\n"
    "                 którego nie udało się zapisać, daje kod wyjścia 1\n"
    "  --files-from PLIK  przetwórz dokładnie te pliki, w tej kolejności: jedna ścieżka względem\n"
    "                 SOURCE w wierszu (\"-\" to standardowe wejście); puste wiersze i CR przed końcem\n"
    "                 wiersza są pomijane; ścieżka bezwzględna, z \"..\" lub podana drugi raz jest\n"
    "                 błędem wywołania (z numerem wiersza); brakujący plik jest błędem tego pliku\n"
    "  --null         razem z --files-from: ścieżki kończą się znakiem NUL (find -print0), nie końcem\n"
    "                 wiersza\n"
    "  --help         ten opis\n"
    "\n"
    "Folder DEST jest tworzony, gdy go nie ma (jeden poziom). Istniejący plik wynikowy jest zastępowany\n"
    "dopiero gotowym nowym plikiem; pliku źródłowego program nie zastępuje: plik, którego wynik trafiłby\n"
    "na zdjęcie folderu SOURCE lub na inny plik źródłowy, jest błędem tego pliku. Pliki, które nie są\n"
    "zwykłymi plikami (potoki, urządzenia), nie są otwierane; ich liczba jest podawana. Zdjęcie, które\n"
    "wymagałoby za dużo pamięci (ponad 1 GiB, a razem z innymi ponad połowę pamięci komputera), jest\n"
    "błędem tego pliku.\n"
    "SIGINT, SIGTERM i SIGHUP działają jak \"Zatrzymaj\" w oknie: nowy plik się nie zaczyna, rozpoczęte\n"
    "są kończone, potem idzie podsumowanie.\n"
    "Postęp (np. \"3/10 IMG_0003.jpg\", w kolejności ukończenia, także dla plików z błędem), błędy\n"
    "i podsumowanie (zapisane pliki, czas, zdjęcia na sekundę) idą na standardowe wyjście błędów.\n"
    "Kod wyjścia: 0, gdy zapisano (lub pominięto) wszystkie pliki; 1, gdy któregoś nie; 2 przy błędnym\n"
    "wywołaniu; 128 + numer sygnału (130, 143, 129) po SIGINT, SIGTERM, SIGHUP.\n"
    "\n"
    "velmora-batch --dump-metadata PLIK...\n"
    "  wypisuje, co program odczytał z metadanych każdego pliku (segmenty, wpisy EXIF, miniatura, IPTC,\n"
    "  komentarz), jako jeden obiekt JSON w wierszu.\n";

std::string usageText() { return kUsageText; }

namespace {

ParseState parseOptions(const std::vector<std::string>& args, ParseState state, std::vector<std::string>* out) {
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
    // "-j4" as well as "-j 4".
    const bool attached = arg.size() > 2 && arg[1] == 'j' && arg[2] != '=';
    const auto eq = attached ? std::size_t{2} : arg.find('=');
    const std::string name = arg.substr(0, eq);
    const OptionSpec* option = findOption(name);
    if (option == nullptr) throw UsageError("nieznana opcja " + name);
    std::string value;
    if (option->takesValue) {
      if (attached) {
        value = arg.substr(2);
      } else if (eq != std::string::npos) {
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
  if (out != nullptr) *out = std::move(positional);
  return state;
}

CliOptions finishArguments(ParseState state, std::vector<std::string> positional) {
  if (state.options.help) return state.options;
  if (!state.options.settingsFile.empty() && !state.options.caption && state.options.preset.empty()) {
    throw UsageError("--settings ma znaczenie tylko razem z --caption lub --preset");
  }
  // Without --exif nothing is carried, so there would be no position to strip: say so rather than
  // let the user believe the option did something.
  if (state.options.run.stripGps && !state.options.run.keepMetadata) {
    throw UsageError("--strip-gps ma znaczenie tylko razem z --exif");
  }
  if (positional.size() < 2) throw UsageError("podaj folder źródłowy i folder docelowy");
  state.options.source = positional[0];
  state.options.run.destFolder = positional[1];
  state.options.names.assign(positional.begin() + 2, positional.end());
  if (state.options.nulSeparated && state.options.filesFrom.empty())
    throw UsageError("--null ma znaczenie tylko razem z --files-from");
  if (!state.options.filesFrom.empty()) {
    if (!state.options.names.empty()) throw UsageError("--files-from i NAZWY plików wykluczają się");
    // Paths below SOURCE stay paths, held to the same naming rule as NAMEs below.
    state.options.names = parseFileList(readFileList(state.options.filesFrom), state.options.nulSeparated);
  }
  // A name that cannot become an output ("..", "a/b" as a NAME) is refused before anything is written;
  // a listed path below SOURCE goes into the same folders below DEST.
  const bool paths = !state.options.filesFrom.empty();
  for (const std::string& name : state.options.names) {
    try {
      const BatchOptions& run = state.options.run;
      // A template's name needs the picture; the name itself must be one all the same.
      const NameMode mode = run.output.templateNames ? NameMode::Prefix : run.nameMode;
      const std::string affix = run.output.templateNames ? std::string() : run.affix;
      if (paths)
        outputPath(run.destFolder, name, mode, affix);
      else
        outputName(name, mode, affix);
    } catch (const ImagingError& e) {
      throw UsageError((state.options.filesFrom.empty() ? "" : "--files-from: ") + std::string(e.what()));
    }
  }
  return state.options;
}

// The preset's output options and scaling, from --settings or the window's settings file.
void applyPreset(CliOptions& options, const std::string& name, const fs::path& settingsFile) {
  std::optional<fs::path> file = settingsFile.empty() ? std::nullopt : std::optional<fs::path>(settingsFile);
  if (!file) {
    // Without the caption there is no application object to ask for the program's folder.
    std::error_code ec;
    const fs::path folder = QCoreApplication::instance()
                                ? fs::path(QCoreApplication::applicationDirPath().toStdString())
                                : fs::read_symlink("/proc/self/exe", ec).parent_path();
    file = windowSettingsFile(folder);
  }
  if (!file) throw UsageError("--preset: brak pliku ustawień okna (podaj --settings PLIK)");
  std::optional<Preset> preset;
  try {
    preset = presetFromFile(*file, QString::fromStdString(name));
  } catch (const std::exception& e) {
    throw UsageError("--preset: " + std::string(e.what()));
  }
  if (!preset) throw UsageError("--preset: brak presetu \"" + name + "\" w pliku " + file->string());
  options.run.output = preset->output;
  options.run.convertColours = preset->output.convertColours;
  options.run.scale = preset->scaling.scale;
  options.run.sizeLimit = preset->scaling.size;
  options.run.enlarge = preset->scaling.enlarge;
}

}  // namespace

CliOptions parseArguments(const std::vector<std::string>& args) {
  // A preset is the starting point: the first pass finds it and its settings file, the second applies
  // every option over it.
  ParseState first = parseOptions(args, ParseState{}, nullptr);
  ParseState start;
  if (!first.options.preset.empty() && !first.options.help) {
    applyPreset(start.options, first.options.preset, first.options.settingsFile);
  }
  std::vector<std::string> positional;
  ParseState state = parseOptions(args, std::move(start), &positional);
  return finishArguments(std::move(state), std::move(positional));
}

int runBatch(const CliOptions& options, std::ostream& out, std::ostream& err) {
  std::optional<RunRequest> prepared;
  try {
    prepared = prepareRequest(options, err);
  } catch (const std::exception& e) {
    err << kProgram << ": " << printableName(e.what()) << "\n";
    return 1;
  }
  if (!prepared) return 1;
  RunRequest request = std::move(*prepared);

  // Before any work: a report that cannot even be started stops the run.
  ReportSink report(options.report, out, err);
  if (report.failed()) return 1;
  // A signal stops the run as "Zatrzymaj" does, and the summary still comes.
  const StopSignals stops;
  request.stopSignal = &stops.caught();
  const std::size_t total = request.names.size();
  BatchRun batch(std::move(request));
  // This thread is one of the workers, so one worker makes no thread at all. Whichever worker has just
  // finished a file prints what has finished; taking and printing under one lock keeps the order.
  std::mutex printing;
  auto printProgress = [&] {
    const std::lock_guard lock(printing);
    for (const FileResult& result : batch.takeResults()) {
      const std::string name = printableName(result.name);
      err << result.completed << "/" << total << " " << name << "\n";
      report.file(result);
      // Written, but without some of the source's metadata: said, and still a success.
      if (result.outcome)
        for (const TOutputNote& note : result.outcome->notes)
          err << kProgram << ": " << name << ": " << printableName(note.Text()) << "\n";
    }
  };
  try {
    batch.run(printProgress);
  } catch (const std::exception& e) {
    err << kProgram << ": " << printableName(e.what()) << "\n";
    return 1;
  }
  printProgress();
  const RunSummary summary = batch.summary();
  report.finish(summary);
  const int signal = stops.caught().load();
  if (signal != 0) {
    err << kProgram << ": zatrzymano (" << signalName(signal) << ")";
    if (summary.end == RunEnd::Stopped) err << " przed " << printableName(summary.stoppedBefore);
    err << "\n";
  }
  for (const FileResult& failure : summary.failures) err << kProgram << ": " << printableName(failure.message) << "\n";
  err << kProgram << ": " << summaryLine(summary) << "\n";
  // As a shell reports a program the signal ended: 128 + its number.
  if (signal != 0) return 128 + signal;
  return summary.failed > 0 || report.failed() ? 1 : 0;
}

int planBatch(const CliOptions& options, std::ostream& out, std::ostream& err) {
  try {
    const std::optional<RunRequest> request = listRequest(options, err);
    if (!request) return 1;
    checkRunOptions(request->options, options.caption);
    const RunPlan plan = planRun(*request, true);
    bool refused = false;
    for (const PlannedFile& file : plan.files) {
      out << printableName(planLine(file)) << "\n";
      refused = refused || !file.refused.empty();
    }
    return refused ? 1 : 0;
  } catch (const std::exception& e) {
    err << kProgram << ": " << printableName(e.what()) << "\n";
    return 1;
  }
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
    err << kProgram << ": " << printableName(e.what()) << "\n\n" << usageText();
    return 2;
  }
  if (options.help) {
    out << usageText();
    return 0;
  }
  if (options.dryRun) return planBatch(options, out, err);
  return runBatch(options, out, err);
}

}  // namespace velmora::batch
