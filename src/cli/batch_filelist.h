#pragma once

// --files-from: the list of files a run goes over, one path relative to SOURCE per line (or per
// NUL-terminated entry with --null), for a job split over several processes or machines.

#include <string>
#include <string_view>
#include <vector>

namespace velmora::batch {

// The paths of the list in its order, each normalised ("./a.jpg" is "a.jpg", "a//b.jpg" is "a/b.jpg").
// Newline-separated, a CR before the LF is dropped; empty entries are skipped. Throws UsageError naming
// the line (or the entry, with NUL) for an absolute path, a ".." component, a path naming no file, a
// path listed twice, and for a list with no path at all.
std::vector<std::string> parseFileList(std::string_view text, bool nulSeparated);

// The list's bytes: "-" is standard input. Throws UsageError when it cannot be read.
std::string readFileList(const std::string& file);

}  // namespace velmora::batch
