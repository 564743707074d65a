// Runs the fuzz targets' read path and write path over the sample photos and over every input the
// fuzzers once failed on (tests/data/fuzz_regressions), so those faults stay mended under the sanitizers.

#include <gtest/gtest.h>

#include <filesystem>

#include "../../fuzz/metadata_read_path.h"
#include "../../fuzz/metadata_write_path.h"
#include "base/fileio.h"

namespace velmora {
namespace {

void RunFolder(const std::filesystem::path& folder, std::size_t minimum) {
  std::size_t count = 0;
  if (std::filesystem::exists(folder)) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
      SCOPED_TRACE(entry.path().filename().string());
      const Bytes bytes = readFileBytes(entry.path(), TImgData::kJpegPrefixBytes);
      fuzz::RunMetadataReadPath(bytes.data(), bytes.size());
      fuzz::RunMetadataWritePath(bytes.data(), bytes.size());
      ++count;
    }
  }
  EXPECT_GE(count, minimum) << folder;
}

TEST(FuzzRegression, SamplesPassTheReadAndWritePaths) {
  RunFolder(std::filesystem::path(VELMORA_TEST_DATA) / "samples", 40);
}

TEST(FuzzRegression, InputsTheFuzzerFailedOn) {
  RunFolder(std::filesystem::path(VELMORA_TEST_DATA) / "fuzz_regressions", 0);
}

}  // namespace
}  // namespace velmora
