#include "imaging/orientation.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "imaging/imagingerror.h"

namespace velmora {

namespace {

// Upright pixel (x, y) comes from stored pixel (x0 + x * xx + y * yx, y0 + x * xy + y * yy).
struct Mapping {
  int xx, yx, xy, yy;
  bool fromRight, fromBottom;  // x0 = stored width - 1, y0 = stored height - 1
};

Mapping MappingOf(int orientation) {
  switch (orientation) {
    case 2:
      return {-1, 0, 0, 1, true, false};
    case 3:
      return {-1, 0, 0, -1, true, true};
    case 4:
      return {1, 0, 0, -1, false, true};
    case 5:
      return {0, 1, 1, 0, false, false};
    case 6:
      return {0, 1, -1, 0, false, true};
    case 7:
      return {0, -1, -1, 0, true, true};
    case 8:
      return {0, -1, 1, 0, true, false};
    default:
      return {1, 0, 0, 1, false, false};
  }
}

// Square tiles keep both the rows read and the rows written in cache when a quarter turn or a
// diagonal mirror walks the stored picture by columns.
constexpr int kTile = 32;

}  // namespace

bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

QSize UprightSize(QSize stored, int orientation) { return SwapsSides(orientation) ? stored.transposed() : stored; }

QImage TurnUpright(const QImage& stored, int orientation) {
  if (orientation < 2 || orientation > 8 || stored.isNull()) return stored;
  const QImage src = stored.format() == QImage::Format_RGB32 ? stored : stored.convertToFormat(QImage::Format_RGB32);
  const QSize size = UprightSize(src.size(), orientation);
  QImage out(size, QImage::Format_RGB32);
  if (out.isNull() || src.isNull()) {
    throw ImagingError(noMemoryForImageText(size.width(), size.height()));
  }
  const Mapping m = MappingOf(orientation);
  const int x0 = m.fromRight ? src.width() - 1 : 0;
  const int y0 = m.fromBottom ? src.height() - 1 : 0;
  const auto* srcBits = reinterpret_cast<const std::uint32_t*>(src.constBits());
  const std::ptrdiff_t srcStride = src.bytesPerLine() / 4;
  // Steps through the stored pixels, in pixels, for one step right and one step down in the upright.
  const std::ptrdiff_t stepX = m.xx + m.xy * srcStride;
  const std::ptrdiff_t stepY = m.yx + m.yy * srcStride;
  const std::ptrdiff_t origin = y0 * srcStride + x0;
  if (!SwapsSides(orientation)) {
    // Rows stay rows: each one copied whole, forwards or backwards.
    for (int y = 0; y < size.height(); ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
      const std::uint32_t* from = srcBits + (origin + y * stepY) - (m.xx < 0 ? size.width() - 1 : 0);
      if (m.xx < 0) {
        std::reverse_copy(from, from + size.width(), row);
      } else {
        std::copy(from, from + size.width(), row);
      }
    }
    return out;
  }
  for (int ty = 0; ty < size.height(); ty += kTile) {
    const int yEnd = std::min(ty + kTile, size.height());
    for (int tx = 0; tx < size.width(); tx += kTile) {
      const int xEnd = std::min(tx + kTile, size.width());
      for (int y = ty; y < yEnd; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
        std::ptrdiff_t from = origin + y * stepY + tx * stepX;
        for (int x = tx; x < xEnd; ++x, from += stepX) row[x] = srcBits[from];
      }
    }
  }
  return out;
}

}  // namespace velmora
