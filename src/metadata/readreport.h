#pragma once

// What a read could not take from a file. The readers add to it instead of failing and keep reading
// what they can; the writer names it in an output's notes, --dump-metadata shows its last problem.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct TReadReport {
  enum class Problem {
    kIncorrectExifHeader,  // the EXIF APP1 does not start with "Exif" and two zero bytes
    kInvalidAlignment,     // its TIFF header names no byte order
    kIllegalDirectory,     // a directory runs past the block (the directory is not read)
  };
  static constexpr std::size_t kMaxDroppedKept = 64;

  // In the order met.
  std::vector<Problem> problems;
  // EXIF entries not kept because their value would run past the block (directory, tag); at most
  // kMaxDroppedKept.
  struct DroppedEntry {
    std::uint16_t parentId, tag;
  };
  std::vector<DroppedEntry> dropped;
  // The segment scan stopped at its byte budget before the first scan header: the segments from here
  // on (metadata among them, perhaps) were not read.
  std::optional<std::size_t> headerCutAt;

  bool Has(Problem p) const;
  int Count(Problem p) const;
  void Add(Problem p) { problems.push_back(p); }
  void Clear() { *this = {}; }
  // The last problem's text (messages.h), empty when there is none.
  std::string LastProblemText() const;
};

}  // namespace velmora
