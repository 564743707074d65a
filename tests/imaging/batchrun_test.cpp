#include "imaging/batchrun.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "base/fileio.h"
#include "imaging/caption.h"
#include "imaging/jpegcodec.h"
#include "support/faulty_calls.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A door the test opens: workers wait at it, the test sees who waits. The waits give up after a while
// so a broken run fails the test instead of hanging it.
class Gate {
 public:
  // False when the gate was not opened in time.
  bool pass(std::size_t index) {
    std::unique_lock lock(mutex_);
    waiting_.insert(index);
    changed_.notify_all();
    return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until that many workers stand at the gate.
  bool awaitWaiting(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return waiting_.size() >= count; });
  }
  std::set<std::size_t> waiting() {
    std::lock_guard lock(mutex_);
    return waiting_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::set<std::size_t> waiting_;
  bool open_ = false;
};

std::size_t IndexOf(const fs::path& source) { return std::stoul(source.stem().string()); }

std::vector<std::string> Numbered(std::size_t count) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) names.push_back(std::to_string(i) + ".jpg");
  return names;
}

FileOutcome Written(const fs::path& source) {
  FileOutcome outcome;
  outcome.output = source;
  return outcome;
}

// Every result of the run, as a front end takes them.
std::vector<FileResult> Drain(BatchRun& run) {
  std::vector<FileResult> all;
  for (auto batch = run.waitForResults(); !batch.empty(); batch = run.waitForResults()) {
    all.insert(all.end(), batch.begin(), batch.end());
  }
  return all;
}

std::set<std::string> FilesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

class BatchRunFiles : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = fs::path(dir_.path().toStdString());
  }
  fs::path folder(const std::string& name) {
    const fs::path p = root_ / name;
    fs::create_directories(p);
    return p;
  }
  static std::vector<std::string> Samples() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(VELMORA_TEST_DATA "/samples"))) {
      if (e.path().extension() == ".jpg") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  QTemporaryDir dir_;
  fs::path root_;
};

// The same bytes whatever the number of workers, with the caption and the metadata, which are the
// parts shared between workers (the stamper) or reading the source twice (the metadata).
TEST_F(BatchRunFiles, OutputsAreByteIdenticalForOneTwoAndFourWorkers) {
  const std::vector<std::string> names = Samples();
  ASSERT_GE(names.size(), 40u);
  CaptionSettings caption;
  caption.Text = QString::fromUtf8("Zdjęcie: Łódź");
  caption.NegativeBackground = true;
  const auto stamper = std::make_shared<const CaptionStamper>(caption);

  std::map<int, std::map<std::string, Bytes>> outputs;
  for (const int workers : {1, 2, 4}) {
    RunRequest request;
    request.sourceFolder = VELMORA_TEST_DATA "/samples";
    request.names = names;
    request.options.sizeLimit = 200;
    request.options.keepMetadata = true;
    request.options.caption = [stamper](QImage& picture) { stamper->StampPicture(picture); };
    request.options.destFolder = folder("out" + std::to_string(workers));
    request.workers = workers;
    request.keepGoing = true;  // the truncated sample fails alike in every run
    BatchRun run(request);
    EXPECT_EQ(run.workers(), workers);
    run.start();
    const std::vector<FileResult> results = Drain(run);
    EXPECT_EQ(results.size(), names.size());
    const RunSummary summary = run.summary();
    EXPECT_EQ(summary.end, RunEnd::Completed);
    EXPECT_EQ(summary.written + summary.failed, names.size());
    for (const std::string& file : FilesIn(request.options.destFolder)) {
      outputs[workers][file] = readFileBytes(request.options.destFolder / file);
    }
    EXPECT_EQ(outputs[workers].size(), summary.written);
  }
  ASSERT_GE(outputs[1].size(), names.size() - 2);
  EXPECT_TRUE(outputs[1] == outputs[2]);
  EXPECT_TRUE(outputs[1] == outputs[4]);
}

