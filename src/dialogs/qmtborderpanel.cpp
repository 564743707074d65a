#include "dialogs/qmtborderpanel.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>

namespace velmora {

TQMTBorderPanel::TQMTBorderPanel(QWidget* parent) : QWidget(parent), borderColor_(palette().color(QPalette::Dark)) {}

void TQMTBorderPanel::setBorderColor(const QColor& color) {
  borderColor_ = color;
  repaint();
}

void TQMTBorderPanel::setBorderWidth(int width) {
  borderWidth_ = width;
  repaint();
}

void TQMTBorderPanel::SetCaption(const QString& caption) {
  caption_ = caption;
  repaint();
}

bool TQMTBorderPanel::DrawsBorder() const {
  return borderWidth_ >= 1 && borderWidth_ < std::min(width(), height()) / 2;
}

void TQMTBorderPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // The plain panel: background and centred caption, no bevels.
  p.fillRect(rect(), palette().color(backgroundRole()));
  if (!caption_.isEmpty()) {
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
  }
  const bool drawBorder = DrawsBorder();
  if (!drawBorder && !OnQMTBorderPaint) return;
  if (drawBorder) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(borderColor_, 1));
    const int w = width(), h = height();
    for (int i = 1; i <= borderWidth_; ++i) {
      const QPolygon ring({QPoint(i - 1, i - 1), QPoint(w - i, i - 1), QPoint(w - i, h - i), QPoint(i - 1, h - i),
                           QPoint(i - 1, i - 1)});
      p.drawPolyline(ring);
    }
  }
  if (OnQMTBorderPaint) OnQMTBorderPaint(p);
}

}  // namespace velmora
