#include "dialogs/qmtpropscb.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextLayout>
#include <algorithm>
#include <utility>
#include <vector>

namespace velmora {

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGrey = qRgb(0x80, 0x80, 0x80);

QRgb FromRef(TColorRef c) { return qRgb(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff); }

// Pixel drawing with the conventions of the classic 2-D calls the geometry is given in: rectangles and
// ellipses cover left..right-1 and top..bottom-1, a line leaves out its end point. Outside the image
// nothing happens.
class TRaster {
 public:
  explicit TRaster(QImage& image) : img_(image) {}

  void Set(int x, int y, QRgb c) {
    if (x >= 0 && y >= 0 && x < img_.width() && y < img_.height()) reinterpret_cast<QRgb*>(img_.scanLine(y))[x] = c;
  }
  QRgb Get(int x, int y) const { return img_.pixel(x, y); }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < img_.width() && y < img_.height(); }

  void Rectangle(int l, int t, int r, int b, QRgb pen, QRgb brush) {
    for (int y = t; y < b; ++y)
      for (int x = l; x < r; ++x) Set(x, y, (x == l || x == r - 1 || y == t || y == b - 1) ? pen : brush);
  }

  void Line(int x0, int y0, int x1, int y1, QRgb pen) {
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (x0 != x1 || y0 != y1) {
      Set(x0, y0, pen);
      const int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x0 += sx;
      }
      if (e2 <= dx) {
        err += dx;
        y0 += sy;
      }
    }
  }

  // The ellipses of this control are circles of odd diameter: a midpoint circle outline in the pen
  // colour, its inside in the brush colour.
  void Circle(int l, int t, int r, int /*b*/, QRgb pen, QRgb brush) {
    const int radius = (r - l - 1) / 2, cx = l + radius, cy = t + radius;
    std::vector<std::pair<int, int>> outline;
    for (int x = 0, y = radius, d = 1 - radius; x <= y; ++x) {
      for (const auto& [px, py] : {std::pair{x, y}, {y, x}, {-x, y}, {-y, x}, {x, -y}, {y, -x}, {-x, -y}, {-y, -x}})
        outline.emplace_back(cx + px, cy + py);
      if (d < 0) {
        d += 2 * x + 3;
      } else {
        d += 2 * (x - y) + 5;
        --y;
      }
    }
    for (int y = cy - radius; y <= cy + radius; ++y) {
      int lo = cx, hi = cx;
      for (const auto& [px, py] : outline)
        if (py == y) lo = std::min(lo, px), hi = std::max(hi, px);
      for (int x = lo + 1; x < hi; ++x) Set(x, y, brush);
    }
    for (const auto& [px, py] : outline) Set(px, py, pen);
  }

  // Fills the 4-connected surface of the seed's colour, when the seed has the surface colour.
  void FloodFillSurface(int x, int y, QRgb surface, QRgb fill) {
    if (!Inside(x, y) || Get(x, y) != surface || surface == fill) return;
    std::vector<QPoint> stack{{x, y}};
    while (!stack.empty()) {
      const QPoint p = stack.back();
      stack.pop_back();
      if (!Inside(p.x(), p.y()) || Get(p.x(), p.y()) != surface) continue;
      Set(p.x(), p.y(), fill);
      stack.push_back({p.x() + 1, p.y()});
      stack.push_back({p.x() - 1, p.y()});
      stack.push_back({p.x(), p.y() + 1});
      stack.push_back({p.x(), p.y() - 1});
    }
  }

 private:
  QImage& img_;
};

}  // namespace

TQMTPropsCB::TQMTPropsCB(QWidget* parent) : TQMTPropsPanel(parent) {
  Props.Set(QStringLiteral("checked"), false);
  Props.Set(QStringLiteral("newStyle"), false);
  Props.Set(QStringLiteral("enabled"), true);
  Props.Set(QStringLiteral("bold"), false);
  Props.Set(QStringLiteral("WordWrap"), false);
  Props.Set(QStringLiteral("HiglighterColor"), static_cast<qint64>(kDefaultHighlighter));
  resize(185, kLineHeight);
  // Reached with Tab and toggled with Space like the window's other controls.
  setFocusPolicy(Qt::StrongFocus);
}

