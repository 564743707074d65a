#include "imaging/batchrun.h"

#include <sched.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "base/fileio.h"

namespace velmora {

std::string summaryWords(const RunSummary& summary) {
  std::string words;
  if (summary.end == RunEnd::Failed) words = "przerwano po błędzie; ";
  if (summary.end == RunEnd::Stopped) words = "zatrzymano; ";
  // The genitive after "z": singular for one file, plural for every other count.
  words += "zapisano " + std::to_string(summary.written) + " z " + std::to_string(summary.total) +
           (summary.total == 1 ? " pliku" : " plików");
  if (summary.failed > 0) words += ", błędy: " + std::to_string(summary.failed);
  return words;
}

namespace {

std::string failureMessage(const std::string& name, const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const BatchFileError& e) {
    return e.what();  // already "NAME: cause"
  } catch (const std::exception& e) {
    return name + ": " + e.what();
  } catch (...) {
    return name + ": Nieznany błąd";
  }
}

int clampWorkers(int requested, std::size_t files) {
  const int wanted = std::min(requested >= 1 ? requested : defaultWorkerCount(), kMaxWorkers);
  const std::size_t cap = std::max<std::size_t>(files, 1);
  return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(wanted), cap));
}

RunRequest withMemory(RunRequest request, MemoryBudget& memory) {
  if (request.options.memory == nullptr) request.options.memory = &memory;
  return request;
}

}  // namespace

int defaultWorkerCount() {
  // The affinity, not the machine's core count: under taskset or a container's cpuset the extra
  // workers would only take turns.
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

BatchRun::BatchRun(RunRequest request, Process process)
    : request_(withMemory(std::move(request), memory_)),
      process_(std::move(process)),
      workers_(clampWorkers(request_.workers, request_.names.size())) {
  summary_.total = request_.names.size();
  summary_.workers = workers_;
}

BatchRun::~BatchRun() {
  requestStop();
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
}

void BatchRun::start(Wake wake) { launch(std::move(wake), false); }

void BatchRun::run(Wake wake) {
  if (!launch(std::move(wake), true)) return;
  work();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

bool BatchRun::launch(Wake wake, bool callerWorks) {
  const int threads = callerWorks ? workers_ - 1 : workers_;
  // A destination that takes no file (read-only, gone) is said once, before any picture is decoded;
  // none at all is each file's failure.
  if (!request_.names.empty() && !request_.options.destFolder.empty()) {
    try {
      checkFolderWritable(request_.options.destFolder);
    } catch (const FileError& e) {
      throw ImagingError(e.what());
    }
  }
  {
    std::lock_guard lock(mutex_);
    if (started_) return false;
    started_ = true;
    wake_ = std::move(wake);
    startTime_ = std::chrono::steady_clock::now();
    if (request_.names.empty()) {
      finishLocked();
      changed_.notify_all();
      return false;
    }
    running_ = workers_;
  }
  // What an earlier, killed run left in the destination goes once, before any worker writes there.
  removeStaleTemporaries(request_.options.destFolder);
  std::string failure;
  int launched = 0;
  for (int i = 0; i < threads; ++i) {
    try {
      threads_.emplace_back([this] { work(); });
      ++launched;
    } catch (const std::system_error& e) {
      failure = systemErrorText(e.code());
      break;
    }
  }
  if (launched == threads) return true;
  // The workers that did start carry the run; with none, nothing will.
  bool ended = false;
  {
    std::lock_guard lock(mutex_);
    running_ -= threads - launched;
    summary_.workers = launched + (callerWorks ? 1 : 0);
    if (running_ == 0) {
      finishLocked();
      ended = true;
    }
  }
  if (ended) changed_.notify_all();
  if (ended) throw ImagingError("Nie można uruchomić wątków: " + failure);
  return true;
}

void BatchRun::requestStop() {
  std::lock_guard lock(mutex_);
  stopRequested_ = true;
}

bool BatchRun::mayStartLocked() const {
  const bool signalled = request_.stopSignal != nullptr && request_.stopSignal->load() != 0;
  return !stopRequested_ && !signalled && !halted_ && next_ < request_.names.size();
}

void BatchRun::work() {
  std::unique_lock lock(mutex_);
  while (mayStartLocked()) {
    const std::size_t index = next_++;
    lock.unlock();

    FileResult result;
    result.index = index;
    result.name = request_.names[index];
    const auto fileStart = std::chrono::steady_clock::now();
    try {
      if (index < request_.refused.size() && !request_.refused[index].empty())
        throw BatchFileError(result.name, request_.refused[index]);
      result.outcome = process_(request_.sourceFolder / result.name, request_.options);
    } catch (...) {
      result.error = std::current_exception();
      result.message = failureMessage(result.name, result.error);
    }
    result.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - fileStart).count();

    lock.lock();
    result.completed = summary_.written + summary_.failed + 1;
    if (result.written()) {
      ++summary_.written;
    } else {
      ++summary_.failed;
      summary_.failures.push_back(result);
      if (!request_.keepGoing && !halted_) {
        halted_ = true;
        summary_.firstFailure = result;
      }
    }
    pending_.push_back(std::move(result));
    lock.unlock();
    changed_.notify_all();
    if (wake_) wake_();
    lock.lock();
  }
  if (--running_ == 0) {
    finishLocked();
    lock.unlock();
    changed_.notify_all();
    if (wake_) wake_();
  }
}

void BatchRun::finishLocked() {
  ended_ = true;
  summary_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime_).count();
  std::sort(summary_.failures.begin(), summary_.failures.end(),
            [](const FileResult& a, const FileResult& b) { return a.index < b.index; });
  if (halted_) {
    summary_.end = RunEnd::Failed;
  } else if (next_ < request_.names.size()) {
    // Only a stop leaves files unstarted when nothing failed.
    summary_.end = RunEnd::Stopped;
    summary_.stoppedBefore = request_.names[next_];
  } else {
    summary_.end = RunEnd::Completed;
  }
}

std::vector<FileResult> BatchRun::takeResults() {
  std::lock_guard lock(mutex_);
  return std::exchange(pending_, {});
}

std::vector<FileResult> BatchRun::waitForResults() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !pending_.empty() || ended_ || !started_; });
  return std::exchange(pending_, {});
}

bool BatchRun::done() const {
  std::lock_guard lock(mutex_);
  return ended_ && pending_.empty();
}

RunSummary BatchRun::summary() const {
  std::lock_guard lock(mutex_);
  return summary_;
}

}  // namespace velmora
