#include "imaging/memorybudget.h"

#include <unistd.h>

#include <algorithm>

#include "imaging/jpegcodec.h"

namespace velmora {

std::uint64_t machineMemoryShare() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  // A system that cannot tell gets room for one picture at the decoder's limit.
  if (pages <= 0 || pageSize <= 0) return kDecodeMemoryLimit;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

MemoryBudget::MemoryBudget(std::uint64_t capacity) : capacity_(capacity) {}

MemoryBudget::Lease::~Lease() {
  if (budget_ != nullptr) budget_->give(bytes_);
}

std::uint64_t MemoryBudget::perFileLimit() const { return std::min(kDecodeMemoryLimit, capacity_); }

bool MemoryBudget::fitsLocked(std::uint64_t bytes) const {
  return held_ == 0 || bytes <= capacity_ - std::min(held_, capacity_);
}

std::optional<MemoryBudget::Lease> MemoryBudget::tryReserve(std::uint64_t bytes) {
  const std::lock_guard lock(mutex_);
  if (!fitsLocked(bytes)) return std::nullopt;
  held_ += bytes;
  return Lease(this, bytes);
}

MemoryBudget::Lease MemoryBudget::reserve(std::uint64_t bytes) {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [&] { return fitsLocked(bytes); });
  held_ += bytes;
  return Lease(this, bytes);
}

void MemoryBudget::give(std::uint64_t bytes) {
  {
    const std::lock_guard lock(mutex_);
    held_ -= bytes;
  }
  released_.notify_all();
}

}  // namespace velmora