bool TQMTPropsCB::BoolProp(const char* key) const { return GetProp(QString::fromLatin1(key)).toBool(); }

void TQMTPropsCB::SetBoolProp(const char* key, bool value) {
  SetProp(QString::fromLatin1(key), value);
  repaint();
}

bool TQMTPropsCB::Checked() const { return BoolProp("checked"); }
void TQMTPropsCB::SetChecked(bool checked) { SetBoolProp("checked", checked); }
bool TQMTPropsCB::NewStyle() const { return BoolProp("newStyle"); }
void TQMTPropsCB::SetNewStyle(bool on) { SetBoolProp("newStyle", on); }
bool TQMTPropsCB::Enabled() const { return BoolProp("enabled"); }
void TQMTPropsCB::SetEnabled(bool enabled) { SetBoolProp("enabled", enabled); }
bool TQMTPropsCB::Bold() const { return BoolProp("bold"); }
void TQMTPropsCB::SetBold(bool bold) { SetBoolProp("bold", bold); }
bool TQMTPropsCB::WordWrap() const { return BoolProp("WordWrap"); }

TColorRef TQMTPropsCB::HiglighterColor() const {
  return static_cast<TColorRef>(GetProp(QStringLiteral("HiglighterColor")).toLongLong());
}

void TQMTPropsCB::SetHiglighterColor(TColorRef color) {
  SetProp(QStringLiteral("HiglighterColor"), static_cast<qint64>(color));
  repaint();
}

void TQMTPropsCB::SetCaption(const QString& caption) {
  caption_ = caption;
  if (WordWrap()) LayoutWrappedCaption();
  repaint();
}

void TQMTPropsCB::SetWordWrap(bool on) {
  SetProp(QStringLiteral("WordWrap"), on);
  if (on) {
    LayoutWrappedCaption();
  } else {
    wrappedLines_.reset();
    resize(width(), kLineHeight);
  }
  repaint();
}

void TQMTPropsCB::SetShowHint(bool show) {
  showHint_ = show;
  setToolTip(showHint_ ? hint_ : QString());
}

void TQMTPropsCB::SetHint(const QString& hint) {
  hint_ = hint;
  setToolTip(showHint_ ? hint_ : QString());
}

QFont TQMTPropsCB::CaptionFont() const {
  QFont f = font();
  f.setBold(Bold());
  return f;
}

void TQMTPropsCB::LayoutWrappedCaption() {
  // Wrapped like a multi-line edit field of the width after the box: at word boundaries, a word longer
  // than the line broken anywhere, explicit line breaks kept.
  const int lineWidth = std::max(1, width() - CaptionLeft());
  QStringList lines;
  static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
  for (const QString& paragraph : caption_.split(breaks)) {
    QTextLayout layout(paragraph, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    bool any = false;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(lineWidth);
      lines << paragraph.mid(line.textStart(), line.textLength());
      any = true;
    }
    layout.endLayout();
    if (!any) lines << QString();
  }
  wrappedLines_ = lines;
  resize(width(), static_cast<int>(lines.size()) * kLineHeight);
}

void TQMTPropsCB::Click() {
  if (!Enabled()) return;
  SetChecked(!Checked());
  emit clicked();
}

void TQMTPropsCB::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Click();
}

void TQMTPropsCB::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    Click();
    return;
  }
  TQMTPropsPanel::keyPressEvent(event);
}

void TQMTPropsCB::focusInEvent(QFocusEvent* event) {
  TQMTPropsPanel::focusInEvent(event);
  update();
}

void TQMTPropsCB::focusOutEvent(QFocusEvent* event) {
  TQMTPropsPanel::focusOutEvent(event);
  update();
}

void TQMTPropsCB::UpdateHint() {
  if (WordWrap()) {
    if (showHint_) SetShowHint(false);
    return;
  }
  const int captionWidth = QFontMetrics(CaptionFont()).horizontalAdvance(caption_);
  if (!showHint_ && captionWidth > width() - CaptionLeft()) {
    hint_ = caption_;
    SetShowHint(true);
  }
}

