#pragma once

// The plan of a run: for every file the output's name, its size and what becomes of an output that is
// there already, from the pictures' headers alone. The run writes under the plan's names (prepareRun
// puts them into the request), velmora-batch --dry-run and the window's "Podgląd nazw" show it, so
// what is shown is what is written.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "imaging/batchrun.h"

namespace velmora {

// "name (n).ext" is tried up to this n; a folder holding more is no place to number in.
inline constexpr int kMaxNumberedName = 99999;

// What the naming reads of a source: the picture's size as the size rule takes it (upright unless
// rotate is off) and the EXIF DateTimeOriginal. Only the header is read, never the picture.
struct SourceHeader {
  int width = 0;
  int height = 0;
  std::optional<std::tm> exifDate;
};

// Throws ImagingError or FileError when the header cannot be read. Without wantDate, a PNG's or WebP's
// EXIF that lies after the picture data is not looked for (the file is not read that far).
SourceHeader readSourceHeader(const std::filesystem::path& source, bool rotate, bool wantDate = true);

// The one naming function of the plan and the run: the output's file name of the source at `index` in
// the run's list, before the rule for existing outputs. A template reads the header when it needs it
// (given, or read here when null). Throws ImagingError.
std::string fileOutputName(const std::filesystem::path& source, std::size_t index, const BatchOptions& options,
                           const SourceHeader* header);

enum class PlannedWrite { New, Replace, Skip, Number };

struct PlannedFile {
  std::string name;     // the source's
  std::string output;   // the output's name below the destination ("sub/a.jpg"); empty when refused
  std::string base;     // the file name before numbering (no folder)
  int width = 0;        // the output's size; 0 when the header could not be read
  int height = 0;
  PlannedWrite write = PlannedWrite::New;
  std::string refused;  // why the file fails before any work; empty: it does not
  bool ownSource = false;  // refused for replacing its own source (which the window may allow)
};

struct RunPlan {
  std::vector<PlannedFile> files;  // in the order of the request's names
};

// The plan for request (its options checked before: checkRunOptions). withSizes: every header is read
// for the sizes (a dry run); otherwise only when the template needs one. Writes nothing, makes nothing.
// An output landing on a picture of the source folder or on a source of the run, compared as files, is
// refused when it would replace that file, and so is a second file planned under one name, unless the
// existing outputs are numbered.
RunPlan planRun(const RunRequest& request, bool withSizes);

// "IMG_0001.jpg -> wesele_001.jpg 1280x853 nowy" (zastąpi, pominie, numer), or "NAME: cause".
std::string planLine(const PlannedFile& file);

}  // namespace velmora
