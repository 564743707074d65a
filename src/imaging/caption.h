#pragma once

// The caption stamped near the lower left corner of a picture: its settings, the glyph/outline/background
// mask built from the text and font, and the composition of that mask (and of an optional .bmp graphic)
// onto a picture in the four colour modes.
//
// Everything here is plain data and free functions over it: no global mutable state, no widgets, so the
// window, the batch pipeline and velmora-batch can use it from any thread. Text is measured and drawn as on a
// 96-dpi surface whatever the screen, so a caption looks the same from the window and from the command line.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// A colour as the settings file keeps it: 24 bits with red in the low byte (65535 yellow, 32768 green).
// XOR in the caption modes works on this whole value. Bits above the low 24 are kept for writing the value
// back, but ignored when drawing.
using ColorRef = std::uint32_t;

QRgb ColorRefToRgb(ColorRef color);  // opaque
ColorRef RgbToColorRef(QRgb rgb);    // alpha dropped
QColor ColorRefToQColor(ColorRef color);
ColorRef QColorToColorRef(const QColor& color);

// The settings keys of the caption, in the order the window's table lists them.
namespace caption_key {
inline constexpr const char* Text = "podpis";
inline constexpr const char* Font = "font";
inline constexpr const char* FontSize = "font size";
inline constexpr const char* FontColor = "font color";
inline constexpr const char* FontItalic = "font italic";
inline constexpr const char* FontBold = "font bold";
inline constexpr const char* FontUnderline = "font underline";
inline constexpr const char* FontStrikeOut = "font strikeOut";
inline constexpr const char* NoBackground = "podpBezTla";
inline constexpr const char* NegativeBackground = "TloNegatywowe";
inline constexpr const char* TransparentGlyphs = "podpPrzezr";
inline constexpr const char* NegativeGlyphs = "CzcionkiNegatywowe";
inline constexpr const char* BackColor = "kolor tła podpisu";  // UTF-8
inline constexpr const char* Graphic = "dodana grafika";
}  // namespace caption_key

inline constexpr const char* kDefaultCaptionText = "Velmora";
inline constexpr const char* kDefaultCaptionFont = "Times New Roman";
inline constexpr int kDefaultCaptionFontSize = 18;
inline constexpr ColorRef kDefaultCaptionFontColor = 65535;  // yellow
inline constexpr ColorRef kDefaultCaptionBackColor = 32768;  // green 0, 128, 0
// Point sizes outside this range cannot be drawn sensibly and read as the default.
inline constexpr int kMaxCaptionFontSize = 1638;

struct CaptionSettings {
  QString Text = kDefaultCaptionText;  // "podpis"; drawn with one blank on each side
  QString FontName = kDefaultCaptionFont;
  int FontSize = kDefaultCaptionFontSize;  // points, at 96 dpi
  ColorRef FontColor = kDefaultCaptionFontColor;
  bool Italic = true;
  bool Bold = false;
  bool Underline = false;
  bool StrikeOut = false;
  ColorRef BackColor = kDefaultCaptionBackColor;  // background and outline, "kolor tła podpisu"
  bool NoBackground = false;                      // "Bez tła"
  bool NegativeBackground = false;                // "Tło negatywowe"
  bool TransparentGlyphs = false;                 // "Czcionki przezroczyste"
  bool NegativeGlyphs = false;                    // "Czcionki negatywowe"
  QString GraphicPath;                            // "dodana grafika": a .bmp file, empty for none
};

// Text value of a settings key; the empty text when the key is absent.
using CaptionKeyLookup = std::function<QString(const QString& key)>;

// Reads the caption keys with their defaults: an empty caption is "Velmora"; an empty or not installed font
// is "Times New Roman"; a size, font colour or background colour that is not an integer is 18, 65535 or
// 32768 (a size below 1 or above kMaxCaptionFontSize is 18 too); an empty "font italic" is on, the other
// empty style keys are off; a flag is on exactly when its text is "T".
CaptionSettings CaptionSettingsFromKeys(const CaptionKeyLookup& lookup);

