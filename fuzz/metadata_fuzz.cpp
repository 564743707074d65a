// libFuzzer target for the metadata read path (see metadata_read_path.h).

#include <cstddef>
#include <cstdint>

#include "metadata_read_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmora::fuzz::RunMetadataReadPath(data, size);
  return 0;
}
