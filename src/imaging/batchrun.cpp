#include "imaging/batchrun.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <system_error>
#include <utility>

#include "base/fileio.h"
#include "imaging/sourcefiles.h"

namespace velmora {

std::string summaryWords(const RunSummary& summary) {
  std::string words;
  if (summary.end == RunEnd::Failed) words = "przerwano po błędzie; ";
  if (summary.end == RunEnd::Stopped) words = "zatrzymano; ";
  // The genitive after "z": singular for one file, plural for every other count.
  words += "zapisano " + std::to_string(summary.written) + " z " + std::to_string(summary.total) +
           (summary.total == 1 ? " pliku" : " plików");
  if (summary.skipped > 0) words += ", pominięto: " + std::to_string(summary.skipped);
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

// The output folder of a source below the source folder ("sub/dir/a.jpg" -> DEST/sub/dir), made where
// missing. Each part is made and entered relative to the one before without following a link, so
// nothing is ever made outside the destination. Throws ImagingError.
std::filesystem::path makeOutputFolder(const std::filesystem::path& destFolder, const std::string& name) {
  const std::filesystem::path folder = outputFolder(destFolder, name);
  struct Fd {
    int fd;
    ~Fd() {
      if (fd >= 0) ::close(fd);
    }
  };
  Fd at{::open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  std::filesystem::path made = destFolder;
  const auto fault = [&made](int err) {
    const std::string quoted = "\"" + printableName(made.string()) + "\"";
    if (err == ELOOP) return ImagingError(quoted + " jest dowiązaniem, a nie folderem");
    if (err == ENOTDIR) return ImagingError(quoted + " nie jest folderem");
    return ImagingError("Nie można utworzyć folderu " + quoted + ": " + systemErrorText(err));
  };
  if (at.fd < 0) throw fault(errno);
  // outputFolder has checked every part: none is empty, "." or "..".
  const std::string parents = name.substr(0, name.rfind('/'));
  for (std::size_t from = 0; from <= parents.size();) {
    const std::size_t to = std::min(parents.find('/', from), parents.size());
    const std::string part = parents.substr(from, to - from);
    from = to + 1;
    made /= part;
    // Another worker may have made it a moment ago.
    if (::mkdirat(at.fd, part.c_str(), 0777) != 0 && errno != EEXIST) throw fault(errno);
    Fd next{::openat(at.fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (next.fd < 0) {
      // With O_DIRECTORY a link is refused as ENOTDIR.
      const int err = errno;
      struct stat st {};
      throw fault(::fstatat(at.fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode) ? ELOOP : err);
    }
    std::swap(at.fd, next.fd);
  }
  return folder;
}

// ... and in the folders below it that a tree's names write to, those inside it only (no link out).
void removeStaleTemporariesBelow(const std::filesystem::path& destFolder, const std::vector<std::string>& names) {
  std::set<std::filesystem::path> folders;
  for (const std::string& name : names) {
    if (name.find('/') == std::string::npos) continue;
    try {
      folders.insert(outputFolder(destFolder, name));
    } catch (const ImagingError&) {
    }
  }
  std::error_code ec;
  const std::filesystem::path inside = std::filesystem::canonical(destFolder, ec);
  if (ec) return;
  for (const std::filesystem::path& folder : folders) {
    const std::filesystem::path relative = std::filesystem::canonical(folder, ec).lexically_relative(inside);
    if (!ec && !relative.empty() && *relative.begin() != "..") removeStaleTemporaries(folder);
  }
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
  removeStaleTemporariesBelow(request_.options.destFolder, request_.names);
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
      if (index < request_.outputs.size() && request_.outputs[index].skip) {
        result.outcome.emplace();
        result.outcome->output = request_.options.destFolder / request_.outputs[index].name;
        result.outcome->skipped = true;
      } else {
        result.outcome = processNamed(index, result.name);
      }
    } catch (...) {
      result.error = std::current_exception();
      result.message = failureMessage(result.name, result.error);
    }
    result.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - fileStart).count();

    lock.lock();
    result.completed = summary_.written + summary_.failed + summary_.skipped + 1;
    if (result.written() && result.outcome->skipped) {
      ++summary_.skipped;
    } else if (result.written()) {
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

FileOutcome BatchRun::processNamed(std::size_t index, const std::string& name) const {
  const std::filesystem::path source = request_.sourceFolder / name;
  const bool below = name.find('/') != std::string::npos && !request_.options.destFolder.empty();
  if (!below && index >= request_.outputs.size()) return process_(source, request_.options);
  // A picture of a subfolder: the same folders below the destination, and its failures under its whole name.
  try {
    BatchOptions options = request_.options;
    const std::filesystem::path folder =
        below ? makeOutputFolder(request_.options.destFolder, name) : request_.options.destFolder;
    if (index < request_.outputs.size()) {
      // The plan's name, relative to the destination; a number taken at write time avoids its others.
      const PlannedOutput& planned = request_.outputs[index];
      options.outputName = planned.name;
      options.outputBase = planned.base;
      options.plannedNames = request_.plannedNames;
    } else {
      options.destFolder = folder;
    }
    return process_(source, options);
  } catch (const BatchFileError& e) {
    throw BatchFileError(name, e.cause());
  } catch (const ImagingError& e) {
    throw BatchFileError(name, e.what());
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
