#pragma once

// What both front ends check and prepare before a run, in one order: the prefix or suffix, an
// operation, the size, then the caption, then the destination folder (made when missing, one level),
// then the outputs that would replace a source. Every check comes before the destination is made, the
// run's first change on disk. The window asks its questions through RunQuestions; velmora-batch asks
// none.

#include <functional>
#include <memory>
#include <string>

#include "imaging/batchrun.h"
#include "imaging/imagingerror.h"

namespace velmora {

class CaptionStamper;

enum class SetupFault {
  Affix,                 // the prefix or suffix cannot be used (affixFault)
  NameTemplate,          // the name template cannot be used (nameTemplateFault)
  NoOperation,           // neither scaling nor a caption
  SizeBelowOne,          // scaling to a limit below 1
  DestinationDeclined,   // the user did not want the missing destination made
  DestinationNotFolder,  // the destination is there, but no folder
  DestinationNotMade,    // making the destination failed
  SourcesKept,           // the user did not want the sources replaced
};

// Why a run does not start. what() is the text to show: the window's words for the checks of the
// options ("Prefiks nie może zawierać znaku \"/\"", "Nie wybrano operacji", "Rozmiar musi być większy
// od zera"), velmora-batch's for the destination; empty for the answers the user gave.
class RunSetupError : public ImagingError {
 public:
  RunSetupError(SetupFault fault, const std::string& message) : ImagingError(message), fault_(fault) {}
  SetupFault fault() const { return fault_; }

 private:
  SetupFault fault_;
};

// The checks of the options alone, the first of prepareRun: the prefix or suffix, the name template,
// an operation (caption: the run stamps one), the size. Throws RunSetupError.
void checkRunOptions(const BatchOptions& options, bool caption);

// The front end's part; an empty function is a question not asked.
struct RunQuestions {
  // Set when the run stamps the caption: its stamper, asked for once the options passed their checks (a
  // caption that could not be built before is built here, and may throw). Null: no caption after all.
  std::function<std::shared_ptr<const CaptionStamper>()> caption;
  // The destination folder is missing: may it be made? Not asked: it is made.
  std::function<bool()> makeDestination;
  // Some outputs would replace their own sources (the source folder, no affix): may they? Not asked:
  // those files are refused, each in its turn.
  std::function<bool()> replaceSources;
};

// Checks and prepares the run of request (its source folder, names and options): its options get the
// run's caption (CaptionStamper::ForRun) and, when the user agreed, allowReplaceSource; outputs and
// plannedNames get the run's plan (planRun), and refused, for each name, why its output may not be
// written (an output never replaces a source, in the whole tree when names reach into subfolders): the
// plan's refusals, one landing on its own source unless replaceSources agreed. Throws RunSetupError, or what the caption throws.
RunRequest prepareRun(RunRequest request, const RunQuestions& questions);

}  // namespace velmora
