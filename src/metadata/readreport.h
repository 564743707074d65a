#pragma once

// What a read of a photo file found: its outcome, the last problem the EXIF decoding met and the facts
// a caller tells the user about. Callers decide on the enums; the text is for showing (and for the
// dump's "errorText"), made here from messages.h, so nothing compares message strings.

#include <cstddef>
#include <string>
#include <string_view>

#include "metadata/messages.h"

namespace velmora {

// The outcome of TImgData::OpenFile.
enum class ReadOutcome {
  kNotOpened,           // no OpenFile yet (a scan alone), or the file does not exist: no text of its own
  kRead,                // metadata found
  kFormatNotSupported,  // an extension the reader does not know
  kCannotRead,          // no metadata found
  kIllegalExif,         // the read failed
};

// A problem of the EXIF decoding; the decoding goes on without the part it concerns.
enum class ReadProblem {
  kNone,
  kIncorrectExifHeader,
  kInvalidAlignment,
  kIllegalDirectory,
  kMakerNoteError,  // with the error's own text as the detail
};

struct ReadReport {
  ReadOutcome outcome = ReadOutcome::kNotOpened;
  ReadProblem problem = ReadProblem::kNone;
  // The message of whichever of the two was set last, as the user is shown it.
  std::string text;
  // The scan stopped at TImgData::kHeaderBudget before the first scan header: the segments from
  // headerCutAt on (metadata among them, perhaps) were not read.
  bool headerCut = false;
  std::size_t headerCutAt = 0;

  void SetProblem(ReadProblem kind, std::string_view detail = {}) {
    problem = kind;
    switch (kind) {
      case ReadProblem::kNone:
        return;
      case ReadProblem::kIncorrectExifHeader:
        text = msg::kIncorrectExifHeader;
        return;
      case ReadProblem::kInvalidAlignment:
        text = msg::kInvalidAlignment;
        return;
      case ReadProblem::kIllegalDirectory:
        text = msg::kIllegalDirectory;
        return;
      case ReadProblem::kMakerNoteError:
        text = std::string(msg::kErrorDetected) + std::string(detail);
        return;
    }
  }

  // fileName: the file named by kCannotRead's text.
  void SetOutcome(ReadOutcome kind, std::string_view fileName = {}) {
    outcome = kind;
    switch (kind) {
      case ReadOutcome::kNotOpened:
        text.clear();
        return;
      case ReadOutcome::kRead:
        text = msg::kNone;
        return;
      case ReadOutcome::kFormatNotSupported:
        text = msg::kFormatNotSupported;
        return;
      case ReadOutcome::kCannotRead:
        text = std::string(msg::kCannotReadPrefix) + std::string(fileName) + "\"";
        return;
      case ReadOutcome::kIllegalExif:
        text = msg::kIllegalExif;
        return;
    }
  }
};

}  // namespace velmora
