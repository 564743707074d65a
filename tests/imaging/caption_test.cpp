#include "imaging/caption.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHash>
#include <QTemporaryDir>
#include <climits>
#include <thread>

namespace velmora {
namespace {

constexpr QRgb kPlain = 0xFFC86432u;  // 200, 100, 50: none of the caption colours

QImage Plain(int w, int h, QRgb color = kPlain) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(color);
  return image;
}

// The composition table, row by row, with XOR done per channel on the colour reference's bytes.
QRgb ExpectedPixel(QRgb t, std::uint8_t value, const CaptionSettings& s) {
  auto xorWith = [t](ColorRef c) {
    return qRgb(qRed(t) ^ (c & 0xFF), qGreen(t) ^ ((c >> 8) & 0xFF), qBlue(t) ^ ((c >> 16) & 0xFF));
  };
  auto plain = [](ColorRef c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); };
  switch (value) {
    case kMaskGlyph:
      if (s.TransparentGlyphs) return t;
      return s.NegativeGlyphs ? xorWith(s.FontColor) : plain(s.FontColor);
    case kMaskBackground:
      if (s.NoBackground) return t;
      return s.NegativeBackground ? xorWith(s.BackColor) : plain(s.BackColor);
    case kMaskOutline:
      if (!s.NoBackground) return t;
      return s.NegativeBackground ? xorWith(s.BackColor) : plain(s.BackColor);
    default:
      return t;
  }
}

