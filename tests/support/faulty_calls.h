#pragma once

// The writer seam of the tests: the real system calls, except the one chosen to fail as a full disk
// (ENOSPC), a failing device (EIO) or a partial write would. It records the temporaries it created.

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fileio.h"

namespace velmora::test {

class FaultyCalls : public FileSystemCalls {
 public:
  enum class Step { None, Open, Write, Fsync, Close, Rename, SyncFolder };

  Step failAt = Step::None;
  int error = ENOSPC;
  // With Step::Write: how many bytes go through before the failure (a disk that fills up midway).
  std::size_t writeBudget = 0;
  // Every write takes at most this many bytes (a short write, which the writer must continue).
  std::size_t maxPerWrite = static_cast<std::size_t>(-1);
  // A write that takes nothing and gives no reason.
  bool writeNothing = false;

  mutable std::vector<std::string> created;
  mutable int opens = 0;

  int openNew(const char* path) const override {
    ++opens;
    if (failAt == Step::Open) return fail();
    created.emplace_back(path);
    return FileSystemCalls::openNew(path);
  }
  ssize_t write(int fd, const void* data, std::size_t size) const override {
    if (writeNothing) return 0;
    if (size > maxPerWrite) size = maxPerWrite;
    if (failAt == Step::Write) {
      if (written_ >= writeBudget) return fail();
      if (size > writeBudget - written_) size = writeBudget - written_;
    }
    const ssize_t n = FileSystemCalls::write(fd, data, size);
    if (n > 0) written_ += static_cast<std::size_t>(n);
    return n;
  }
  int fsync(int fd) const override { return failAt == Step::Fsync ? fail() : FileSystemCalls::fsync(fd); }
  int close(int fd) const override {
    // The descriptor is freed even when close reports an error, as on Linux.
    const int rc = FileSystemCalls::close(fd);
    return failAt == Step::Close ? fail() : rc;
  }
  int rename(const char* from, const char* to) const override {
    return failAt == Step::Rename ? fail() : FileSystemCalls::rename(from, to);
  }
  int syncFolder(const char* folder) const override {
    return failAt == Step::SyncFolder ? fail() : FileSystemCalls::syncFolder(folder);
  }

 private:
  int fail() const {
    errno = error;
    return -1;
  }
  mutable std::size_t written_ = 0;
};

// A file named as the writer names its temporaries, left in the folder as by a killed writer.
inline std::string LeftoverTemporary(const std::filesystem::path& folder) {
  FaultyCalls calls;
  writeFileAtomically(folder / ".probe", Bytes{0}, calls);
  const std::string name = std::filesystem::path(calls.created.back()).filename().string();
  std::filesystem::rename(folder / ".probe", folder / name);
  return name;
}

}  // namespace velmora::test
