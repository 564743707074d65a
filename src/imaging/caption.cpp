#include "imaging/caption.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <array>

namespace velmora {

// The added graphic as it is drawn: its pixels and its key colour, the colour of its top-left pixel.
struct LoadedGraphic {
  QImage image;  // Format_RGB32; null: nothing to draw
  QRgb key = 0;
};

namespace {

// 96 dpi in dots per metre (96 / 0.0254, rounded); QImage reports it back as 96.
constexpr int kDotsPerMeter96 = 3780;
// The mask's working image takes 4 bytes a pixel; a caption beyond this is a mistake, not a picture.
constexpr std::uint64_t kMaxMaskPixels = std::uint64_t{1} << 25;
// The glyph colour of the mask's drawing: any colour the black background cannot be mistaken for.
constexpr QRgb kGlyphRgb = 0xFF7F0000u;  // red 127, green 0, blue 0

QString Key(const char* utf8) { return QString::fromUtf8(utf8); }

int IntOr(const QString& text, int fallback) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  return ok ? value : fallback;
}

QImage Surface96(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.setDotsPerMeterX(kDotsPerMeter96);
  image.setDotsPerMeterY(kDotsPerMeter96);
  return image;
}

QString CaptionLine(const CaptionSettings& settings) {
  return QStringLiteral(" ") + settings.Text + QStringLiteral(" ");
}

// What the composition does to one target pixel for one mask value.
struct PixelOp {
  enum Kind { Keep, Set, Xor } kind = Keep;
  ColorRef color = 0;
};

std::array<PixelOp, 3> CompositionOps(const CaptionSettings& s) {
  std::array<PixelOp, 3> ops{};
  if (!s.TransparentGlyphs) ops[kMaskGlyph] = {s.NegativeGlyphs ? PixelOp::Xor : PixelOp::Set, s.FontColor};
  if (!s.NoBackground) {
    ops[kMaskBackground] = {s.NegativeBackground ? PixelOp::Xor : PixelOp::Set, s.BackColor};
    // The outline stays the picture's own: a ring of unchanged pixels between glyphs and box.
  } else {
    // Without a box the outline is what is painted, in the background colour.
    ops[kMaskOutline] = {s.NegativeBackground ? PixelOp::Xor : PixelOp::Set, s.BackColor};
  }
  return ops;
}

QRgb Apply(const PixelOp& op, QRgb target) {
  switch (op.kind) {
    case PixelOp::Keep:
      return target;
    case PixelOp::Set:
      return ColorRefToRgb(op.color);
    case PixelOp::Xor:
      return ColorRefToRgb(RgbToColorRef(target) ^ op.color);
  }
  return target;
}

bool HasOwnColours(QImage::Format format) {
  switch (format) {
    case QImage::Format_Invalid:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
    case QImage::Format_Alpha8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
      return false;
    default:
      return true;
  }
}

// A missing file is no graphic; one that cannot be read as an image throws CaptionError.
LoadedGraphic LoadGraphic(const QString& path) {
  if (path.isEmpty() || !QFileInfo(path).isFile()) return {};
  QImageReader reader(path);
  QImage graphic = reader.read();
  if (graphic.isNull()) {
    throw CaptionError(QStringLiteral("Nie można wczytać grafiki \"%1\"").arg(path).toStdString());
  }
  graphic = graphic.convertToFormat(QImage::Format_RGB32);
  const QRgb key = graphic.pixel(0, 0) & RGB_MASK;
  return {std::move(graphic), key};
}

void DrawGraphic(QImage& surface, int x, int y, const CaptionMask& mask, const LoadedGraphic& loaded) {
  const QImage& graphic = loaded.image;
  if (graphic.isNull()) return;
  // 64-bit positions: callers' coordinates are not bounded, and only the part of the graphic that lands on
  // the surface is visited.
  const std::int64_t gx = std::int64_t{x} + mask.TextWidth;
  const std::int64_t gy = std::int64_t{y} + mask.TextHeight - graphic.height();
  const std::int64_t c0 = std::max<std::int64_t>(0, -gx),
                     c1 = std::min<std::int64_t>(graphic.width(), surface.width() - gx);
  const std::int64_t r0 = std::max<std::int64_t>(0, -gy),
                     r1 = std::min<std::int64_t>(graphic.height(), surface.height() - gy);
  for (std::int64_t r = r0; r < r1; ++r) {
    const auto* row = reinterpret_cast<const QRgb*>(graphic.constScanLine(static_cast<int>(r)));
    for (std::int64_t c = c0; c < c1; ++c) {
      const QRgb p = row[c] & RGB_MASK;
      if (p != loaded.key) surface.setPixel(static_cast<int>(gx + c), static_cast<int>(gy + r), p | 0xFF000000u);
    }
  }
}

// The mask by the four mode marks, with its top left corner at (x + 4, y - 1).
void ComposeMask(QImage& surface, int x, int y, const CaptionMask& mask, const CaptionSettings& settings) {
  if (!HasOwnColours(surface.format())) surface.convertTo(QImage::Format_RGB32);

  const std::array<PixelOp, 3> ops = CompositionOps(settings);
  const std::int64_t left = std::int64_t{x} + 4;
  const std::int64_t top = std::int64_t{y} - 1;
  for (int r = 0; r < mask.Height; ++r) {
    const std::int64_t ty = top + r;
    if (ty < 0 || ty >= surface.height()) continue;
    for (int c = 0; c < mask.Width; ++c) {
      const std::int64_t tx = left + c;
      if (tx < 0 || tx >= surface.width()) continue;
      const std::uint8_t value = mask.At(c, r);
      if (value >= ops.size()) continue;  // not a mask value: left alone
      const PixelOp& op = ops[value];
      if (op.kind == PixelOp::Keep) continue;
      const QPoint at(static_cast<int>(tx), static_cast<int>(ty));
      surface.setPixel(at, Apply(op, surface.pixel(at)));
    }
  }
}

}  // namespace

