#include "imaging/runsetup.h"

#include <sys/stat.h>

#include <QImage>
#include <algorithm>
#include <map>
#include <optional>
#include <system_error>
#include <utility>

#include "imaging/caption.h"
#include "imaging/colour.h"
#include "imaging/sourcefiles.h"
#include "base/fileio.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> fileId(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

void checkOptions(const BatchOptions& options, bool caption) {
  // Before the destination is made: "../x_" would write into its parent.
  if (const std::string fault = affixFault(options.affix); !fault.empty()) {
    throw RunSetupError(SetupFault::Affix, (options.nameMode == NameMode::Suffix ? "Sufiks " : "Prefiks ") + fault);
  }
  if (!options.scale && !caption) throw RunSetupError(SetupFault::NoOperation, "Nie wybrano operacji");
  if (options.scale && options.sizeLimit < 1)
    throw RunSetupError(SetupFault::SizeBelowOne, "Rozmiar musi być większy od zera");
}

void makeDestination(const fs::path& folder, const std::function<bool()>& ask) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  if (ask && !ask()) throw RunSetupError(SetupFault::DestinationDeclined, "");
  const std::string quoted = "\"" + printableName(folder.string()) + "\"";
  // One level only: a missing parent is not made either. Another process may make the folder at the
  // same time (one job split over several, each making DEST): what counts is a folder there after.
  const bool made = fs::create_directory(folder, ec);
  if (made || fs::is_directory(folder)) return;
  if (fs::exists(folder)) throw RunSetupError(SetupFault::DestinationNotFolder, quoted + " nie jest folderem");
  throw RunSetupError(SetupFault::DestinationNotMade,
                      "nie można utworzyć folderu docelowego " + quoted + ": " + systemErrorText(ec));
}

struct Refusal {
  std::string message;  // empty: the output may be written
  bool ownSource = false;
};

std::vector<Refusal> refusedOutputs(const RunRequest& request) {
  const BatchOptions& options = request.options;
  // Every picture of the source folder and every source of the run, by the file itself, so another
  // spelling of the folder or a link to it is caught as well.
  std::map<FileId, fs::path> sources;
  std::error_code ec;
  for (fs::directory_iterator it(request.sourceFolder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!isPictureName(it->path().filename().string())) continue;
    if (const auto id = fileId(it->path())) sources.emplace(*id, it->path());
  }
  std::vector<std::optional<FileId>> own;
  for (const std::string& name : request.names) {
    own.push_back(fileId(request.sourceFolder / name));
    if (own.back()) sources.emplace(*own.back(), request.sourceFolder / name);
  }
  std::vector<Refusal> refused(request.names.size());
  std::map<fs::path, std::string> planned;  // output -> the name it comes from
  for (std::size_t i = 0; i < request.names.size(); ++i) {
    const std::string& name = request.names[i];
    fs::path output;
    try {
      output = outputPath(options.destFolder, name, options.nameMode, options.affix, options.output.format);
    } catch (const ImagingError&) {
      continue;  // the file fails with the naming rule's own message
    }
    if (const auto [at, fresh] = planned.emplace(output, name); !fresh) {
      refused[i].message = "Plik wynikowy \"" + output.string() + "\" powstaje już z pliku \"" + at->second + "\"";
      continue;
    }
    const auto id = fileId(output);
    const auto source = id ? sources.find(*id) : sources.end();
    if (source == sources.end()) continue;
    if (id == own[i]) {
      refused[i] = {"Plik wynikowy zastąpiłby plik źródłowy: \"" + output.string() + "\"", true};
    } else {
      refused[i].message = "Plik wynikowy \"" + output.string() + "\" zastąpiłby plik źródłowy \"" +
                           source->second.filename().string() + "\"";
    }
  }
  return refused;
}

}  // namespace

RunRequest prepareRun(RunRequest request, const RunQuestions& questions) {
  BatchOptions& options = request.options;
  checkOptions(options, static_cast<bool>(questions.caption));
  if (questions.caption) {
    if (const std::shared_ptr<const CaptionStamper> stamper = questions.caption()) {
      auto run = std::make_shared<const CaptionStamper>(stamper->ForRun());
      options.caption = [run](QImage& picture) { run->StampPicture(picture); };
    }
  }
  if (options.convertColours) options.colourConversions = std::make_shared<ColourConversions>();
  makeDestination(options.destFolder, questions.makeDestination);

  std::vector<Refusal> refused = refusedOutputs(request);
  const bool replacesOwn = std::any_of(refused.begin(), refused.end(), [](const Refusal& r) { return r.ownSource; });
  if (replacesOwn && questions.replaceSources) {
    if (!questions.replaceSources()) throw RunSetupError(SetupFault::SourcesKept, "");
    options.allowReplaceSource = true;
    for (Refusal& refusal : refused)
      if (refusal.ownSource) refusal.message.clear();
  }
  request.refused.clear();
  for (Refusal& refusal : refused) request.refused.push_back(std::move(refusal.message));
  return request;
}

}  // namespace velmora