// Every pixel of `after`: the table's colour under the mask placed at (x + 4, y - 1), `before` elsewhere.
void ExpectStamped(const QImage& before, const QImage& after, int x, int y, const CaptionMask& mask,
                   const CaptionSettings& s) {
  ASSERT_EQ(before.size(), after.size());
  int wrong = 0;
  for (int py = 0; py < after.height(); ++py) {
    for (int px = 0; px < after.width(); ++px) {
      const int c = px - (x + 4);
      const int r = py - (y - 1);
      const QRgb t = before.pixel(px, py);
      const bool inside = c >= 0 && c < mask.Width && r >= 0 && r < mask.Height;
      const QRgb want = inside ? ExpectedPixel(t, mask.At(c, r), s) : t;
      if ((after.pixel(px, py) & RGB_MASK) != (want & RGB_MASK) && ++wrong <= 3) {
        ADD_FAILURE() << "pixel " << px << "," << py << " is " << std::hex << after.pixel(px, py) << " not " << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

int Count(const CaptionMask& m, std::uint8_t value) {
  return static_cast<int>(std::count(m.Pixels.begin(), m.Pixels.end(), value));
}

CaptionSettings Liberation(const QString& text, const QString& family = "Liberation Sans") {
  CaptionSettings s;
  s.Text = text;
  s.FontName = family;
  s.Italic = false;
  return s;
}

TEST(CaptionFont, PointsArePixelsOfA96DpiSurfaceWhateverTheDevice) {
  const std::pair<int, int> rows[] = {{18, 24}, {9, 12}, {11, 15}, {1, 1}, {72, 96}};
  for (auto [points, pixels] : rows) {
    CaptionSettings s;
    s.FontSize = points;
    EXPECT_EQ(CaptionFont(s).pixelSize(), pixels) << points;
  }
  // A pixel-sized font measures alike on any device, so the screen's resolution cannot creep in.
  const QFont font = CaptionFont(CaptionSettings{});
  QImage dpi96(1, 1, QImage::Format_RGB32), dpi192(1, 1, QImage::Format_RGB32);
  dpi96.setDotsPerMeterX(3780), dpi96.setDotsPerMeterY(3780);
  dpi192.setDotsPerMeterX(7560), dpi192.setDotsPerMeterY(7560);
  EXPECT_EQ(QFontMetrics(font, &dpi96).height(), QFontMetrics(font, &dpi192).height());
  EXPECT_EQ(QFontMetrics(font, &dpi96).horizontalAdvance(" Velmora "),
            QFontMetrics(font, &dpi192).horizontalAdvance(" Velmora "));
}

TEST(CaptionMask, DefaultFontIsLiberationSerifAt24Pixels) {
  const CaptionSettings s;  // "Velmora", "Times New Roman" 18 points italic
  EXPECT_EQ(QFontInfo(CaptionFont(s)).family(), QString("Liberation Serif"));
  const CaptionMask m = RenderCaptionMask(s);
  // Liberation Serif: ascent 0.891 em, descent 0.216 em, so 21 + 5 rows at 24 pixels.
  EXPECT_EQ(m.TextHeight, 26);
  EXPECT_EQ(m.Height, m.TextHeight + 2);
  EXPECT_EQ(m.Width, m.TextWidth + 2);
  EXPECT_EQ(m.Pixels.size(), static_cast<std::size_t>(m.Width) * m.Height);
  // Seven letters of 24 pixels with two blanks: wider than the letters alone, not wildly so.
  EXPECT_GT(m.TextWidth, 70);
  EXPECT_LT(m.TextWidth, 130);
  EXPECT_GT(Count(m, kMaskGlyph), 200);
  EXPECT_EQ(Count(m, kMaskBackground) + Count(m, kMaskGlyph) + Count(m, kMaskOutline), m.Width * m.Height);
}

TEST(CaptionMask, SansCapitalIIsOneBarWithAOnePixelRing) {
  // "I" of a sans font is a plain rectangle: its glyph pixels and ring can be checked exactly.
  const CaptionSettings s = Liberation("I");
  const CaptionMask m = RenderCaptionMask(s);
  QImage probe(1, 1, QImage::Format_RGB32);
  probe.setDotsPerMeterX(3780), probe.setDotsPerMeterY(3780);
  const QFontMetrics fm(CaptionFont(s), &probe);
  EXPECT_EQ(m.TextWidth, fm.horizontalAdvance(" I "));
  EXPECT_EQ(m.TextHeight, fm.height());

  int left = m.Width, right = -1, top = m.Height, bottom = -1;
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      if (m.At(x, y) == kMaskGlyph) {
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
  ASSERT_GE(right, left);
  // Drawn at (1, 1): the bar stands on the baseline, after the leading blank, and is about a cap high.
  EXPECT_EQ(bottom, 1 + fm.ascent() - 1);
  EXPECT_GE(left, 1 + fm.horizontalAdvance(" "));
  EXPECT_NEAR(bottom - top + 1, 17, 1);  // cap height 0.729 em of 24 pixels
  for (int y = 0; y < m.Height; ++y) {
    for (int x = 0; x < m.Width; ++x) {
      const bool bar = x >= left && x <= right && y >= top && y <= bottom;
      const bool ring = !bar && x >= left - 1 && x <= right + 1 && y >= top - 1 && y <= bottom + 1;
      const std::uint8_t want = bar ? kMaskGlyph : ring ? kMaskOutline : kMaskBackground;
      ASSERT_EQ(m.At(x, y), want) << x << "," << y;
    }
  }
}

TEST(CaptionMask, OutlineTouchesEveryGlyphAndOnlyGlyphs) {
  CaptionSettings bold = Liberation("Żółw gęś 1/2", "DejaVu Sans");
  bold.Bold = bold.Underline = true;
  CaptionSettings struck;
  struck.StrikeOut = true;
  struck.FontSize = 9;
  const CaptionSettings cases[] = {CaptionSettings{}, bold, struck, Liberation("Velmora", "Liberation Mono")};
  for (const CaptionSettings& s : cases) {
    SCOPED_TRACE(s.Text.toStdString());
    const CaptionMask m = RenderCaptionMask(s);
    ASSERT_GT(Count(m, kMaskGlyph), 0);
    ASSERT_GT(Count(m, kMaskOutline), 0);
    for (int y = 0; y < m.Height; ++y) {
      for (int x = 0; x < m.Width; ++x) {
        bool nearGlyph = false, nearInnerGlyph = false;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if ((dx || dy) && nx >= 0 && ny >= 0 && nx < m.Width && ny < m.Height && m.At(nx, ny) == kMaskGlyph) {
              nearGlyph = true;
              // Glyph pixels on the mask's border do not spread.
              if (nx >= 1 && ny >= 1 && nx <= m.Width - 2 && ny <= m.Height - 2) nearInnerGlyph = true;
            }
          }
        if (m.At(x, y) == kMaskOutline) {
          ASSERT_TRUE(nearGlyph) << "stray outline at " << x << "," << y;
        }
        if (m.At(x, y) == kMaskBackground) {
          ASSERT_FALSE(nearInnerGlyph) << "background touches glyph " << x << "," << y;
        }
      }
    }
  }
}

TEST(CaptionMask, OutlinePassSpreadsOnlyInteriorGlyphsOverBackground) {
  CaptionMask m;
  m.Width = 5, m.Height = 4;
  // clang-format off
  m.Pixels = {1, 0, 0, 0, 0,
              0, 0, 0, 0, 7,
              0, 0, 0, 1, 0,
              0, 0, 0, 0, 0};
  // clang-format on
  AddCaptionOutline(m);
  // clang-format off
  const std::vector<std::uint8_t> want = {1, 0, 0, 0, 0,
                                          0, 0, 2, 2, 7,
                                          0, 0, 2, 1, 2,
                                          0, 0, 2, 2, 2};
  // clang-format on
  EXPECT_EQ(m.Pixels, want);
  CaptionMask flat;
  flat.Width = 3, flat.Height = 2, flat.Pixels = {0, 1, 0, 0, 0, 0};
  AddCaptionOutline(flat);
  EXPECT_EQ(flat.Pixels, (std::vector<std::uint8_t>{0, 1, 0, 0, 0, 0}));
}

TEST(CaptionMask, BlanksOnlyGiveAPlainBox) {
  CaptionSettings s;
  s.Text = "   ";
  const CaptionMask m = RenderCaptionMask(s);
  EXPECT_EQ(Count(m, kMaskBackground), m.Width * m.Height);
  EXPECT_GT(m.Width, 2 + 10);

  QImage boxed = Plain(m.Width + 20, 60);
  StampCaption(boxed, 0, 10, m, s);
  for (int y = 9; y < 9 + m.Height; ++y)
    for (int x = 4; x < 4 + m.Width; ++x) ASSERT_EQ(boxed.pixel(x, y), 0xFF008000u) << x << "," << y;
  s.NoBackground = true;
  QImage bare = Plain(m.Width + 20, 60);
  StampCaption(bare, 0, 10, m, s);
  EXPECT_EQ(bare, Plain(m.Width + 20, 60));
}

TEST(StampCaption, EveryCombinationOfTheFourModesFollowsTheTable) {
  const CaptionMask m = RenderCaptionMask(CaptionSettings{});
  for (int bits = 0; bits < 16; ++bits) {
    CaptionSettings s;
    s.TransparentGlyphs = bits & 1, s.NegativeGlyphs = bits & 2, s.NoBackground = bits & 4,
    s.NegativeBackground = bits & 8;
    s.FontColor = 0x123456, s.BackColor = 0xA0B0C0;
    SCOPED_TRACE(bits);
    // A gradient so XOR and "unchanged" cannot pass by accident on a single colour.
    QImage before(m.Width + 30, m.Height + 20, QImage::Format_RGB32);
    for (int y = 0; y < before.height(); ++y)
      for (int x = 0; x < before.width(); ++x) before.setPixel(x, y, qRgb(x * 2, y * 5, 255 - x));
    QImage after = before;
    StampCaption(after, 7, 9, m, s);
    ExpectStamped(before, after, 7, 9, m, s);
  }
}

TEST(StampCaption, NamedCasesOfTheModes) {
  const CaptionMask m = RenderCaptionMask(CaptionSettings{});
  struct Row {
    const char* name;
    bool transparent, negativeGlyphs, noBackground, negativeBackground;
    QRgb picture, glyph, background, outline;
  };
  const Row rows[] = {
      // Default: yellow letters in a green box, each ringed by unchanged picture pixels.
      {"default", false, false, false, false, kPlain, 0xFFFFFF00u, 0xFF008000u, kPlain},
      // Hollow letters: only the ring is painted.
      {"hollow", true, false, true, false, kPlain, kPlain, kPlain, 0xFF008000u},
      // White XOR 65535 leaves blue 255.
      {"negative glyphs on white", false, true, false, false, 0xFFFFFFFFu, 0xFF0000FFu, 0xFF008000u, 0xFFFFFFFFu},
      {"negative box on white", false, false, false, true, 0xFFFFFFFFu, 0xFFFFFF00u, 0xFFFF7FFFu, 0xFFFFFFFFu},
      {"negative ring, no box", true, false, true, true, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFF7FFFu},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CaptionSettings s;
    s.TransparentGlyphs = row.transparent, s.NegativeGlyphs = row.negativeGlyphs, s.NoBackground = row.noBackground;
    s.NegativeBackground = row.negativeBackground;
    QImage picture = Plain(m.Width + 10, m.Height + 10, row.picture);
    StampCaption(picture, 0, 1, m, s);
    const QRgb byValue[3] = {row.background, row.glyph, row.outline};
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; ++x) ASSERT_EQ(picture.pixel(x + 4, y), byValue[m.At(x, y)]) << x << "," << y;
  }
}

TEST(StampCaption, BatchPlacementAndClipping) {
  const CaptionStamper stamper{CaptionSettings{}};
  const CaptionMask& m = stamper.Mask();
  const int th = stamper.TextHeight();
  ASSERT_EQ(th, m.TextHeight);

  QImage picture = Plain(400, 300);
  stamper.StampPicture(picture);
  int left = picture.width(), right = -1, top = picture.height(), bottom = -1;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      if (picture.pixel(x, y) != kPlain) {
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
  EXPECT_EQ(top, 300 - 2 * th - 1);
  EXPECT_EQ(bottom, 300 - th);
  EXPECT_EQ(left, th + 4);
  EXPECT_EQ(right, th + 4 + m.Width - 1);

  // Pictures lower than 2 * th or narrower than the mask: cut at the edges, nothing else touched.
  const QSize small[] = {{60, th}, {30, 2 * th - 3}, {1, 1}, {m.Width / 2, 5}};
  for (const QSize& size : small) {
    SCOPED_TRACE(size.width() * 1000 + size.height());
    const QImage before = Plain(size.width(), size.height());
    QImage after = before;
    stamper.StampPicture(after);
    ExpectStamped(before, after, th, size.height() - 2 * th, m, stamper.Settings());
  }
  QImage empty;
  stamper.StampPicture(empty);
  EXPECT_TRUE(empty.isNull());
}

TEST(StampCaption, PreviewIsCentredButNeverAboveRowOne) {
  struct Row {
    int points;
    bool tall;
  };
  for (const Row row : {Row{18, false}, Row{26, true}, Row{48, true}}) {
    CaptionSettings s;
    s.FontSize = row.points;
    const CaptionStamper stamper{s};
    const int h = stamper.Mask().Height;
    SCOPED_TRACE(h);
    ASSERT_EQ(h >= 35, row.tall);
    const QImage before = Plain(133, 37);
    QImage preview = before;
    stamper.DrawPreview(preview);
    const int y = row.tall ? 1 : (37 - h) / 2;
    ExpectStamped(before, preview, 5, y, stamper.Mask(), s);
    if (row.tall) {
      EXPECT_NE(preview.pixel(9, 0), kPlain) << "the mask's top row is the preview's top row";
    }
  }
}

TEST(StampCaption, SurfacesOfOtherFormatsKeepTheCaptionColours) {
  const CaptionSettings s;
  const CaptionMask m = RenderCaptionMask(s);
  QImage reference = Plain(m.Width + 10, m.Height + 4, 0xFF808080u);
  StampCaption(reference, 0, 2, m, s);
  for (QImage::Format format :
       {QImage::Format_RGB888, QImage::Format_ARGB32, QImage::Format_Grayscale8, QImage::Format_Indexed8}) {
    SCOPED_TRACE(format);
    QImage picture = Plain(m.Width + 10, m.Height + 4, 0xFF808080u).convertToFormat(format);
    StampCaption(picture, 0, 2, m, s);
    EXPECT_EQ(picture.convertToFormat(QImage::Format_RGB32), reference);
  }
}

class CaptionGraphic : public testing::Test {
 protected:
  // A 5 x 3 bitmap: its top-left pixel is the key colour; every key-coloured pixel is transparent.
  QString WriteBmp(const char* name, QRgb key) {
    QImage g(5, 3, QImage::Format_RGB32);
    g.fill(key);
    g.setPixel(1, 0, qRgb(255, 0, 0));
    g.setPixel(4, 2, qRgb(0, 0, 255));
    g.setPixel(2, 1, key == 0xFFFFFFFFu ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const QString path = dir.filePath(name);
    EXPECT_TRUE(g.save(path, "BMP"));
    return path;
  }

  QTemporaryDir dir;
  CaptionSettings settings = [] {
    CaptionSettings s;
    s.TransparentGlyphs = true, s.NoBackground = true, s.NegativeBackground = true;
    s.BackColor = 0;  // XOR with 0: the text leaves the picture as it was
    return s;
  }();
};

TEST_F(CaptionGraphic, KeyColourIsTransparentAndBottomRowSitsOnTheTextLine) {
  const CaptionMask m = RenderCaptionMask(settings);
  for (QRgb key : {0xFFFFFFFFu, 0xFF000000u}) {
    SCOPED_TRACE(key);
    settings.GraphicPath = WriteBmp("g.bmp", key);
    QImage picture = Plain(m.Width + 40, 80);
    const int x = 3, y = 40;
    StampCaption(picture, x, y, m, settings);
    const int gx = x + m.TextWidth, gy = y + m.TextHeight - 3;
    const QRgb other = key == 0xFFFFFFFFu ? 0xFF000000u : 0xFFFFFFFFu;
    for (int py = 0; py < picture.height(); ++py) {
      for (int px = 0; px < picture.width(); ++px) {
        QRgb want = kPlain;
        if (px == gx + 1 && py == gy) want = 0xFFFF0000u;
        if (px == gx + 4 && py == gy + 2) want = 0xFF0000FFu;
        if (px == gx + 2 && py == gy + 1) want = other;
        ASSERT_EQ(picture.pixel(px, py), want) << px << "," << py;
      }
    }
    EXPECT_EQ(gy + 2, y + m.TextHeight - 1);
  }
}

TEST_F(CaptionGraphic, ClippedAtThePictureEdges) {
  const CaptionMask m = RenderCaptionMask(settings);
  settings.GraphicPath = WriteBmp("g.bmp", 0xFFFFFFFFu);
  // The red pixel, column x + TextWidth + 1, is the last column; the bottom row lies below the picture.
  QImage picture = Plain(m.TextWidth + 2, 10);
  StampCaption(picture, 0, 10 - m.TextHeight + 1, m, settings);
  EXPECT_EQ(picture.pixel(m.TextWidth + 1, 8), 0xFFFF0000u);
  EXPECT_EQ(picture.pixel(m.TextWidth + 1, 9), kPlain);
  QImage tiny = Plain(1, 1);
  for (auto [x, y] : {std::pair{-1000, 1000}, {INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}, {INT_MIN, INT_MIN}}) {
    StampCaption(tiny, x, y, m, settings);
    EXPECT_EQ(tiny.pixel(0, 0), kPlain);
  }
}

TEST_F(CaptionGraphic, MissingFileDrawsNothingUnreadableFileFails) {
  CaptionSettings s;  // default modes: the caption box itself is drawn
  const CaptionMask m = RenderCaptionMask(s);
  const QImage clean = Plain(m.Width + 40, 60);
  for (const QString& path : {dir.filePath("missing.bmp"), dir.path()}) {
    s.GraphicPath = path;
    QImage picture = clean;
    EXPECT_NO_THROW(StampCaption(picture, 0, 10, m, s));
    ExpectStamped(clean, picture, 0, 10, m, s);
  }

  QFile junk(dir.filePath("junk.bmp"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("BM this is not a bitmap");
  junk.close();
  s.GraphicPath = junk.fileName();
  QImage picture = clean;
  try {
    StampCaption(picture, 0, 10, m, s);
    ADD_FAILURE() << "no exception";
  } catch (const CaptionError& e) {
    EXPECT_EQ(QString::fromUtf8(e.what()), QString("Nie można wczytać grafiki \"%1\"").arg(junk.fileName()));
  }
  // The text was drawn before the graphic failed, as the preview shows it.
  ExpectStamped(clean, picture, 0, 10, m, s);
}

// A run's stamper reads its graphic once: what happens to the file later changes none of its stamps; one
// unreadable then fails every stamp as StampCaption does.
TEST_F(CaptionGraphic, ARunsStamperReadsItsGraphicOnce) {
  settings.GraphicPath = WriteBmp("g.bmp", 0xFFFFFFFFu);
  const CaptionStamper stamper(settings), run = stamper.ForRun();
  QImage expected = Plain(200, 100), picture = expected;
  stamper.StampPicture(expected);
  QFile junk(settings.GraphicPath);
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("BM junk") == 7 && junk.flush());
  run.StampPicture(picture);
  EXPECT_EQ(picture, expected);
  const CaptionStamper broken = stamper.ForRun();
  WriteBmp("g.bmp", 0xFFFFFFFFu);  // readable again: each run keeps what it read
  EXPECT_THROW(broken.StampPicture(picture), CaptionError);
}

TEST(CaptionStamper, TooLargeACaptionFailsWithAMessage) {
  CaptionSettings s;
  s.FontSize = kMaxCaptionFontSize;
  s.Text = QString(255, QChar('W'));
  EXPECT_THROW(CaptionStamper{s}, CaptionError);
}

TEST(CaptionStamper, WorkerThreadsDrawTheSameCaption) {
  CaptionSettings s;
  s.Text = "Wątek";
  const CaptionStamper here{s};
  QImage expected = Plain(300, 100);
  here.StampPicture(expected);
  QImage results[2] = {Plain(300, 100), Plain(300, 100)};
  std::thread workers[2];
  for (int i = 0; i < 2; ++i) {
    workers[i] = std::thread([&s, &results, i] {
      const CaptionStamper there{s};
      there.StampPicture(results[i]);
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(results[0], expected);
  EXPECT_EQ(results[1], expected);
}

TEST(CaptionSettings, FromKeysAppliesDefaultsAndFallbacks) {
  CaptionSettings d = CaptionSettingsFromKeys([](const QString&) { return QString(); });
  EXPECT_EQ(d.Text, QString("Velmora"));
  EXPECT_EQ(d.FontName, QString("Times New Roman"));
  EXPECT_EQ(d.FontSize, 18);
  EXPECT_EQ(d.FontColor, 65535u);
  EXPECT_EQ(d.BackColor, 32768u);
  EXPECT_TRUE(d.Italic);
  EXPECT_FALSE(d.Bold || d.Underline || d.StrikeOut);
  EXPECT_FALSE(d.NoBackground || d.NegativeBackground || d.TransparentGlyphs || d.NegativeGlyphs);
  EXPECT_TRUE(d.GraphicPath.isEmpty());

  struct Row {
    const char* key;
    const char* value;
    std::function<bool(const CaptionSettings&)> holds;
  };
  const Row rows[] = {
      {"podpis", "  ", [](auto& s) { return s.Text == "  "; }},
      {"podpis", "Łódź 2024", [](auto& s) { return s.Text == QString("Łódź 2024"); }},
      {"font", "Liberation Sans", [](auto& s) { return s.FontName == "Liberation Sans"; }},
      {"font", "No Such Font Here", [](auto& s) { return s.FontName == "Times New Roman"; }},
      {"font size", "12", [](auto& s) { return s.FontSize == 12; }},
      {"font size", "12.5", [](auto& s) { return s.FontSize == 18; }},
      {"font size", "abc", [](auto& s) { return s.FontSize == 18; }},
      {"font size", "0", [](auto& s) { return s.FontSize == 18; }},
      {"font size", "-7", [](auto& s) { return s.FontSize == 18; }},
      {"font size", "1000000", [](auto& s) { return s.FontSize == 18; }},
      {"font color", "255", [](auto& s) { return s.FontColor == 255u; }},
      {"font color", "x", [](auto& s) { return s.FontColor == 65535u; }},
      {"font color", "-1", [](auto& s) { return s.FontColor == 0xFFFFFFFFu; }},
      {"kolor tła podpisu", "16711680", [](auto& s) { return s.BackColor == 0xFF0000u; }},
      {"kolor tła podpisu", "zielony", [](auto& s) { return s.BackColor == 32768u; }},
      {"font italic", "N", [](auto& s) { return !s.Italic; }},
      {"font italic", "t", [](auto& s) { return !s.Italic; }},
      {"font bold", "T", [](auto& s) { return s.Bold; }},
      {"font underline", "T", [](auto& s) { return s.Underline; }},
      {"font strikeOut", "T", [](auto& s) { return s.StrikeOut; }},
      {"podpBezTla", "T", [](auto& s) { return s.NoBackground && !s.NegativeBackground; }},
      {"TloNegatywowe", "T", [](auto& s) { return s.NegativeBackground && !s.NoBackground; }},
      {"podpPrzezr", "T", [](auto& s) { return s.TransparentGlyphs && !s.NegativeGlyphs; }},
      {"CzcionkiNegatywowe", "T", [](auto& s) { return s.NegativeGlyphs && !s.TransparentGlyphs; }},
      {"CzcionkiNegatywowe", "Y", [](auto& s) { return !s.NegativeGlyphs; }},
      {"dodana grafika", "/tmp/a.bmp", [](auto& s) { return s.GraphicPath == "/tmp/a.bmp"; }},
  };
  for (const Row& row : rows) {
    const QString key = QString::fromUtf8(row.key), value = QString::fromUtf8(row.value);
    const CaptionSettings s = CaptionSettingsFromKeys([&](const QString& k) { return k == key ? value : QString(); });
    EXPECT_TRUE(row.holds(s)) << row.key << " = " << row.value;
  }
}

TEST(CaptionSettings, NormalisedKeysRoundTrip) {
  QHash<QString, QString> store{{"font color", "-1"}, {"font size", "bogus"}, {"font bold", "T"}};
  const CaptionSettings s = CaptionSettingsFromKeys([&](const QString& k) { return store.value(k); });
  const auto keys = NormalisedCaptionKeys(s);
  const std::vector<std::pair<QString, QString>> want = {
      {"podpis", "Velmora"},   {"font", "Times New Roman"}, {"font size", "18"},
      {"font color", "-1"},    {"font italic", "T"},        {"font bold", "T"},
      {"font underline", "N"}, {"font strikeOut", "N"},     {QString::fromUtf8("kolor tła podpisu"), "32768"},
  };
  EXPECT_EQ(keys, want);
  for (const auto& [k, v] : keys) store.insert(k, v);
  const CaptionSettings again = CaptionSettingsFromKeys([&](const QString& k) { return store.value(k); });
  EXPECT_EQ(NormalisedCaptionKeys(again), keys);
}

TEST(ColorRef, RedInTheLowByte) {
  EXPECT_EQ(ColorRefToQColor(65535), QColor(255, 255, 0));
  EXPECT_EQ(ColorRefToQColor(32768), QColor(0, 128, 0));
  EXPECT_EQ(ColorRefToQColor(0xFF123456u), QColor(0x56, 0x34, 0x12));
  EXPECT_EQ(QColorToColorRef(QColor(0, 0, 255)), 0xFF0000u);
  EXPECT_EQ(RgbToColorRef(qRgba(1, 2, 3, 4)), 0x030201u);
}

}  // namespace
}  // namespace velmora
