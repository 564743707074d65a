#include "imaging/orientation.h"

#include <gtest/gtest.h>

#include <QImage>
#include <random>

#include "imaging/resampler.h"

namespace velmora {
namespace {

constexpr QRgb kTopLeft = 0xFFFF0000, kTopRight = 0xFF00FF00, kOther = 0xFF202020;

// Where the visual top-left and top-right corners lie in a picture stored with each orientation, by
// the Exif specification's words (orientation 6: "the 0th row is the visual right-hand side of the
// image, and the 0th column is the visual top"), for a stored picture of w x h.
struct Corners {
  QPoint topLeft, topRight;
};
Corners StoredCorners(int orientation, int w, int h) {
  switch (orientation) {
    case 2:
      return {{w - 1, 0}, {0, 0}};
    case 3:
      return {{w - 1, h - 1}, {0, h - 1}};
    case 4:
      return {{0, h - 1}, {w - 1, h - 1}};
    case 5:
      return {{0, 0}, {0, h - 1}};
    case 6:
      return {{0, h - 1}, {0, 0}};
    case 7:
      return {{w - 1, h - 1}, {w - 1, 0}};
    case 8:
      return {{w - 1, 0}, {w - 1, h - 1}};
    default:
      return {{0, 0}, {w - 1, 0}};
  }
}

QImage Marked(int orientation, int w, int h) {
  QImage stored(w, h, QImage::Format_RGB32);
  stored.fill(kOther);
  const Corners c = StoredCorners(orientation, w, h);
  stored.setPixel(c.topLeft, kTopLeft);
  stored.setPixel(c.topRight, kTopRight);
  return stored;
}

QImage Noise(int w, int h, unsigned seed) {
  QImage picture(w, h, QImage::Format_RGB32);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) picture.setPixel(x, y, 0xFF000000 | (rng() & 0xFFFFFF));
  return picture;
}

TEST(Orientation, EveryOrientationComesOutUpright) {
  // Odd sides and more than one tile, so every edge and tile border is met.
  for (const QSize stored : {QSize(7, 3), QSize(70, 45), QSize(45, 150), QSize(1, 1)}) {
    for (int o = 1; o <= 8; ++o) {
      const QImage upright = TurnUpright(Marked(o, stored.width(), stored.height()), o);
      const QSize expected = o >= 5 ? stored.transposed() : stored;
      ASSERT_EQ(upright.size(), expected) << o;
      EXPECT_EQ(UprightSize(stored, o), expected) << o;
      EXPECT_EQ(SwapsSides(o), o >= 5) << o;
      if (stored.width() == 1) continue;
      EXPECT_EQ(upright.pixel(0, 0), kTopLeft) << o;
      EXPECT_EQ(upright.pixel(expected.width() - 1, 0), kTopRight) << o;
      int marks = 0;
      for (int y = 0; y < upright.height(); ++y)
        for (int x = 0; x < upright.width(); ++x) marks += upright.pixel(x, y) != kOther;
      EXPECT_EQ(marks, 2) << o << ": every pixel once";
    }
  }
}

TEST(Orientation, OtherValuesAndFormats) {
  const QImage picture = Noise(9, 4, 1);
  for (const int o : {0, 1, 9, 255, -3}) EXPECT_EQ(TurnUpright(picture, o), picture) << o;
  // Another format is converted first; the result is RGB32 all the same.
  const QImage argb = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QImage turned = TurnUpright(argb, 6);
  EXPECT_EQ(turned.format(), QImage::Format_RGB32);
  EXPECT_EQ(turned, TurnUpright(picture, 6));
  EXPECT_TRUE(TurnUpright(QImage(), 6).isNull());
}

TEST(Orientation, TurningAfterScalingEqualsScalingTheUprightPicture) {
  // The run turns the small picture; that must give the very pixels of turning first.
  const QImage stored = Noise(97, 61, 7);
  for (int o = 1; o <= 8; ++o) {
    for (const QSize uprightTarget : {QSize(40, 25), QSize(17, 33), QSize(150, 101), QSize(61, 97)}) {
      const QImage first = scaleHalftone(TurnUpright(stored, o), uprightTarget);
      const QImage after = TurnUpright(scaleHalftone(stored, UprightSize(uprightTarget, o)), o);
      EXPECT_EQ(after, first) << o << " " << uprightTarget.width() << "x" << uprightTarget.height();
    }
  }
}

}  // namespace
}  // namespace velmora
