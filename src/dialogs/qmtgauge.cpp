#include "dialogs/qmtgauge.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <limits>

namespace velmora {

namespace {

// The fill must round as the x87 extended type does (5 % of 100 pixels is 4), so this needs the 64-bit
// mantissa of long double on x86.
static_assert(std::numeric_limits<long double>::digits == 64, "the gauge fill needs 80-bit long double");

QString RangeMessage(long long low, long long high) {
  return QStringLiteral("Value must be between %1 and %2").arg(low).arg(high);
}

// image := image XOR layer, on the 24 colour bits.
void XorInto(QImage& image, const QImage& layer) {
  for (int y = 0; y < image.height(); ++y) {
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    const auto* src = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) dst[x] = 0xff000000u | ((dst[x] ^ src[x]) & 0x00ffffffu);
  }
}

}  // namespace

TQMTGauge::TQMTGauge(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(100, 100);
}

void TQMTGauge::RepaintNow() { repaint(); }

void TQMTGauge::SetMinValue(int value) {
  if (value == min_) return;
  if (value > max_ && !loading_)
    throw EInvalidOperation(RangeMessage(-2147483647LL, static_cast<long long>(max_) - 1).toStdString());
  min_ = value;
  if (progress_ < value) progress_ = value;
  RepaintNow();
}

void TQMTGauge::SetMaxValue(int value) {
  if (value == max_) return;
  if (value < min_ && !loading_)
    throw EInvalidOperation(RangeMessage(static_cast<long long>(min_) + 1, 2147483647LL).toStdString());
  max_ = value;
  if (progress_ > value) progress_ = value;
  RepaintNow();
}

void TQMTGauge::SetProgress(int value) {
  if (value < min_)
    value = min_;
  else if (value > max_)
    value = max_;
  if (value == progress_) return;
  progress_ = value;
  RepaintNow();
}

template <typename T>
void TQMTGauge::Change(T& field, const T& value) {
  if (field == value) return;
  field = value;
  RepaintNow();
}

void TQMTGauge::SetKind(TGaugeKind kind) { Change(kind_, kind); }
void TQMTGauge::SetBorderStyle(TGaugeBorderStyle style) { Change(borderStyle_, style); }
void TQMTGauge::SetForeColor(const QColor& color) { Change(foreColor_, color); }
void TQMTGauge::SetBackColor(const QColor& color) { Change(backColor_, color); }

int TQMTGauge::PercentComplete() const {
  const long long range = static_cast<long long>(max_) - min_;
  if (range == 0) return 0;
  return static_cast<int>(static_cast<double>(static_cast<long long>(progress_) - min_) * 100.0 /
                          static_cast<double>(range));
}

QString TQMTGauge::Text() const {
  if (showAsValue_) return addText_ + QStringLiteral("%1/%2").arg(progress_).arg(max_);
  return QStringLiteral("%1%").arg(PercentComplete());
}

int TQMTGauge::FillLength(int length, int percent) {
  // Two roundings, as the extended type does them: percent x 0.01 (just below 0.01), then length x that.
  const long double fraction = static_cast<long double>(percent) * 0.01L;
  const long double fill = static_cast<long double>(length) * fraction;
  return static_cast<int>(fill);
}

QImage TQMTGauge::RenderImage() const {
  const int width = std::max(this->width(), 0), height = std::max(this->height(), 0);
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::black);
  if (image.isNull()) return image;

  // Paint rectangle with exclusive right and bottom edges.
  int left = 0, top = 0, right = width, bottom = height;
  if (borderStyle_ == TGaugeBorderStyle::bsSingle) {
    ++left;
    ++top;
    --right;
    --bottom;
  }
  const int w = right - left + 1, h = bottom - top + 1;
  const QRect paintRect(left, top, right - left, bottom - top);

  QImage bar(width, height, QImage::Format_RGB32);
  bar.fill(Qt::black);
  {
    QPainter p(&bar);
    p.fillRect(paintRect, backColor_);
    if (kind_ == TGaugeKind::gkHorizontalBar) {
      int fill = FillLength(w, PercentComplete());
      if (fill > w) fill = w;
      if (fill >= 1) p.fillRect(QRect(QPoint(left, top), QPoint(fill - 1, h - 1)), foreColor_);
    } else if (kind_ == TGaugeKind::gkVerticalBar) {
      int fill = FillLength(h, PercentComplete());
      if (fill >= h) fill = h - 1;
      p.fillRect(QRect(QPoint(left, h - fill), QPoint(w - 1, h - 1)), foreColor_);
    }
  }
  XorInto(image, bar);

  QImage text(width, height, QImage::Format_RGB32);
  text.fill(Qt::black);
  {
    QFont f = font();
    // Glyph pixels must be pure white, or the XOR would give mixed colours at their edges.
    f.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics fm(f);
    const QString s = Text();
    const int x = (w - fm.horizontalAdvance(s)) / 2;
    const int y = (h - fm.height()) / 2;
    QPainter p(&text);
    p.setFont(f);
    p.setPen(Qt::white);
    p.setClipRect(paintRect);
    p.drawText(QPoint(x, y + fm.ascent()), s);
  }
  XorInto(image, text);
  return image;
}

void TQMTGauge::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, RenderImage());
}

}  // namespace velmora
