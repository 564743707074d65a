#include "cli/batch_dump.h"

#include <filesystem>
#include <ostream>

#include "imaging/sourcefiles.h"
#include "metadata/metadata_dump.h"

namespace velmora::batch {

int dumpMetadata(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  if (files.empty()) {
    err << "velmora-batch: --dump-metadata wymaga co najmniej jednego pliku\n";
    return 2;
  }
  int code = 0;
  for (const auto& file : files) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (!std::filesystem::is_regular_file(status)) {
      // Never opened: a pipe would block the reader, a device would never end.
      err << "velmora-batch: " << printableName(file) << ": "
          << (std::filesystem::exists(status) ? "to nie jest zwykły plik" : "nie ma takiego pliku") << "\n";
      code = 1;
    }
    out << DumpMetadataJson(file) << '\n';
  }
  return code;
}

}  // namespace velmora::batch
