#pragma once

// velmora-batch --dump-metadata FILE...: what the metadata readers take from each file, as one JSON
// object per line on standard output.

#include <iosfwd>
#include <string>
#include <vector>

namespace velmora::batch {

// Prints one JSON object per file, in the order given. Returns 0 when every file could be opened,
// 1 when one could not (its object is printed all the same, and stderr names it), 2 without files.
int dumpMetadata(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

}  // namespace velmora::batch
