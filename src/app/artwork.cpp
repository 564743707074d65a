#include "app/artwork.h"

#include <QPainter>
#include <QPixmap>
#include <array>
#include <cmath>

namespace velmora {

namespace {

// A 7 x 7 check box with its top-left corner at (x, y), ticked or not.
void DrawBox(QPainter& p, int x, int y, bool ticked) {
  p.setPen(QColor(0x40, 0x40, 0x40));
  p.setBrush(Qt::white);
  p.drawRect(x, y, 6, 6);
  if (!ticked) return;
  p.setPen(QPen(QColor(0, 0, 0), 1));
  // A two-pixel-thick tick drawn as three short strokes.
  for (int dy = 0; dy < 2; ++dy) {
    p.drawLine(x + 1, y + 3 + dy, x + 2, y + 4 + dy);
    p.drawLine(x + 3, y + 4 + dy, x + 5, y + 2 + dy);
  }
}

}  // namespace

QImage SelectionGlyph(TSelectionGlyph kind, qreal devicePixelRatio) {
  const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  QImage glyph(QSize(16, 16) * dpr, QImage::Format_ARGB32);
  glyph.setDevicePixelRatio(dpr);
  glyph.fill(Qt::transparent);
  QPainter p(&glyph);
  // Between whole ratios the strokes fall between device pixels: smoothed rather than uneven.
  p.setRenderHint(QPainter::Antialiasing, dpr != std::floor(dpr));
  const bool top = kind == TSelectionGlyph::TickAll;
  const bool bottom = kind != TSelectionGlyph::UntickAll;
  DrawBox(p, 4, 1, top);
  DrawBox(p, 4, 9, bottom);
  return glyph;
}

QIcon SelectionIcon(TSelectionGlyph kind) {
  // Drawn for each usual desktop scale, so the icon picks a picture of its own size, never an enlarged one.
  QIcon icon;
  for (const qreal dpr : {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0})
    icon.addPixmap(QPixmap::fromImage(SelectionGlyph(kind, dpr)));
  return icon;
}

QImage StockCaptionBackground() {
  QImage picture(133, 37, QImage::Format_RGB32);
  // Light yellow, green, pink, violet, and back to yellow, so the bands wrap without a seam.
  const std::array<QColor, 5> colours = {QColor(255, 246, 170), QColor(190, 240, 180), QColor(255, 196, 220),
                                         QColor(214, 190, 250), QColor(255, 246, 170)};
  constexpr double kBand = 22.0;  // pixels along the diagonal per colour
  for (int y = 0; y < picture.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      const double along = std::fmod((x + 2.0 * y) / kBand, 4.0);
      const int i = static_cast<int>(along);
      // Smooth step between neighbouring colours, so the streaks are soft.
      double t = along - i;
      t = t * t * (3 - 2 * t);
      const QColor& a = colours[static_cast<std::size_t>(i)];
      const QColor& b = colours[static_cast<std::size_t>(i) + 1];
      auto mix = [t](int u, int v) { return static_cast<int>(std::lround(u + (v - u) * t)); };
      row[x] = qRgb(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
    }
  }
  return picture;
}

}  // namespace velmora
