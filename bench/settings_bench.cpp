// Start-up and shut-down of the settings environment on the files that once kept the window from
// appearing: a damaged settings file of random bytes without NULs (10 MB, refused by size; 4 MiB,
// just parsed), a named pipe at the settings path, and a file of 20,000 keys (each lookup once
// upper-cased every stored key). Prints the least time of several runs in milliseconds; the target is
// well under the 2 s in which the window must appear.
//
//   velmora-bench-settings [RUNS]

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "settings/environment.h"

namespace {

// Without NULs, which would end the parsing early: the whole file is read as lines.
QByteArray RandomBytes(qsizetype size) {
  QByteArray bytes(size, '\0');
  QRandomGenerator random(2024);
  for (char& c : bytes) c = static_cast<char>(random.bounded(1, 256));
  return bytes;
}

QByteArray ManyKeys(int n) {
  QByteArray bytes;
  for (int i = 0; i < n; ++i) bytes += QStringLiteral("klucz %1=wartość %1\r").arg(i).toUtf8();
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  struct Case {
    const char* name;
    std::function<void(const QString& file)> make;
  };
  const Case cases[] = {
      {"10 MB of random bytes (refused)",
       [](const QString& f) {
         QFile out(f);
         if (out.open(QIODevice::WriteOnly)) out.write(RandomBytes(10 * 1000 * 1000));
       }},
      {"4 MiB of random bytes (parsed)",
       [](const QString& f) {
         QFile out(f);
         if (out.open(QIODevice::WriteOnly)) out.write(RandomBytes(4 * 1024 * 1024));
       }},
      {"a named pipe (never opened)", [](const QString& f) { ::mkfifo(QFile::encodeName(f).constData(), 0600); }},
      {"20,000 keys (parsed and written)",
       [](const QString& f) {
         QFile out(f);
         if (out.open(QIODevice::WriteOnly)) out.write(ManyKeys(20000));
       }},
  };
  std::printf("%-36s %10s %10s\n", "settings file", "start ms", "close ms");
  for (const Case& c : cases) {
    double bestStart = 1e30, bestClose = 1e30;
    for (int run = 0; run < runs; ++run) {
      QTemporaryDir home;
      const QString folder = home.filePath("config/Velmora/velmora");
      QDir().mkpath(folder);
      QDir().mkpath(home.filePath("bin"));
      c.make(folder + "/velmora.props");
      velmora::TEnvironmentInputs in;
      in.ExePath = home.filePath("bin/velmora");
      in.ConfigRoot = home.filePath("config");
      in.Report = [](const QString&) {};
      QElapsedTimer clock;
      clock.start();
      velmora::TEnvironment env(std::move(in));
      const double started = static_cast<double>(clock.nsecsElapsed()) / 1e6;
      env.AppProps().Set("size", "800");
      clock.restart();
      env.Shutdown();
      bestStart = std::min(bestStart, started);
      bestClose = std::min(bestClose, static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("%-36s %10.1f %10.1f\n", c.name, bestStart, bestClose);
  }
  return 0;
}