QRgb ColorRefToRgb(ColorRef color) { return qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF); }

ColorRef RgbToColorRef(QRgb rgb) {
  return static_cast<ColorRef>(qRed(rgb)) | static_cast<ColorRef>(qGreen(rgb)) << 8 |
         static_cast<ColorRef>(qBlue(rgb)) << 16;
}

QColor ColorRefToQColor(ColorRef color) { return QColor(ColorRefToRgb(color)); }

ColorRef QColorToColorRef(const QColor& color) { return RgbToColorRef(color.rgb()); }

bool IsFontInstalled(const QString& family) { return QFontDatabase::hasFamily(family); }

CaptionSettings CaptionSettingsFromKeys(const CaptionKeyLookup& lookup) {
  auto get = [&](const char* key) { return lookup(Key(key)); };
  // Style keys: empty means the default; otherwise on exactly for "T".
  auto flag = [&](const char* key, bool whenEmpty) {
    const QString v = get(key);
    return v.isEmpty() ? whenEmpty : v == QStringLiteral("T");
  };

  CaptionSettings s;
  s.Text = get(caption_key::Text);
  if (s.Text.isEmpty()) s.Text = kDefaultCaptionText;
  s.FontName = get(caption_key::Font);
  if (s.FontName.isEmpty() || !IsFontInstalled(s.FontName)) s.FontName = kDefaultCaptionFont;
  s.FontSize = IntOr(get(caption_key::FontSize), kDefaultCaptionFontSize);
  if (s.FontSize < 1 || s.FontSize > kMaxCaptionFontSize) s.FontSize = kDefaultCaptionFontSize;
  s.FontColor = static_cast<ColorRef>(IntOr(get(caption_key::FontColor), kDefaultCaptionFontColor));
  s.Italic = flag(caption_key::FontItalic, true);
  s.Bold = flag(caption_key::FontBold, false);
  s.Underline = flag(caption_key::FontUnderline, false);
  s.StrikeOut = flag(caption_key::FontStrikeOut, false);
  s.BackColor = static_cast<ColorRef>(IntOr(get(caption_key::BackColor), kDefaultCaptionBackColor));
  s.NoBackground = flag(caption_key::NoBackground, false);
  s.NegativeBackground = flag(caption_key::NegativeBackground, false);
  s.TransparentGlyphs = flag(caption_key::TransparentGlyphs, false);
  s.NegativeGlyphs = flag(caption_key::NegativeGlyphs, false);
  s.GraphicPath = get(caption_key::Graphic);
  return s;
}

std::vector<std::pair<QString, QString>> NormalisedCaptionKeys(const CaptionSettings& s) {
  auto tn = [](bool on) { return on ? QStringLiteral("T") : QStringLiteral("N"); };
  // Colours go back as the signed 32-bit numbers they were read as.
  auto color = [](ColorRef c) { return QString::number(static_cast<std::int32_t>(c)); };
  return {
      {Key(caption_key::Text), s.Text},
      {Key(caption_key::Font), s.FontName},
      {Key(caption_key::FontSize), QString::number(s.FontSize)},
      {Key(caption_key::FontColor), color(s.FontColor)},
      {Key(caption_key::FontItalic), tn(s.Italic)},
      {Key(caption_key::FontBold), tn(s.Bold)},
      {Key(caption_key::FontUnderline), tn(s.Underline)},
      {Key(caption_key::FontStrikeOut), tn(s.StrikeOut)},
      {Key(caption_key::BackColor), color(s.BackColor)},
  };
}

