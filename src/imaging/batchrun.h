#pragma once

// A batch run over a list of pictures, on a pool of worker threads, with the run's bookkeeping: progress
// in completion order, stop, the first failure, and the report of every failed file. Both front ends
// (the window and velmora-batch) hand it their options and show what it reports; it has no widgets and
// never calls back into the front end except through the wake function.
//
// Each file is processed whole by one worker (processFile: its own decoder and encoder); the options,
// including the caption stamper they hold, are shared read-only. Files start in list order, so the
// files not started at a stop are always the tail of the list.
//
// Stop (and the first failure of a run that does not keep going): no new file starts; the files in
// flight finish and are written, as the file in hand was before the run had workers. Nothing is
// abandoned half-way, so no temporary file outlives the run.
//
// Memory: the files in flight share a budget (half the machine's memory); a file waits for what its
// picture needs before decoding it, so fewer files are in flight when pictures are large.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "imaging/memorybudget.h"
#include "imaging/pipeline.h"

namespace velmora {

// More workers than this only cost memory, each holding a picture in flight.
inline constexpr int kMaxWorkers = 1024;

// The cores this process may run on (its CPU affinity), at least 1: the default number of workers.
int defaultWorkerCount();

// One file's output as the run's plan gave it (prepareRun).
struct PlannedOutput {
  std::string name;   // the output's name below the destination ("sub/a.jpg")
  std::string base;   // the file name before numbering (no folder)
  bool skip = false;  // an output is there and is kept ("pomiń"): the file is not read
};

struct RunRequest {
  std::filesystem::path sourceFolder;
  // File names in sourceFolder (bytes), in the order the files start. A name below it ("sub/a.jpg")
  // is written into the same folders below the destination, made as the file starts.
  std::vector<std::string> names;
  BatchOptions options;
  int workers = 0;         // below 1: defaultWorkerCount(); at most kMaxWorkers and the number of files
  bool keepGoing = false;  // a failed file does not end the run; the report lists it
  // Empty, or one entry per name: why that file is refused before any work (prepareRun), "" for
  // none. A refused file fails in its turn with that cause, without being read.
  std::vector<std::string> refused;
  // Empty, or one entry per name: where its output goes (prepareRun); empty: the naming rule.
  std::vector<PlannedOutput> outputs;
  // Every name of `outputs`, which a number taken at write time avoids.
  std::shared_ptr<const std::set<std::string>> plannedNames;
  // Non-zero stops the run as requestStop() does; a signal handler may set it, which may not call
  // requestStop. Read before each file starts; null: none.
  const std::atomic<int>* stopSignal = nullptr;
};

// One finished file, written or failed.
struct FileResult {
  std::size_t index = 0;  // in RunRequest::names
  std::string name;
  std::size_t completed = 0;           // files finished so far, this one included: the progress count
  double milliseconds = 0;             // the file's own time, from its start to its end
  std::optional<FileOutcome> outcome;  // the written file; empty when it failed
  std::string message;                 // a failure's text, "NAME: cause"
  std::exception_ptr error;            // a failure as it was thrown
  // No failure: written, or an existing output kept (outcome->skipped).
  bool written() const { return outcome.has_value(); }
};

enum class RunEnd {
  Completed,  // every file finished (with keepGoing some may have failed)
  Stopped,    // a stop came while files were still to start
  Failed,     // a file failed and the run did not keep going
};

struct RunSummary {
  RunEnd end = RunEnd::Completed;
  std::size_t total = 0;
  std::size_t written = 0;
  std::size_t failed = 0;
  std::size_t skipped = 0;
  std::vector<FileResult> failures;        // every failed file, in list order
  std::optional<FileResult> firstFailure;  // Failed: the failure that ended the run
  std::string stoppedBefore;               // Stopped: the first file not started
  int workers = 0;
  double seconds = 0;  // wall time from start until the last file finished
};

// What a run did, in the words both front ends print: "zapisano 84 z 85 plików, błędy: 1" ("z 1 pliku"
// for one file; ", pominięto: 2" for outputs kept), with "przerwano po błędzie; " or "zatrzymano; " in front when the run did not complete.
std::string summaryWords(const RunSummary& summary);

class BatchRun {
 public:
  // What one worker does with one file; processFile unless a test watches it.
  using Process = std::function<FileOutcome(const std::filesystem::path& source, const BatchOptions& options)>;
  // Called on a worker thread after each finished file and once when the run has ended; it must be
  // thread-safe and quick (it wakes the front end's thread, which then takes the results).
  using Wake = std::function<void()>;

  explicit BatchRun(RunRequest request, Process process = processFile);
  // Stops the run and waits for the files in flight.
  ~BatchRun();
  BatchRun(const BatchRun&) = delete;
  BatchRun& operator=(const BatchRun&) = delete;

  // Starts the workers on threads of their own and returns; once only. Throws ImagingError when the
  // destination folder takes no file (nothing started then) or not one thread can be started.
  void start(Wake wake = {});
  // Runs the batch with the calling thread as one of the workers (the others on threads of their own)
  // and returns once it has ended; the wake function is called as with start(), here also on the
  // calling thread. With one worker no thread is made at all. For a front end with nothing else to do
  // meanwhile (never a window's thread).
  void run(Wake wake = {});
  // No new file starts; files in flight finish. Any thread, any time, more than once.
  void requestStop();

  // The finished files not taken yet, in completion order. Never blocks.
  std::vector<FileResult> takeResults();
  // Like takeResults, but blocks until there is a result or the run has ended; empty only once the run
  // has ended and every result was taken.
  std::vector<FileResult> waitForResults();
  // The run has ended and every result was taken.
  bool done() const;
  // What the run did; complete once done().
  RunSummary summary() const;
  // The number of workers the run uses.
  int workers() const { return workers_; }

 private:
  // Starts the threads of start() or run(); false when the run ended at once (nothing to do).
  bool launch(Wake wake, bool callerWorks);
  void work();
  FileOutcome processNamed(std::size_t index, const std::string& name) const;
  bool mayStartLocked() const;
  void finishLocked();

  // Shared by the files in flight unless the request brings its own; before request_, which points at it.
  MemoryBudget memory_{machineMemoryShare()};
  const RunRequest request_;
  const Process process_;
  const int workers_;
  Wake wake_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
  bool started_ = false;
  bool stopRequested_ = false;
  bool halted_ = false;  // a failure ended the run
  std::size_t next_ = 0;
  int running_ = 0;  // workers not yet returned
  bool ended_ = false;
  std::vector<FileResult> pending_;
  RunSummary summary_;
  std::chrono::steady_clock::time_point startTime_;
};

}  // namespace velmora
