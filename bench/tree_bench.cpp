// A folder tree as photographers keep them: 10,000 small JPEGs (hard links of four tiny ones) in 200
// folders (10 years of 20 shoots, "2026/06-wesele-17"). Measures, warm, the least of RUNS:
//  (a) the core listing with subfolders (listFolderPictures, as velmora-batch --recursive lists);
//  (b) the window filling its list with "z podfolderami" (OpenGivenPath on the folder, offscreen),
//      until the list is painted.
// The target is well under 1 s each.
//
//   QT_QPA_PLATFORM=offscreen velmora-bench-tree [RUNS]

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QListWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "app/form1.h"
#include "base/fileio.h"
#include "imaging/jpegcodec.h"
#include "imaging/sourcefiles.h"
#include "settings/environment.h"
#include "settings/props.h"

namespace {

namespace fs = std::filesystem;

constexpr int kYears = 10, kShoots = 20, kPerShoot = 50;

void makeTree(const fs::path& root) {
  std::vector<fs::path> originals;
  for (int i = 0; i < 4; ++i) {
    QImage picture(16 + i, 12, QImage::Format_RGB32);
    picture.fill(qRgb(40 * i, 120, 200));
    originals.push_back(root / ("original" + std::to_string(i) + ".jpg.src"));
    velmora::writeFileAtomically(originals.back(), velmora::encodeJpeg(picture));
  }
  for (int y = 0; y < kYears; ++y) {
    for (int s = 0; s < kShoots; ++s) {
      char shoot[64];
      std::snprintf(shoot, sizeof shoot, "%d/%02d-wesele-%d", 2017 + y, s % 12 + 1, s);
      const fs::path folder = root / "zdjecia" / shoot;
      fs::create_directories(folder);
      for (int n = 0; n < kPerShoot; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.jpg", n + 1);
        fs::create_hard_link(originals[static_cast<std::size_t>(n) % originals.size()], folder / name);
      }
    }
  }
}

// The least wall time of runs calls, after one call that warms the caches.
double leastMs(int runs, const std::function<std::size_t()>& call, std::size_t& count) {
  count = call();
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer clock;
    clock.start();
    count = call();
    best = std::min(best, static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  QTemporaryDir home;
  const fs::path root = home.path().toStdString();
  makeTree(root);
  const fs::path tree = root / "zdjecia";

  std::size_t count = 0;
  const double listing = leastMs(
      runs, [&] { return velmora::listFolderPictures(tree, true, root / "out").names.size(); }, count);
  std::printf("listing with subfolders: %zu files in %d folders, %.1f ms\n", count, kYears * kShoots, listing);

  velmora::TEnvironmentInputs in;
  in.ExePath = home.filePath(QStringLiteral("velmora"));
  in.ConfigRoot = home.filePath(QStringLiteral("config"));
  in.Report = [](const QString&) {};
  velmora::TEnvironment env(std::move(in));
  env.AppProps().Set(QStringLiteral("podfoldery"), QStringLiteral("T"));
  velmora::TForm1 window(env);
  window.show();
  const QString folder = QString::fromStdString(tree.string());
  const double filling = leastMs(
      runs,
      [&] {
        window.OpenGivenPath(folder);
        // The list laid out and painted, as the user sees it.
        QApplication::processEvents();
        return static_cast<std::size_t>(window.CLB->count());
      },
      count);
  std::printf("window list with subfolders: %zu entries, %.1f ms\n", count, filling);
  return count == static_cast<std::size_t>(kYears * kShoots * kPerShoot) ? 0 : 1;
}
