#pragma once

// The memory the files of a run in flight hold together. A file reserves what its picture needs once
// its header is read, before anything big is allocated, and gives it back when it is done; a
// reservation that does not fit waits until others give back, so with large pictures fewer files are
// decoded at once. One that finds nothing held never waits, so a picture within the per-file limit
// always gets through and no two files wait for each other.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace velmora {

// The share of the machine's memory a run may fill: half of the physical memory.
std::uint64_t machineMemoryShare();

class MemoryBudget {
 public:
  explicit MemoryBudget(std::uint64_t capacity);
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  // Gives its bytes back when it goes.
  class Lease {
   public:
    Lease(Lease&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) { other.budget_ = nullptr; }
    Lease& operator=(Lease&&) = delete;
    ~Lease();

   private:
    friend class MemoryBudget;
    Lease(MemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) {}
    MemoryBudget* budget_;
    std::uint64_t bytes_;
  };

  std::uint64_t capacity() const { return capacity_; }
  // What one file may need at most: the decoder's limit, or the whole budget when that is smaller.
  std::uint64_t perFileLimit() const;
  // The bytes now, or nothing when others hold so much that they do not fit.
  std::optional<Lease> tryReserve(std::uint64_t bytes);
  // The bytes, once they fit or nothing else is held.
  Lease reserve(std::uint64_t bytes);

 private:
  bool fitsLocked(std::uint64_t bytes) const;
  void give(std::uint64_t bytes);

  const std::uint64_t capacity_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::uint64_t held_ = 0;
};

}  // namespace velmora