// The keys start-up writes back, normalised, in this order: "podpis" to "font strikeOut", then
// "kolor tła podpisu". Numbers as decimal integers, flags as "T"/"N".
std::vector<std::pair<QString, QString>> NormalisedCaptionKeys(const CaptionSettings& settings);

// Whether the font database has this family (case ignored). Names fontconfig merely substitutes, such as
// "Times New Roman" here, are not installed.
bool IsFontInstalled(const QString& family);

// The caption font for a 96-dpi surface: pixel size = points * 96 / 72 rounded (18 points are 24 pixels),
// no smoothing, full hinting and no kerning, so every glyph pixel is a pixel of the text colour and the result
// does not follow the desktop's font settings.
QFont CaptionFont(const CaptionSettings& settings);

// Values of the caption mask.
inline constexpr std::uint8_t kMaskBackground = 0;
inline constexpr std::uint8_t kMaskGlyph = 1;
inline constexpr std::uint8_t kMaskOutline = 2;

// One byte per pixel, rows top to bottom. Width = TextWidth + 2, Height = TextHeight + 2.
struct CaptionMask {
  int Width = 0;
  int Height = 0;
  int TextWidth = 0;   // width of " " + caption + " " in the caption font
  int TextHeight = 0;  // height of "X" in the caption font (th)
  std::vector<std::uint8_t> Pixels;

  std::uint8_t At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

// Failures of the caption: a graphic that cannot be read, a caption too large to draw. what() is the
// program's own message in UTF-8 (QString::fromUtf8), shown as it is.
class CaptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Builds the mask: " " + caption + " " drawn unsmoothed at (1, 1) gives the glyph pixels, then the outline
// pass. Throws CaptionError when the mask would be unreasonably large.
CaptionMask RenderCaptionMask(const CaptionSettings& settings);

// The outline pass, in place: every 0 among the eight neighbours of a 1 becomes 2. Only 1s off the mask's
// border spread (a mask lower than 3 rows is left alone).
void AddCaptionOutline(CaptionMask& mask);

// Composes the mask onto the surface with its top left corner at (x + 4, y - 1) by the four mode marks, then
// draws the added graphic (read anew at each call) with its left edge at x + TextWidth and its bottom row on
// y + TextHeight - 1; the graphic's pixels of its top-left pixel's colour are transparent. Pixels outside the
// surface are skipped. A missing graphic file draws nothing; one that cannot be read as an image throws
// CaptionError ("Nie można wczytać grafiki ..."), after the mask was composed.
// A surface without its own colours (palette, grey, mono) is converted to Format_RGB32 first, so the caption
// keeps its colours.
void StampCaption(QImage& surface, int x, int y, const CaptionMask& mask, const CaptionSettings& settings);

struct LoadedGraphic;

// The prepared caption: settings and their mask, built once per setting change and then stamped on any number
// of pictures. Immutable after construction, so one stamper may serve several threads.
class CaptionStamper {
 public:
  // Its added graphic is read at each stamp, as StampCaption does.
  explicit CaptionStamper(CaptionSettings settings);
  // The stamper of one run: a copy whose added graphic is read now, once, for every later stamp on every
  // worker. A graphic that cannot be read then fails each stamp as StampCaption does, after the text.
  CaptionStamper ForRun() const;

  const CaptionSettings& Settings() const { return settings_; }
  const CaptionMask& Mask() const { return mask_; }
  // th: the height of "X" in the caption font.
  int TextHeight() const { return mask_.TextHeight; }

  void Stamp(QImage& surface, int x, int y) const;
  // The batch run's stamp after scaling: (th, height - 2 * th), near the lower left corner.
  void StampPicture(QImage& picture) const;
  // The window's preview, drawn onto a fresh copy of the stock picture: Stamp(preview, 5, y) with
  // y = (preview height - mask height) / 2, at least 1, so a mask taller than the preview starts on its top row.
  // A graphic that cannot be read throws after the text was drawn.
  void DrawPreview(QImage& preview) const;

 private:
  CaptionSettings settings_;
  CaptionMask mask_;
  std::shared_ptr<const LoadedGraphic> graphic_;  // ForRun's; null: read at each stamp
  std::string graphicError_;                      // ForRun's graphic could not be read
};

}  // namespace velmora
