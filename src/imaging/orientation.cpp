#include "imaging/orientation.h"

#include <algorithm>
#include <string>

#include "imaging/imagingerror.h"

namespace velmora {

bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

QSize UprightSize(QSize stored, int orientation) { return SwapsSides(orientation) ? stored.transposed() : stored; }

namespace {

// Stored rows a quarter turn gathers before writing them out.
constexpr int kStripRows = 64;

}  // namespace

TUprightRows::TUprightRows(QSize stored, int orientation)
    : upright_(UprightSize(stored, orientation), QImage::Format_RGB32),
      stored_(stored),
      orientation_(orientation >= 2 && orientation <= 8 ? orientation : 1) {
  if (upright_.isNull()) {
    throw ImagingError("Brak pamięci na obraz " + std::to_string(upright_.width()) + " x " +
                       std::to_string(upright_.height()) + " pikseli");
  }
  if (SwapsSides(orientation_)) strip_.resize(static_cast<std::size_t>(stored.width()) * kStripRows);
}

void TUprightRows::row(int y, const std::uint8_t* pixels) {
  const auto* from = reinterpret_cast<const std::uint32_t*>(pixels);
  const int w = stored_.width(), h = stored_.height();
  if (!SwapsSides(orientation_)) {
    // Rows stay rows: copied whole, forwards or backwards.
    const bool flip = orientation_ == 3 || orientation_ == 4;
    auto* to = reinterpret_cast<std::uint32_t*>(upright_.scanLine(flip ? h - 1 - y : y));
    if (orientation_ == 2 || orientation_ == 3) {
      std::reverse_copy(from, from + w, to);
    } else {
      std::copy(from, from + w, to);
    }
    return;
  }
  if (stripRows_ == 0) stripFirst_ = y;
  std::copy(from, from + w, strip_.begin() + static_cast<std::ptrdiff_t>(stripRows_) * w);
  if (++stripRows_ == kStripRows || y == h - 1) Flush();
}

void TUprightRows::Flush() {
  if (stripRows_ == 0) return;
  const int w = stored_.width(), h = stored_.height();
  // Stored row y becomes upright column y (5, 8) or h - 1 - y (6, 7); stored column x becomes upright
  // row x (5, 6) or w - 1 - x (7, 8).
  const bool leftToRight = orientation_ == 5 || orientation_ == 8;
  const bool bottomUp = orientation_ == 7 || orientation_ == 8;
  const int column = leftToRight ? stripFirst_ : h - 1 - stripFirst_;
  const int step = leftToRight ? 1 : -1;
  const std::uint32_t* strip = strip_.data();
  for (int x = 0; x < w; ++x) {
    auto* to = reinterpret_cast<std::uint32_t*>(upright_.scanLine(bottomUp ? w - 1 - x : x)) + column;
    for (int r = 0; r < stripRows_; ++r) to[r * step] = strip[static_cast<std::ptrdiff_t>(r) * w + x];
  }
  stripRows_ = 0;
}

QImage TUprightRows::Take() {
  Flush();
  return std::move(upright_);
}

QImage TurnUpright(const QImage& stored, int orientation) {
  if (orientation < 2 || orientation > 8 || stored.isNull()) return stored;
  const QImage src = stored.format() == QImage::Format_RGB32 ? stored : stored.convertToFormat(QImage::Format_RGB32);
  if (src.isNull()) {
    throw ImagingError("Brak pamięci na obraz " + std::to_string(stored.width()) + " x " +
                       std::to_string(stored.height()) + " pikseli");
  }
  TUprightRows rows(src.size(), orientation);
  for (int y = 0; y < src.height(); ++y) rows.row(y, src.constScanLine(y));
  return rows.Take();
}

}  // namespace velmora