// Progress counts finished files, failed ones too, one by one; each file comes back once, with its
// outcome handed over whole.
TEST(BatchRun, ProgressCountsEveryFinishedFileOnceInCompletionOrder) {
  for (const int workers : {1, 3}) {
    RunRequest request;
    request.names = Numbered(30);
    request.workers = workers;
    request.keepGoing = true;
    auto owned = std::make_unique<BatchRun>(request, [](const fs::path& source, const BatchOptions&) {
      const std::size_t i = IndexOf(source);
      if (i % 7 == 3) throw std::runtime_error("zepsuty");
      FileOutcome outcome = Written(source);
      outcome.width = static_cast<int>(i);
      return outcome;
    });
    BatchRun& run = *owned;
    std::atomic<int> wakes{0};
    run.start([&wakes] { ++wakes; });
    const std::vector<FileResult> results = Drain(run);
    ASSERT_EQ(results.size(), 30u);
    std::set<std::size_t> seen;
    for (std::size_t k = 0; k < results.size(); ++k) {
      const FileResult& r = results[k];
      EXPECT_EQ(r.completed, k + 1);
      EXPECT_TRUE(seen.insert(r.index).second);
      EXPECT_EQ(r.name, std::to_string(r.index) + ".jpg");
      if (r.index % 7 == 3) {
        EXPECT_FALSE(r.written());
        EXPECT_EQ(r.message, r.name + ": zepsuty");
        EXPECT_TRUE(r.error);
      } else {
        ASSERT_TRUE(r.written());
        EXPECT_EQ(r.outcome->width, static_cast<int>(r.index));
      }
    }
    EXPECT_TRUE(run.done());
    const RunSummary summary = run.summary();
    EXPECT_EQ(summary.written, 26u);
    EXPECT_EQ(summary.failed, 4u);
    std::vector<std::size_t> failed;
    for (const FileResult& f : summary.failures) failed.push_back(f.index);
    EXPECT_EQ(failed, (std::vector<std::size_t>{3, 10, 17, 24}));  // in list order
    EXPECT_GE(summary.seconds, 0.0);
    owned.reset();                // the last wake may still be on its way until the workers are joined
    EXPECT_EQ(wakes.load(), 31);  // one per file and one at the end
  }
}

// The first failure ends the run: no new file starts, the file in flight finishes and is written. With
// keepGoing the run goes on to the end and reports every failed file.
TEST(BatchRun, TheFirstFailureEndsTheRunUnlessItKeepsGoing) {
  for (const bool keepGoing : {false, true}) {
    SCOPED_TRACE(keepGoing ? "keep going" : "first failure ends");
    RunRequest request;
    request.names = Numbered(8);
    request.workers = 2;
    request.keepGoing = keepGoing;
    Gate gate;
    std::atomic<bool> timedOut{false};
    std::mutex startedMutex;
    std::set<std::size_t> started;
    BatchRun run(request, [&](const fs::path& source, const BatchOptions&) {
      const std::size_t i = IndexOf(source);
      {
        std::lock_guard lock(startedMutex);
        started.insert(i);
      }
      // File 2 fails once file 3 is in flight on the other worker; file 3 waits until the test has
      // seen the failure.
      if (i == 2) {
        if (!gate.awaitWaiting(1)) timedOut = true;
        throw std::runtime_error("uszkodzony");
      }
      if (i == 3 && !gate.pass(i)) timedOut = true;
      return Written(source);
    });
    run.start();
    std::vector<FileResult> results;
    bool failureSeen = false;
    for (auto batch = run.waitForResults(); !batch.empty(); batch = run.waitForResults()) {
      for (const FileResult& r : batch) {
        results.push_back(r);
        if (!r.written() && !failureSeen) {
          failureSeen = true;
          EXPECT_EQ(gate.waiting(), std::set<std::size_t>{3});
          gate.open();
        }
      }
    }
    EXPECT_FALSE(timedOut);
    const RunSummary summary = run.summary();
    ASSERT_EQ(summary.failures.size(), 1u);
    EXPECT_EQ(summary.failures[0].message, "2.jpg: uszkodzony");
    if (keepGoing) {
      EXPECT_EQ(summary.end, RunEnd::Completed);
      EXPECT_FALSE(summary.firstFailure);
      EXPECT_EQ(results.size(), 8u);
      EXPECT_EQ(summary.written, 7u);
    } else {
      EXPECT_EQ(summary.end, RunEnd::Failed);
      ASSERT_TRUE(summary.firstFailure);
      EXPECT_EQ(summary.firstFailure->index, 2u);
      EXPECT_TRUE(summary.stoppedBefore.empty());
      // Files 0 to 3 started (3 was in flight and is written); nothing after the failure.
      EXPECT_EQ(started, (std::set<std::size_t>{0, 1, 2, 3}));
      EXPECT_EQ(summary.written, 3u);
      EXPECT_EQ(results.back().index, 3u);
      EXPECT_TRUE(results.back().written());
    }
  }
}

