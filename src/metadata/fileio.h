#pragma once

// Whole-file reads and atomic whole-file writes, in standard C++ so the core can use them anywhere.

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>

#include "metadata/bytes.h"

namespace velmora {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads at most maxBytes of the file (all of it by default). Throws FileError when it cannot be opened
// or read, with the path in the message.
Bytes readFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes = UINTMAX_MAX);

// Writes the bytes to a temporary file in the target's folder and renames it over the target, so the
// target is either its old self or the complete new file. Throws FileError on any failure, after
// removing the temporary file.
void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace velmora
