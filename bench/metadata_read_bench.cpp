// The cost of the batch run's metadata read: every JPEG given is read as the run reads it (all parts,
// the profile and the orientation, no display texts) and as a read for showing (with texts), the
// two alternating so that both meet the same machine. Prints the least CPU time of several rounds
// over all the files, per file.
//
//   velmora-bench-metadata-read [RUNS] JPEG...

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "metadata/jpegsegments.h"

namespace {

// The thread's CPU time, which other work on a shared machine disturbs less than the clock.
double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One round: each file read `repeat` times; returns the entries kept, so the work is not dropped.
std::size_t readAll(const std::vector<velmora::Bytes>& files, velmora::ReadParts parts, int repeat) {
  std::size_t kept = 0;
  for (int i = 0; i < repeat; ++i) {
    for (const auto& bytes : files) {
      velmora::TImgData img;
      img.ScanJpegSegments(bytes, parts);
      if (img.exifInfo) kept += img.exifInfo->entries.size();
    }
  }
  return kept;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 7;
  int first = 1;
  if (argc > 1 && std::atoi(argv[1]) > 0) runs = std::atoi(argv[1]), first = 2;
  std::vector<velmora::Bytes> files;
  for (int i = first; i < argc; ++i)
    files.push_back(velmora::readFileBytes(argv[i], velmora::TImgData::kJpegPrefixBytes));
  if (files.empty()) {
    std::fprintf(stderr, "usage: velmora-bench-metadata-read [RUNS] JPEG...\n");
    return 2;
  }
  using velmora::kPartIcc, velmora::kPartOrientation, velmora::kPartsAll, velmora::kPartTexts;
  const velmora::ReadParts batch = kPartsAll | kPartIcc | kPartOrientation;
  constexpr int kRepeat = 20;
  double best[2] = {1e12, 1e12};
  std::size_t kept[2] = {};
  for (int r = 0; r < runs; ++r) {
    for (int mode = 0; mode < 2; ++mode) {
      const double t0 = cpuMs();
      kept[mode] = readAll(files, mode == 0 ? batch : batch | kPartTexts, kRepeat);
      best[mode] = std::min(best[mode], cpuMs() - t0);
    }
  }
  const double perFile = 1e3 / static_cast<double>(files.size() * kRepeat);
  std::printf("%zu files, least of %d rounds, per file read:\n", files.size(), runs);
  std::printf("  batch read (no texts): %8.1f us  (%zu entries)\n", best[0] * perFile, kept[0] / kRepeat);
  std::printf("  read with texts:       %8.1f us  (%zu entries)\n", best[1] * perFile, kept[1] / kRepeat);
  std::printf("  saving:                %8.1f %%\n", 100.0 * (1.0 - best[0] / best[1]));
  return 0;
}