// A stop in the middle of a parallel run with the real pipeline: the files in flight finish and are
// written whole, nothing else starts, no temporary file is left, and the run names the first file not
// started.
TEST_F(BatchRunFiles, StopInTheMiddleFinishesTheFilesInFlightAndNamesTheNext) {
  const fs::path src = folder("src");
  const fs::path dst = folder("dst");
  std::vector<std::string> names;
  for (int i = 0; i < 10; ++i) {
    names.push_back(std::to_string(i) + ".jpg");
    fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples/sanyo_sr662.jpg"), src / names.back());
  }
  RunRequest request;
  request.sourceFolder = src;
  request.names = names;
  request.options.sizeLimit = 100;
  request.options.destFolder = dst;
  request.workers = 3;
  Gate gate;
  std::atomic<bool> timedOut{false};
  BatchRun run(request, [&](const fs::path& source, const BatchOptions& options) {
    if (IndexOf(source) > 0 && !gate.pass(IndexOf(source))) timedOut = true;
    return processFile(source, options);
  });
  run.start();
  // File 0 finishes; files 1 and 2 (and maybe 3, taken by the first worker meanwhile) are in flight.
  std::vector<FileResult> results = run.waitForResults();
  ASSERT_FALSE(results.empty());
  ASSERT_TRUE(gate.awaitWaiting(2));
  run.requestStop();
  gate.open();
  for (auto batch = run.waitForResults(); !batch.empty(); batch = run.waitForResults()) {
    results.insert(results.end(), batch.begin(), batch.end());
  }
  EXPECT_FALSE(timedOut);
  const RunSummary summary = run.summary();
  const std::size_t inFlight = gate.waiting().size();
  ASSERT_TRUE(inFlight == 2 || inFlight == 3) << inFlight;
  EXPECT_EQ(summary.end, RunEnd::Stopped);
  EXPECT_EQ(summary.stoppedBefore, names[inFlight + 1]);
  EXPECT_EQ(summary.written, inFlight + 1);
  EXPECT_EQ(results.size(), inFlight + 1);
  std::set<std::string> expected;
  for (std::size_t i = 0; i <= inFlight; ++i) expected.insert("_" + names[i]);
  EXPECT_EQ(FilesIn(dst), expected);  // no temporary, nothing of the files not started
  for (const std::string& file : expected) EXPECT_EQ(loadJpeg(dst / file).size(), QSize(100, 75)) << file;
}

// run(): the calling thread is one of the workers, so one worker makes no thread; the results and the
// wake-ups are those of start().
TEST(BatchRun, RunOnTheCallingThread) {
  for (const int workers : {1, 3}) {
    RunRequest request;
    request.names = Numbered(30);
    request.workers = workers;
    std::mutex threadsMutex;
    std::set<std::thread::id> threads;
    BatchRun run(request, [&](const fs::path& source, const BatchOptions&) {
      std::lock_guard lock(threadsMutex);
      threads.insert(std::this_thread::get_id());
      return Written(source);
    });
    std::mutex takenMutex;
    std::vector<FileResult> taken;
    int wakes = 0;
    run.run([&] {
      std::lock_guard lock(takenMutex);
      ++wakes;
      for (FileResult& r : run.takeResults()) taken.push_back(std::move(r));
    });
    EXPECT_TRUE(run.done());
    ASSERT_EQ(taken.size(), 30u);
    for (std::size_t k = 0; k < taken.size(); ++k) EXPECT_EQ(taken[k].completed, k + 1);
    EXPECT_EQ(wakes, 31);
    EXPECT_EQ(run.summary().workers, workers);
    EXPECT_EQ(run.summary().written, 30u);
    EXPECT_LE(threads.size(), static_cast<std::size_t>(workers));
    if (workers == 1) {
      EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
    }
  }
}

