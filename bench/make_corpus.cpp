// Makes the benchmark corpus: camera-sized JPEG photographs-alike (24 MP and 12 MP, landscape and
// portrait, in turn) from a fixed seed, so every machine measures the same pictures. The content mixes smooth
// gradients, texture at several scales, hard-edged shapes and sensor-like noise, tuned so the files
// come out at about 0.3 to 0.6 bytes a pixel at quality 92, as camera files do.
//
//   velmora-make-corpus FOLDER [COUNT]     (COUNT pictures, 8 by default)
//   velmora-make-corpus --orientation N FROM TO   (FROM's pictures with an EXIF block stating Orientation N)

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/fileio.h"
#include "imaging/jpegcodec.h"

namespace {

std::uint32_t mix(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

// Lattice value in [-1, 1].
float lattice(int x, int y, std::uint32_t seed) {
  const std::uint32_t h = mix(static_cast<std::uint32_t>(x) * 0x9E3779B1U ^ mix(static_cast<std::uint32_t>(y) + seed));
  return static_cast<float>(h & 0xFFFF) / 32767.5f - 1.0f;
}

// Smooth value noise with the given cell size, in [-1, 1].
float noise(int x, int y, int cell, std::uint32_t seed) {
  const int ix = x / cell, iy = y / cell;
  float fx = static_cast<float>(x % cell) / static_cast<float>(cell);
  float fy = static_cast<float>(y % cell) / static_cast<float>(cell);
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  const float a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
  const float c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
  return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

struct Disc {
  float x, y, r, dl, dr, db;
};

QImage makePicture(int width, int height, std::uint32_t seed) {
  QImage picture(width, height, QImage::Format_RGB32);
  std::vector<Disc> discs;
  for (std::uint32_t k = 0; k < 40; ++k) {
    auto u = [&](std::uint32_t salt) {
      return static_cast<float>(mix(seed * 977 + k * 131 + salt) & 0xFFFF) / 65535.0f;
    };
    discs.push_back({u(1) * width, u(2) * height, (0.02f + 0.12f * u(3)) * std::min(width, height), 80 * u(4) - 40,
                     40 * u(5) - 20, 40 * u(6) - 20});
  }
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < width; ++x) {
      float l = 120.0f + 70.0f * static_cast<float>(y) / static_cast<float>(height) - 35.0f;
      l += 45 * noise(x, y, 701, seed) + 25 * noise(x, y, 157, seed + 1) + 14 * noise(x, y, 37, seed + 2) +
           14 * noise(x, y, 9, seed + 3) + 16 * noise(x, y, 3, seed + 4);
      float r = 25 * noise(x, y, 613, seed + 5), b = 25 * noise(x, y, 541, seed + 6);
      for (const Disc& d : discs) {
        const float dx = static_cast<float>(x) - d.x, dy = static_cast<float>(y) - d.y;
        if (dx * dx + dy * dy < d.r * d.r) {
          l += d.dl;
          r += d.dr;
          b += d.db;
        }
      }
      // Sensor noise: a small per-pixel grain, as in any camera file.
      l += 14.0f * lattice(x, y, seed + 7);
      auto clamp = [](float v) { return static_cast<int>(std::clamp(v, 0.0f, 255.0f)); };
      row[x] = qRgb(clamp(l + r), clamp(l - 0.3f * (r + b)), clamp(l + b));
    }
  }
  return picture;
}

// Copies every picture of `from` into `to` with an EXIF APP1 segment after SOI whose IFD0 holds only
// Orientation, so the run turns it.
int writeOriented(const std::filesystem::path& from, const std::filesystem::path& to, int orientation) {
  std::filesystem::create_directories(to);
  velmora::ByteWriter tiff;
  tiff.text("II");
  tiff.u16(42, false);
  tiff.u32(8, false);
  tiff.u16(1, false);
  tiff.u16(0x0112, false);  // Orientation, SHORT, one value
  tiff.u16(3, false);
  tiff.u32(1, false);
  tiff.u32(static_cast<std::uint32_t>(orientation), false);
  tiff.u32(0, false);
  velmora::ByteWriter app1;
  app1.u8(0xFF);
  app1.u8(0xE1);
  app1.u16(static_cast<std::uint16_t>(2 + 6 + tiff.size()), true);
  app1.text(std::string("Exif\0\0", 6));
  app1.bytes(tiff.data());
  for (const auto& entry : std::filesystem::directory_iterator(from)) {
    if (entry.path().extension() != ".jpg") continue;
    velmora::Bytes jpeg = velmora::readFileBytes(entry.path());
    jpeg.insert(jpeg.begin() + 2, app1.data().begin(), app1.data().end());
    velmora::writeFileAtomically(to / entry.path().filename(), jpeg);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--orientation") return writeOriented(argv[3], argv[4], std::atoi(argv[2]));
  if (argc < 2 || argc > 3) {
    std::fputs("usage: velmora-make-corpus FOLDER [COUNT]\n", stderr);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  struct Item {
    int width, height;
  };
  const Item items[] = {{6000, 4000}, {4000, 6000}, {4000, 3000}, {3000, 4000},
                        {6000, 4000}, {4000, 6000}, {4000, 3000}, {3000, 4000}};
  const int count = argc == 3 ? std::atoi(argv[2]) : 8;
  for (int n = 1; n <= count; ++n) {
    const Item& item = items[(n - 1) % std::size(items)];
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.jpg", n);
    const QImage picture = makePicture(item.width, item.height, static_cast<std::uint32_t>(n) * 7919U);
    const velmora::Bytes jpeg = velmora::encodeJpeg(picture, 92);
    velmora::writeFileAtomically(folder / name, jpeg);
    std::printf("%s %dx%d %zu bytes, %.2f bytes/pixel\n", name, item.width, item.height, jpeg.size(),
                static_cast<double>(jpeg.size()) / (static_cast<double>(item.width) * item.height));
  }
  return 0;
}
