#include "imaging/resampler.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

#include "imaging/imagingerror.h"

namespace velmora {

// For the test names (found by argument lookup, so outside the unnamed namespace).
void PrintTo(ResamplePath path, std::ostream* os) {
  *os << (path == ResamplePath::kScalar   ? "Scalar"
          : path == ResamplePath::kSse    ? "Sse"
          : path == ResamplePath::kAvx2   ? "Avx2"
          : path == ResamplePath::kAvx512 ? "Avx512"
                                          : "Simd");
}

namespace {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bytes;  // exactly width * height * 4, so ASan sees any read past the end
  std::uint8_t at(int x, int y, int c) const { return bytes[(static_cast<std::size_t>(y) * width + x) * 4 + c]; }
};

Picture randomPicture(int width, int height, unsigned seed) {
  Picture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
  std::mt19937 rng(seed);
  for (auto& b : p.bytes) b = static_cast<std::uint8_t>(rng() & 0xFF);
  return p;
}

Picture scale(const Picture& src, int width, int height, ResamplePath path) {
  Picture out{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
  resampleHalftone(src.bytes.data(), src.width * 4, src.width, src.height, out.bytes.data(), width * 4, width, height,
                   path);
  return out;
}

// The reference halftone stretch in doubles, one axis at a time: the area each source pixel shares
// with the target pixel when reducing, linear interpolation between pixel centres when enlarging.
std::vector<std::pair<int, double>> referenceWeights(int src, int dst, int i) {
  std::vector<std::pair<int, double>> w;
  if (src == dst) {
    w.emplace_back(i, 1.0);
  } else if (dst < src) {
    const double lo = static_cast<double>(i) * src / dst, hi = static_cast<double>(i + 1) * src / dst;
    for (int x = static_cast<int>(lo); x < src && x < hi; ++x) {
      const double overlap = std::min<double>(hi, x + 1) - std::max<double>(lo, x);
      if (overlap > 0) w.emplace_back(x, overlap);
    }
  } else {
    const double pos = std::clamp((i + 0.5) * src / dst - 0.5, 0.0, static_cast<double>(src - 1));
    const int x0 = static_cast<int>(std::floor(pos));
    const int x1 = std::min(x0 + 1, src - 1);
    w.emplace_back(x0, 1.0 - (pos - x0));
    w.emplace_back(x1, pos - x0);
  }
  return w;
}

// Largest distance of any output channel from the reference.
double maxError(const Picture& src, const Picture& out) {
  std::vector<std::vector<std::pair<int, double>>> wx(out.width), wy(out.height);
  for (int x = 0; x < out.width; ++x) wx[x] = referenceWeights(src.width, out.width, x);
  for (int y = 0; y < out.height; ++y) wy[y] = referenceWeights(src.height, out.height, y);
  double worst = 0;
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      for (int c = 0; c < 4; ++c) {
        double sum = 0, total = 0;
        for (const auto& [sy, vy] : wy[y]) {
          for (const auto& [sx, vx] : wx[x]) {
            sum += vx * vy * src.at(sx, sy, c);
            total += vx * vy;
          }
        }
        worst = std::max(worst, std::abs(out.at(x, y, c) - sum / total));
      }
    }
  }
  return worst;
}

struct Case {
  int srcW, srcH, dstW, dstH;
};

// Reductions, enlargements, one axis of each, identity, and the thin and single-pixel shapes.
const Case kCases[] = {
    {64, 48, 17, 13}, {100, 75, 31, 23}, {37, 23, 10, 7}, {640, 480, 127, 95}, {9, 9, 1, 1},
    {13, 1, 4, 1},    {1, 13, 1, 5},     {1, 1, 1, 1},    {1, 1, 6, 4},        {7, 5, 23, 19},
    {3, 2, 1280, 2},  {1, 9, 5, 30},     {50, 4, 7, 11},  {16, 16, 16, 16},    {257, 3, 256, 3},
};

// Every rule holds on the plain loops and on each vector code alike.
class ResamplerOnPath : public testing::TestWithParam<ResamplePath> {
 protected:
  void SetUp() override {
    if (!resamplePathRuns(GetParam())) GTEST_SKIP() << "the processor lacks this path's instructions";
  }
};
INSTANTIATE_TEST_SUITE_P(Paths, ResamplerOnPath,
                         testing::Values(ResamplePath::kScalar, ResamplePath::kSse, ResamplePath::kAvx2,
                                         ResamplePath::kAvx512),
                         testing::PrintToStringParamName());

TEST_P(ResamplerOnPath, ConstantPictureStaysConstant) {
  unsigned seed = 1;
  for (const Case& c : kCases) {
    Picture src = randomPicture(c.srcW, c.srcH, seed++);
    const std::uint8_t colour[4] = {src.bytes[0], src.bytes[1], src.bytes[2], 0xFF};
    for (std::size_t i = 0; i < src.bytes.size(); ++i) src.bytes[i] = colour[i % 4];
    const Picture out = scale(src, c.dstW, c.dstH, GetParam());
    for (std::size_t i = 0; i < out.bytes.size(); ++i) {
      ASSERT_EQ(out.bytes[i], colour[i % 4]) << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH;
    }
  }
}