QImage TQMTPropsCB::RenderImage(qreal devicePixelRatio) const {
  const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  const QSize logical(std::max(width(), 1), std::max(height(), 1));
  QImage image(logical * dpr, QImage::Format_RGB32);
  image.setDevicePixelRatio(dpr);
  image.fill(palette().color(backgroundRole()));
  const int h = height();
  int v = h <= kLineHeight ? 0 : (h - kLineHeight) / 2;
  const int x = CaptionLeft();
  {
    QPainter p(&image);
    const QFont f = CaptionFont();
    const QFontMetrics fm(f);
    p.setFont(f);
    p.setPen(Enabled() ? palette().color(QPalette::WindowText) : QColor(kGrey));
    if (WordWrap() && wrappedLines_) {
      const int lineHeight = fm.height();
      v = (h - static_cast<int>(wrappedLines_->size()) * lineHeight) / 2;
      if (v < 0) v = 1;
      for (qsizetype i = 0; i < wrappedLines_->size(); ++i)
        p.drawText(QPoint(x, v + lineHeight * static_cast<int>(i) + fm.ascent()), wrappedLines_->at(i));
    } else {
      p.drawText(QPoint(x, v + 1 + fm.ascent()), caption_);
    }
  }
  if (dpr == 1.0) {
    DrawBoxPixels(image, v);
  } else {
    DrawBoxScaled(image, v);
  }
  return image;
}

void TQMTPropsCB::DrawBoxPixels(QImage& image, int v) const {
  TRaster r(image);
  if (!NewStyle()) {
    r.Rectangle(3, v + 2, 14, v + 13, kGrey, kWhite);
    if (Checked()) {
      for (int k = 6; k <= 8; ++k) {
        r.Line(5, v + k, 7, v + k + 2, kBlack);
        r.Line(7, v + k + 2, 12, v + k - 3, kBlack);
      }
    }
  } else {
    r.Circle(2, v + 2, 13, v + 13, kBlack, kWhite);
    r.Circle(13, v + 2, 24, v + 13, kBlack, kWhite);
    r.Rectangle(9, v + 3, 20, v + 12, kWhite, kWhite);
    r.Line(9, v + 2, 20, v + 2, kBlack);
    r.Line(9, v + 12, 20, v + 12, kBlack);
    if (Checked()) {
      r.FloodFillSurface(10, v + 10, kWhite, FromRef(HiglighterColor()));
      r.Circle(15, v + 4, 22, v + 11, kBlack, kBlack);
    } else {
      r.Circle(4, v + 4, 11, v + 11, kBlack, kGrey);
    }
  }
}

void TQMTPropsCB::DrawBoxScaled(QImage& image, int v) const {
  // The same shapes as the pixel drawing, as outlines in logical pixels that the painter draws at the
  // screen's resolution, so a scaled desktop shows them sharp rather than enlarged.
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal line = 1.0;
  auto pen = [line](QRgb c) { return QPen(QColor(c), line); };
  if (!NewStyle()) {
    p.setPen(pen(kGrey));
    p.setBrush(QColor(kWhite));
    p.drawRect(QRectF(3.5, v + 2.5, 10, 10));
    if (Checked()) {
      p.setPen(QPen(QColor(kBlack), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(QPolygonF({QPointF(5.5, v + 7.5), QPointF(7.5, v + 9.5), QPointF(11.5, v + 4.5)}));
    }
    return;
  }
  const QRectF bar(2.5, v + 2.5, 21, 10);
  p.setPen(pen(kBlack));
  p.setBrush(QColor(Checked() ? FromRef(HiglighterColor()) : kWhite));
  p.drawRoundedRect(bar, 5, 5);
  p.setBrush(QColor(Checked() ? kBlack : kGrey));
  p.drawEllipse(Checked() ? QRectF(15.5, v + 4.5, 6, 6) : QRectF(4.5, v + 4.5, 6, 6));
}

void TQMTPropsCB::paintEvent(QPaintEvent*) {
  UpdateHint();
  QPainter p(this);
  p.drawImage(0, 0, RenderImage(devicePixelRatioF()));
  if (hasFocus()) {
    // The focus mark around the caption, where a keyboard user looks for it.
    QStyleOptionFocusRect option;
    option.initFrom(this);
    const int left = CaptionLeft() - 2;
    option.rect =
        QRect(left, 0, std::min(width() - left, QFontMetrics(CaptionFont()).horizontalAdvance(caption_) + 4), height());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
  }
  CallOnPaint(p);
}

}  // namespace velmora
