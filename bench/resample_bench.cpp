// The resampler alone, as the streamed decode drives it: a 24 MP source fed row by row from a small
// cache-resident tile (as the decoder hands rows over), reduced to 1280 x 853. Prints the least time
// of several runs, in milliseconds and nanoseconds per source pixel, for the process' own choice and
// then for each code path the processor runs.
//
//   velmora-bench-resample [RUNS]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "imaging/resampler.h"

namespace {

class TileRows : public velmora::RowSource {
 public:
  TileRows(int width, int rows) : width_(width), rows_(rows), tile_(static_cast<std::size_t>(width) * 4 * rows) {
    std::uint32_t x = 12345;
    for (auto& b : tile_) {
      x = x * 1103515245U + 12345U;
      b = static_cast<std::uint8_t>(x >> 24);
    }
  }
  const std::uint8_t* row(int y) override { return tile_.data() + static_cast<std::size_t>(y % rows_) * width_ * 4; }

 private:
  int width_, rows_;
  std::vector<std::uint8_t> tile_;
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  struct Shape {
    int sw, sh, dw, dh;
  };
  using velmora::ResamplePath;
  const std::pair<ResamplePath, const char*> paths[] = {{ResamplePath::kChosen, "chosen"},
                                                        {ResamplePath::kAvx512, "AVX-512"},
                                                        {ResamplePath::kAvx2, "AVX2"},
                                                        {ResamplePath::kSse, "SSE"},
                                                        {ResamplePath::kScalar, "plain loops"}};
  for (const auto& [path, name] : paths) {
    if (!velmora::resamplePathRuns(path)) continue;
    std::printf("%s:\n", name);
    for (const Shape s : {Shape{6000, 4000, 1280, 853}, Shape{4000, 6000, 853, 1280}, Shape{4000, 3000, 1280, 960}}) {
      TileRows rows(s.sw, 4);
      std::vector<std::uint8_t> out(static_cast<std::size_t>(s.dw) * s.dh * 4);
      double best = 1e9;
      for (int r = 0; r < (path == ResamplePath::kScalar ? (runs + 3) / 4 : runs); ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        velmora::resampleHalftone(rows, s.sw, s.sh, out.data(), s.dw * 4, s.dw, s.dh, path);
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
      }
      std::printf("  %dx%d -> %dx%d: %.2f ms, %.2f ns per source pixel\n", s.sw, s.sh, s.dw, s.dh, best,
                  best * 1e6 / (static_cast<double>(s.sw) * s.sh));
    }
  }
  return 0;
}
