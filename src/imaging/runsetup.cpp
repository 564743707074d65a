#include "imaging/runsetup.h"

#include <QImage>
#include <algorithm>
#include <set>
#include <system_error>
#include <utility>

#include "imaging/caption.h"
#include "imaging/colour.h"
#include "imaging/runplan.h"
#include "imaging/sourcefiles.h"
#include "base/fileio.h"

namespace velmora {

void checkRunOptions(const BatchOptions& options, bool caption) {
  // Before the destination is made: "../x_" would write into its parent.
  if (options.output.templateNames) {
    if (const std::string fault = nameTemplateFault(options.output.nameTemplate); !fault.empty())
      throw RunSetupError(SetupFault::NameTemplate, fault);
  } else if (const std::string fault = affixFault(options.affix); !fault.empty()) {
    throw RunSetupError(SetupFault::Affix, (options.nameMode == NameMode::Suffix ? "Sufiks " : "Prefiks ") + fault);
  }
  if (!options.scale && !caption) throw RunSetupError(SetupFault::NoOperation, "Nie wybrano operacji");
  if (options.scale && options.sizeLimit < 1)
    throw RunSetupError(SetupFault::SizeBelowOne, "Rozmiar musi być większy od zera");
}

namespace {

namespace fs = std::filesystem;

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

}  // namespace

RunRequest prepareRun(RunRequest request, const RunQuestions& questions) {
  BatchOptions& options = request.options;
  checkRunOptions(options, static_cast<bool>(questions.caption));
  if (questions.caption) {
    if (const std::shared_ptr<const CaptionStamper> stamper = questions.caption()) {
      auto run = std::make_shared<const CaptionStamper>(stamper->ForRun());
      options.caption = [run](QImage& picture) { run->StampPicture(picture); };
    }
  }
  if (options.convertColours) options.colourConversions = std::make_shared<ColourConversions>();
  makeDestination(options.destFolder, questions.makeDestination);

  RunPlan plan = planRun(request, false);
  const bool replacesOwn =
      std::any_of(plan.files.begin(), plan.files.end(), [](const PlannedFile& f) { return f.ownSource; });
  if (replacesOwn && questions.replaceSources) {
    if (!questions.replaceSources()) throw RunSetupError(SetupFault::SourcesKept, "");
    options.allowReplaceSource = true;
    for (PlannedFile& file : plan.files) {
      if (!file.ownSource) continue;
      file.refused.clear();
    }
  }
  request.refused.clear();
  request.outputs.clear();
  auto names = std::make_shared<std::set<std::string>>();
  for (PlannedFile& file : plan.files) {
    request.refused.push_back(std::move(file.refused));
    if (!file.output.empty()) names->insert(file.output);
    request.outputs.push_back({std::move(file.output), std::move(file.base), file.write == PlannedWrite::Skip});
  }
  request.plannedNames = std::move(names);
  return request;
}

}  // namespace velmora
