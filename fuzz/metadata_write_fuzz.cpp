// libFuzzer target for the metadata writer: read, write, read again (see metadata_write_path.h).

#include <cstddef>
#include <cstdint>

#include "metadata_write_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmora::fuzz::RunMetadataWritePath(data, size);
  return 0;
}