// A stop once every file has started is no stop: the run ends normally.
TEST(BatchRun, AStopDuringTheLastFilesEndsNormally) {
  RunRequest request;
  request.names = Numbered(2);
  request.workers = 2;
  Gate gate;
  BatchRun run(request, [&](const fs::path& source, const BatchOptions&) {
    gate.pass(IndexOf(source));
    return Written(source);
  });
  run.start();
  ASSERT_TRUE(gate.awaitWaiting(2));
  run.requestStop();
  gate.open();
  EXPECT_EQ(Drain(run).size(), 2u);
  EXPECT_EQ(run.summary().end, RunEnd::Completed);
  EXPECT_TRUE(run.summary().stoppedBefore.empty());
}

// Every failed file of a real run with its own cause, in list order.
TEST_F(BatchRunFiles, TheReportListsEveryFailedFileWithItsCause) {
  const fs::path src = folder("src");
  const fs::path dst = folder("dst");
  fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples/sanyo_sr662.jpg"), src / "a.jpg");
  fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples/synthetic_truncated.jpg"), src / "b.jpg");
  writeFileAtomically(src / "d.jpg", Bytes{'n', 'i', 'e'});
  fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples/olympus_x2.jpg"), src / "e.jpg");
  RunRequest request;
  request.sourceFolder = src;
  request.names = {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"};
  request.options.sizeLimit = 100;
  request.options.destFolder = dst;
  request.workers = 4;
  request.keepGoing = true;
  BatchRun run(request);
  run.start();
  EXPECT_EQ(Drain(run).size(), 5u);
  const RunSummary summary = run.summary();
  EXPECT_EQ(summary.end, RunEnd::Completed);
  EXPECT_EQ(summary.written, 2u);
  ASSERT_EQ(summary.failures.size(), 3u);
  EXPECT_EQ(summary.failures[0].message, "b.jpg: Plik JPEG urywa się przed końcem obrazu");
  EXPECT_EQ(summary.failures[1].name, "c.jpg");
  EXPECT_EQ(summary.failures[1].message.rfind("c.jpg: Nie można odczytać pliku", 0), 0u) << summary.failures[1].message;
  EXPECT_EQ(summary.failures[2].name, "d.jpg");
  EXPECT_EQ(summary.failures[2].message.rfind("d.jpg: ", 0), 0u);
  EXPECT_EQ(FilesIn(dst), (std::set<std::string>{"_a.jpg", "_e.jpg"}));
}

// A destination that takes no file is found before any picture is read.
TEST_F(BatchRunFiles, ADestinationThatTakesNoFileIsFoundBeforeAnyWork) {
  RunRequest request;
  request.names = {"a.jpg"};
  request.options.destFolder = folder("dst") / "missing";
  BatchRun run(request, [](const fs::path&, const BatchOptions&) -> FileOutcome { throw std::logic_error("read"); });
  EXPECT_THROW(run.start(), ImagingError);
}

// Both front ends start their runs here, so here a killed run's temporaries go: only the program's own
// names, and before any file of this run is written.
TEST_F(BatchRunFiles, ARunFirstRemovesAKilledRunsTemporaries) {
  const fs::path dst = folder("dst");
  for (const char* name : {".inne.tmp", ".velmora-x.tmp"}) writeFileAtomically(dst / name, Bytes{'x'});
  test::LeftoverTemporary(dst);
  test::LeftoverTemporary(folder("dst/sub"));  // a tree's folder, by a later name
  RunRequest request;
  request.sourceFolder = VELMORA_TEST_DATA "/samples";
  request.names = {"sanyo_sr662.jpg", "sub/none.jpg"};
  request.workers = 1;
  request.options.sizeLimit = 100;
  request.options.destFolder = dst;
  std::set<std::string> seenByTheFirstFile;
  BatchRun run(request, [&](const fs::path& source, const BatchOptions& options) {
    if (seenByTheFirstFile.empty()) seenByTheFirstFile = FilesIn(dst);
    return processFile(source, options);
  });
  run.start();
  Drain(run);
  EXPECT_EQ(seenByTheFirstFile, (std::set<std::string>{".inne.tmp", ".velmora-x.tmp", "sub"}));
  EXPECT_EQ(FilesIn(dst), (std::set<std::string>{".inne.tmp", ".velmora-x.tmp", "_sanyo_sr662.jpg", "sub"}));
  EXPECT_TRUE(FilesIn(dst / "sub").empty());
}

TEST(BatchRun, WorkersAndEdgeCases) {
  EXPECT_GE(defaultWorkerCount(), 1);
  struct Row {
    int requested;
    std::size_t files;
    int expected;
  };
  const Row rows[] = {
      {8, 3, 3},
      {1, 10, 1},
      {2, 10, 2},
      {0, 1, 1},
      {-5, 1000, std::min(defaultWorkerCount(), 1000)},
      {kMaxWorkers + 5, 5000, kMaxWorkers},
      {4, 0, 1},
  };
  for (const Row& r : rows) {
    RunRequest request;
    request.names = Numbered(r.files);
    request.workers = r.requested;
    EXPECT_EQ(BatchRun(request).workers(), r.expected) << r.requested << " for " << r.files;
  }

  // Nothing to do: ended at once.
  BatchRun empty(RunRequest{});
  empty.start();
  EXPECT_TRUE(empty.waitForResults().empty());
  EXPECT_TRUE(empty.done());
  EXPECT_EQ(empty.summary().end, RunEnd::Completed);

  // A failure that is not an exception of ours still names its file.
  RunRequest odd;
  odd.names = {"x.jpg"};
  BatchRun run(odd, [](const fs::path&, const BatchOptions&) -> FileOutcome { throw 42; });
  run.start();
  const std::vector<FileResult> results = Drain(run);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].message, "x.jpg: Nieznany błąd");
  EXPECT_EQ(run.summary().end, RunEnd::Failed);
}

