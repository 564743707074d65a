// The cost of turning a picture upright, as the run pays it: the turn of the scaled 1280-pixel picture
// for every orientation, and (with --exif) the thumbnail's decode, turn and encode. Prints the least
// time of several runs in milliseconds.
//
//   velmora-bench-orientation [RUNS]

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "imaging/jpegcodec.h"
#include "imaging/orientation.h"
#include "imaging/pipeline.h"

namespace {

double leastMs(int runs, const std::function<void()>& work) {
  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
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
  return 0;
}
