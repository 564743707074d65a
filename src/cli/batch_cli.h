#pragma once

// velmora-batch: the batch run from the command line, for scripts, benchmarks and machines without a
// display. Kept apart from main() so tests can drive it in-process.
//
//   velmora-batch --dump-metadata FILE...
//   velmora-batch [--size N] [--enlarge] [--prefix P | --suffix S] [--exif [--strip-gps]] [--keep-profile]
//                 [--no-rotate]
//                 [--caption] [--preset NAME] [--settings FILE] [--keep-going] [--jobs N]
//                 [--quality N] [--max-size N{K|M}] [--sharpen LEVEL] [--standard-huffman] [--progressive]
//                 [--chroma 420|444] [--keep-date] [--recursive] [--report FILE]
//                 [--files-from FILE [--null]] SOURCE DEST [NAME...]

#include <filesystem>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/batchrun.h"
#include "imaging/pipeline.h"

namespace velmora::batch {

struct CliOptions {
  BatchOptions run;  // destFolder is DEST
  std::filesystem::path source;
  std::vector<std::string> names;  // empty: the source folder's pictures
  // The list of files to run over (batch_filelist.h), "-" for standard input; read by parseArguments
  // into names. nulSeparated: its entries end with NUL, not a line break.
  std::string filesFrom;
  bool nulSeparated = false;
  // Where the report goes as files finish (runreport.h): a file, "-" for standard output; empty: none.
  std::string report;
  bool keepGoing = false;
  int jobs = 0;  // files processed at once; 0: as many as the process has cores
  bool help = false;
  // Stamp the caption configured in a settings file: settingsFile, or the window's when empty.
  bool caption = false;
  std::filesystem::path settingsFile;
  // The preset ("Opcje zapisu") whose options and scaling the others start from; empty: none.
  std::string preset;
  // Print the run's plan (names, sizes, what becomes of existing outputs) and write nothing.
  bool dryRun = false;
};

// A command line that cannot be run; the message says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string usageText();

// Parses the arguments (without the program name). Throws UsageError.
CliOptions parseArguments(const std::vector<std::string>& args);

// Runs the batch on options.jobs workers. To err: progress ("3/10 IMG_0003.jpg") as files finish, failed
// ones included, each followed by what a written file goes without of its source's metadata
// ("velmora-batch: NAME: zapisano bez metadanych: CAUSE"); after the run every failed file with its
// cause, then one summary line (files written, wall time, pictures per second). Names are printed
// with printableName, so no byte of a name reaches the terminal as a command. SIGINT, SIGTERM and
// SIGHUP stop the run as "Zatrzymaj" does ("zatrzymano (SIGTERM) przed NAME" before the report).
// Returns the exit code: 0 when every file was written (with or without all of its metadata), 1
// otherwise, 128 + the signal's number after a signal. With the caption a QGuiApplication must exist.
// With options.report, every finished file's line goes there as it finishes, the summary last; a file
// takes its place only at the end, "-" goes to out. A report that cannot be written makes the exit code 1.
int runBatch(const CliOptions& options, std::ostream& out, std::ostream& err);

// --dry-run: the plan, one line a file, to out; 1 when a file would fail.
int planBatch(const CliOptions& options, std::ostream& out, std::ostream& err);

// The run's last line: "zapisano 97 z 100 plików, błędy: 3; 12.34 s, 7.9 zdj./s" ("przerwano po błędzie; "
// in front when a failure ended the run). Pictures per second count the written files.
std::string summaryLine(const RunSummary& summary);

// True when the arguments ask for the caption, which needs a QGuiApplication for its fonts.
bool wantsCaption(const std::vector<std::string>& args);

// The whole program: parses, prints help or usage errors (exit code 2), runs.
int batchMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velmora::batch
