// The cost of turning a picture upright, as the run pays it: the turn of a 1280-pixel picture for
// every orientation, (with --exif) the thumbnail's decode, turn and encode, and for each JPEG given
// the streamed decode to 1280 pixels turned as for Orientation 6 against the same without a turn, the two
// alternating so that both meet the same machine. Prints the least CPU time of several runs, and for
// the streamed decode the median difference of paired runs.
//
//   velmora-bench-orientation [RUNS [JPEG...]]

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "base/fileio.h"
#include "imaging/jpegcodec.h"
#include "imaging/orientation.h"
#include "imaging/pipeline.h"

namespace {

// The thread's CPU time, which other work on a shared machine disturbs less than the clock.
double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double leastMs(int runs, const std::function<void()>& work) {
  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    const double t0 = cpuMs();
    work();
    best = std::min(best, cpuMs() - t0);
  }
  return best;
}

QImage texture(int w, int h) {
  QImage picture(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < w; ++x) row[x] = qRgb((x * 7) & 255, (y * 5) & 255, ((x ^ y) * 3) & 255);
  }
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  for (const QSize size : {QSize(1280, 853), QSize(853, 1280), QSize(1280, 960)}) {
    const QImage picture = texture(size.width(), size.height());
    std::printf("turn %dx%d:", size.width(), size.height());
    double worst = 0;
    for (int o = 2; o <= 8; ++o) {
      const double ms = leastMs(runs, [&] { (void)velmora::TurnUpright(picture, o).constBits(); });
      worst = std::max(worst, ms);
      std::printf(" %d: %.2f", o, ms);
    }
    std::printf(" ms (worst %.2f ms)\n", worst);
  }
  const velmora::Bytes thumbnail = velmora::encodeJpeg(texture(160, 120));
  std::printf("thumbnail 160x120 decode, turn, encode: %.2f ms\n",
              leastMs(runs, [&] { (void)velmora::turnThumbnail(thumbnail, 6); }));
  double extra = 0;
  int files = 0;
  for (int i = 2; i < argc; ++i, ++files) {
    const velmora::Bytes jpeg = velmora::readFileBytes(argv[i]);
    const auto target = [](QSize s) {
      return s.width() >= s.height() ? QSize(1280, 1280 * s.height() / s.width())
                                     : QSize(1280 * s.width() / s.height(), 1280);
    };
    // Paired runs, the two one after the other, and the median of their differences: slow changes in
    // the machine's load fall out, and a disturbed pair does not count.
    std::vector<double> differences;
    double plain = 1e9;
    for (int r = 0; r < runs; ++r) {
      const double p = leastMs(1, [&] { (void)velmora::decodeJpegScaled(jpeg, target); });
      const double t = leastMs(1, [&] { (void)velmora::TurnUpright(velmora::decodeJpegScaled(jpeg, target), 6); });
      differences.push_back(t - p);
      plain = std::min(plain, p);
    }
    std::nth_element(differences.begin(), differences.begin() + runs / 2, differences.end());
    const double turned = differences[static_cast<std::size_t>(runs / 2)];
    std::printf("%s: decode to 1280 %.1f ms, turned %+.2f ms (median of %d pairs)\n", argv[i], plain, turned, runs);
    extra += turned;
  }
  if (files > 0) std::printf("turn after the streamed decode: %+.2f ms per picture\n", extra / files);
  return 0;
}