// Destroying a run with files in flight waits for them: no file is left half done behind it.
TEST(BatchRun, DestroyingARunWaitsForTheFilesInFlight) {
  Gate gate;
  std::atomic<int> finished{0};
  std::atomic<int> begun{0};
  std::thread opener;
  {
    RunRequest request;
    request.names = Numbered(20);
    request.workers = 2;
    BatchRun run(request, [&](const fs::path& source, const BatchOptions&) {
      ++begun;
      gate.pass(IndexOf(source));
      ++finished;
      return Written(source);
    });
    run.start();
    ASSERT_TRUE(gate.awaitWaiting(2));
    // The destructor can only return once the gate opens and the files in flight are done.
    opener = std::thread([&gate] { gate.open(); });
  }
  opener.join();
  EXPECT_EQ(finished.load(), begun.load());
  EXPECT_GE(begun.load(), 2);
}

TEST(BatchRun, SummaryWordsTakeThePluralOfTheirCount) {
  const std::tuple<RunEnd, std::size_t, std::size_t, std::size_t, const char*> rows[] = {
      {RunEnd::Completed, 1, 1, 0, "zapisano 1 z 1 pliku"},
      {RunEnd::Completed, 85, 84, 1, "zapisano 84 z 85 plików, błędy: 1"},
      {RunEnd::Failed, 3, 1, 1, "przerwano po błędzie; zapisano 1 z 3 plików, błędy: 1"},
      {RunEnd::Stopped, 21, 4, 0, "zatrzymano; zapisano 4 z 21 plików"}};
  for (const auto& [end, total, written, failed, words] : rows) {
    RunSummary s;
    s.end = end, s.total = total, s.written = written, s.failed = failed;
    EXPECT_EQ(summaryWords(s), words);
  }
}

}  // namespace
}  // namespace velmora