QFont CaptionFont(const CaptionSettings& s) {
  QFont font(s.FontName);
  // Points to pixels as a 96-dpi surface does it, rounding half up.
  const std::int64_t points = std::clamp(s.FontSize, 1, kMaxCaptionFontSize);
  font.setPixelSize(static_cast<int>((points * 96 + 36) / 72));
  font.setItalic(s.Italic);
  font.setBold(s.Bold);
  font.setUnderline(s.Underline);
  font.setStrikeOut(s.StrikeOut);
  // Unsmoothed glyphs with the font's own hinting: crisp one-colour pixels, independent of the desktop.
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setKerning(false);
  return font;
}

CaptionMask RenderCaptionMask(const CaptionSettings& settings) {
  const QFont font = CaptionFont(settings);
  const QString line = CaptionLine(settings);

  CaptionMask mask;
  {
    const QImage probe = Surface96(1, 1);
    const QFontMetrics metrics(font, &probe);
    mask.TextWidth = std::max(0, metrics.horizontalAdvance(line));
    mask.TextHeight = std::max(0, metrics.height());
  }
  mask.Width = mask.TextWidth + 2;
  mask.Height = mask.TextHeight + 2;
  if (static_cast<std::uint64_t>(mask.Width) * static_cast<std::uint64_t>(mask.Height) > kMaxMaskPixels) {
    throw CaptionError("Podpis jest za duży");
  }

  QImage canvas = Surface96(mask.Width, mask.Height);
  if (canvas.isNull()) throw CaptionError("Podpis jest za duży");
  canvas.fill(Qt::black);
  {
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(font);
    painter.setPen(QColor(kGlyphRgb));
    // The text's cell, not its baseline, goes to (1, 1).
    painter.drawText(QPoint(1, 1 + QFontMetrics(font, &canvas).ascent()), line);
  }

  mask.Pixels.assign(static_cast<std::size_t>(mask.Width) * mask.Height, kMaskBackground);
  for (int y = 0; y < mask.Height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
    for (int x = 0; x < mask.Width; ++x) {
      if ((row[x] & RGB_MASK) == (kGlyphRgb & RGB_MASK)) {
        mask.Pixels[static_cast<std::size_t>(y) * mask.Width + x] = kMaskGlyph;
      }
    }
  }
  AddCaptionOutline(mask);
  return mask;
}

void AddCaptionOutline(CaptionMask& mask) {
  if (mask.Height < 3 || mask.Width < 3) return;
  auto at = [&](int x, int y) -> std::uint8_t& { return mask.Pixels[static_cast<std::size_t>(y) * mask.Width + x]; };
  // In place is safe: only 1s spread and only 0s change.
  for (int r = 1; r <= mask.Height - 2; ++r) {
    for (int c = 1; c <= mask.Width - 2; ++c) {
      if (at(c, r) != kMaskGlyph) continue;
      for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
          std::uint8_t& n = at(c + dc, r + dr);
          if (n == kMaskBackground) n = kMaskOutline;
        }
      }
    }
  }
}

void StampCaption(QImage& surface, int x, int y, const CaptionMask& mask, const CaptionSettings& settings) {
  if (surface.isNull()) return;
  ComposeMask(surface, x, y, mask, settings);
  DrawGraphic(surface, x, y, mask, LoadGraphic(settings.GraphicPath));
}

CaptionStamper::CaptionStamper(CaptionSettings settings)
    : settings_(std::move(settings)), mask_(RenderCaptionMask(settings_)) {}

CaptionStamper CaptionStamper::ForRun() const {
  CaptionStamper run = *this;
  try {
    run.graphic_ = std::make_shared<const LoadedGraphic>(LoadGraphic(settings_.GraphicPath));
  } catch (const CaptionError& e) {
    run.graphic_ = std::make_shared<const LoadedGraphic>();
    run.graphicError_ = e.what();
  }
  return run;
}

void CaptionStamper::Stamp(QImage& surface, int x, int y) const {
  if (!graphic_) {
    StampCaption(surface, x, y, mask_, settings_);
    return;
  }
  if (surface.isNull()) return;
  ComposeMask(surface, x, y, mask_, settings_);
  if (!graphicError_.empty()) throw CaptionError(graphicError_);
  DrawGraphic(surface, x, y, mask_, *graphic_);
}

void CaptionStamper::StampPicture(QImage& picture) const {
  const int th = TextHeight();
  Stamp(picture, th, picture.height() - 2 * th);
}

void CaptionStamper::DrawPreview(QImage& preview) const {
  const int y = std::max(1, (preview.height() - mask_.Height) / 2);
  Stamp(preview, 5, y);
}

}  // namespace velmora