TEST_P(ResamplerOnPath, WholeRatiosGiveTheRoundedBoxAverage) {
  for (int k : {2, 3, 4}) {
    const Picture src = randomPicture(12 * k, 7 * k, 100 + k);
    const Picture out = scale(src, 12, 7, GetParam());
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 12; ++x) {
        for (int c = 0; c < 4; ++c) {
          int sum = 0;
          for (int j = 0; j < k; ++j) {
            for (int i = 0; i < k; ++i) sum += src.at(x * k + i, y * k + j, c);
          }
          ASSERT_EQ(out.at(x, y, c), (2 * sum + k * k) / (2 * k * k)) << "k=" << k << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST_P(ResamplerOnPath, EveryShapeIsTheRoundedReference) {
  // Weights are exact integers, so the result is the reference rounded: within half a level (the
  // halftone promise is within 1).
  unsigned seed = 50;
  for (const Case& c : kCases) {
    const Picture src = randomPicture(c.srcW, c.srcH, seed++);
    const Picture out = scale(src, c.dstW, c.dstH, GetParam());
    EXPECT_LE(maxError(src, out), 0.5 + 1e-9) << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH;
  }
}

TEST_P(ResamplerOnPath, LargeTotalWeightTakesTheWideAccumulators) {
  // 4099 * 2 * 1500 makes a total weight above 2^23, past the 32-bit accumulators.
  const Picture src = randomPicture(4099, 2, 7);
  const Picture out = scale(src, 2, 1500, GetParam());
  EXPECT_LE(maxError(src, out), 0.5 + 1e-9);
}

TEST_P(ResamplerOnPath, WritesNothingOutsideTheTargetRows) {
  const int guard = 64, w = 13, h = 9, stride = w * 4 + 12;
  std::vector<std::uint8_t> buffer(guard + static_cast<std::size_t>(stride) * h + guard, 0xA5);
  const Picture src = randomPicture(40, 31, 3);
  resampleHalftone(src.bytes.data(), src.width * 4, src.width, src.height, buffer.data() + guard, stride, w, h,
                   GetParam());
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    const bool inside =
        i >= guard && i < buffer.size() - guard && (i - guard) % stride < static_cast<std::size_t>(w) * 4;
    if (!inside) {
      ASSERT_EQ(buffer[i], 0xA5) << "byte " << i;
    }
  }
}

// Serves each row from kHeldRows buffers in turn, the oldest overwritten at every request, and checks
// the order.
class HeldRowsOnly : public RowSource {
 public:
  explicit HeldRowsOnly(const Picture& p) : p_(p) {
    for (auto& row : rows_) row.resize(static_cast<std::size_t>(p.width) * 4);
  }
  const std::uint8_t* row(int y) override {
    EXPECT_GE(y, last_);
    EXPECT_LT(y, p_.height);
    last_ = y;
    std::vector<std::uint8_t>& row = rows_[next_++ % kHeldRows];
    std::copy_n(p_.bytes.begin() + static_cast<std::ptrdiff_t>(y) * p_.width * 4, row.size(), row.begin());
    return row.data();
  }

 private:
  const Picture& p_;
  std::vector<std::uint8_t> rows_[kHeldRows];
  int last_ = 0;
  unsigned next_ = 0;
};

TEST_P(ResamplerOnPath, StreamedRowsGiveTheSameResult) {
  for (const Case& c : kCases) {
    const Picture src = randomPicture(c.srcW, c.srcH, 9);
    const Picture expected = scale(src, c.dstW, c.dstH, GetParam());
    Picture out{c.dstW, c.dstH, std::vector<std::uint8_t>(expected.bytes.size())};
    HeldRowsOnly rows(src);
    resampleHalftone(rows, c.srcW, c.srcH, out.bytes.data(), c.dstW * 4, c.dstW, c.dstH, GetParam());
    EXPECT_EQ(out.bytes, expected.bytes) << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH;
  }
}

TEST(ResamplerPaths, GiveTheSameBytes) {
  // Besides the shapes above: reductions whose spans need one to five groups of four taps (one to
  // three of eight), widths whose last group is moved left from the row's end, rows narrower
  // than eight pixels, and spans of a dozen rows, their middle rows summed in several groups.
  std::vector<Case> cases(std::begin(kCases), std::end(kCases));
  cases.insert(cases.end(), {{6000, 5, 1280, 3},
                             {4000, 6, 1280, 2},
                             {500, 3, 53, 2},
                             {613, 4, 40, 2},
                             {1001, 9, 997, 5},
                             {4099, 2, 2, 1500},
                             {5, 40, 3, 7},
                             {8, 3, 1, 2},
                             {23, 2, 2, 1},
                             {3001, 7, 958, 3},
                             {1001, 40, 97, 3}});
  unsigned seed = 200;
  for (const Case& c : cases) {
    const Picture src = randomPicture(c.srcW, c.srcH, seed++);
    const Picture plain = scale(src, c.dstW, c.dstH, ResamplePath::kScalar);
    // A path the processor lacks is skipped by the tests above, and named there.
    for (const ResamplePath path :
         {ResamplePath::kSse, ResamplePath::kAvx2, ResamplePath::kAvx512, ResamplePath::kSimd}) {
      if (!resamplePathRuns(path)) continue;
      EXPECT_EQ(scale(src, c.dstW, c.dstH, path).bytes, plain.bytes)
          << testing::PrintToString(path) << ": " << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH;
    }
  }
}

TEST(ResamplerPaths, VelmoraNoSimdChoosesThePlainLoops) {
  const std::pair<const char*, ResamplePath> kValues[] = {
      {nullptr, ResamplePath::kSimd}, {"", ResamplePath::kSimd},     {"0", ResamplePath::kSimd},
      {"1", ResamplePath::kScalar},   {"00", ResamplePath::kScalar}, {"yes", ResamplePath::kScalar}};
  for (const auto& [value, path] : kValues) EXPECT_EQ(resamplePathFor(value), path) << (value ? value : "(unset)");
}

TEST(Resampler, RefusesEmptySides) {
  const Picture src = randomPicture(4, 4, 1);
  std::vector<std::uint8_t> out(64);
  for (const Case& c : {Case{0, 4, 2, 2}, Case{4, 4, 0, 2}, Case{4, -1, 2, 2}, Case{4, 4, 2, 0}}) {
    EXPECT_THROW(resampleHalftone(src.bytes.data(), 16, c.srcW, c.srcH, out.data(), 8, c.dstW, c.dstH), ImagingError);
  }
  EXPECT_THROW(scaleHalftone(QImage(4, 4, QImage::Format_RGB32), QSize(0, 3)), ImagingError);
}

TEST(Resampler, QImageOfAnyFormatComesOutAsRgb32) {
  QImage grey(8, 6, QImage::Format_Grayscale8);
  grey.fill(QColor(77, 77, 77));
  const QImage out = scaleHalftone(grey, QSize(3, 2));
  ASSERT_EQ(out.format(), QImage::Format_RGB32);
  ASSERT_EQ(out.size(), QSize(3, 2));
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(out.pixel(x, y), qRgb(77, 77, 77));
  }
}

TEST(Resampler, SixteenBitsAreReducedToEightAfterScaling) {
  // Every shape against the reference on the 16-bit values, rounded to 8 bits once: within half a level.
  std::mt19937 rng(7);
  for (const Case& c : kCases) {
    QImage src(c.srcW, c.srcH, QImage::Format_RGBA64);
    for (int y = 0; y < c.srcH; ++y) {
      auto* p = reinterpret_cast<std::uint16_t*>(src.scanLine(y));
      for (int i = 0; i < c.srcW * 4; ++i) p[i] = i % 4 == 3 ? 65535 : static_cast<std::uint16_t>(rng());
    }
    const QImage out = scaleHalftone(src, QSize(c.dstW, c.dstH));
    ASSERT_EQ(out.format(), QImage::Format_RGB32);
    double worst = 0;
    for (int y = 0; y < c.dstH; ++y) {
      for (int x = 0; x < c.dstW; ++x) {
        for (int ch = 0; ch < 3; ++ch) {
          double sum = 0, total = 0;
          for (const auto& [sy, vy] : referenceWeights(c.srcH, c.dstH, y))
            for (const auto& [sx, vx] : referenceWeights(c.srcW, c.dstW, x)) {
              sum += vx * vy * reinterpret_cast<const std::uint16_t*>(src.constScanLine(sy))[sx * 4 + ch];
              total += vx * vy;
            }
          const QRgb got = out.pixel(x, y);
          const int value = ch == 0 ? qRed(got) : ch == 1 ? qGreen(got) : qBlue(got);
          worst = std::max(worst, std::abs(value - sum / total / 257));
        }
      }
    }
    EXPECT_LE(worst, 0.5 + 1e-9) << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH;
  }
  // 0.45, 0.45 and 0.75 of a level average 0.55: one level, where rounding each first would give 0.
  QImage three(3, 1, QImage::Format_RGBA64);
  auto* p = reinterpret_cast<std::uint16_t*>(three.scanLine(0));
  for (const int x : {0, 1, 2})
    for (const int ch : {0, 1, 2, 3}) p[x * 4 + ch] = ch == 3 ? 65535 : x < 2 ? 116 : 193;
  EXPECT_EQ(qRed(scaleHalftone(three, QSize(1, 1)).pixel(0, 0)), 1);
}

}  // namespace
}  // namespace velmora
