#include "imaging/sharpen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace velmora {

namespace {

// Luminance carries 8 fraction bits; weights 12.
constexpr int kWeightBits = 12;
constexpr int kWeightOne = 1 << kWeightBits;

struct FixedMask {
  std::int32_t side;    // weight of each neighbour of the 3-tap blur
  std::int32_t centre;  // kWeightOne - 2 * side
  std::int32_t amount;  // of 256
};

FixedMask Fixed(const UnsharpMask& mask) {
  // The taps at distance 2 of a Gaussian of sigma 0.8 hold 2 % of the weight: three taps suffice.
  const double g1 = std::exp(-1.0 / (2.0 * mask.radius * mask.radius));
  const auto side = static_cast<std::int32_t>(std::lround(kWeightOne * g1 / (1.0 + 2.0 * g1)));
  return {side, kWeightOne - 2 * side, static_cast<std::int32_t>(std::lround(mask.amount * 256))};
}

// Luminance of one row, 8 fraction bits.
void LumaRow(const std::uint32_t* row, int width, std::int32_t* luma) {
  for (int x = 0; x < width; ++x) {
    const std::uint32_t p = row[x];
    luma[x] = static_cast<std::int32_t>(77 * ((p >> 16) & 0xFF) + 150 * ((p >> 8) & 0xFF) + 29 * (p & 0xFF));
  }
}

// The horizontal pass of the blur, edges repeated.
void BlurRow(const std::int32_t* luma, int width, const FixedMask& m, std::int32_t* out) {
  constexpr std::int32_t kHalf = kWeightOne / 2;
  if (width == 1) {
    out[0] = luma[0];
    return;
  }
  out[0] = (m.side * (luma[0] + luma[1]) + m.centre * luma[0] + kHalf) >> kWeightBits;
  for (int x = 1; x < width - 1; ++x)
    out[x] = (m.side * (luma[x - 1] + luma[x + 1]) + m.centre * luma[x] + kHalf) >> kWeightBits;
  out[width - 1] = (m.side * (luma[width - 2] + luma[width - 1]) + m.centre * luma[width - 1] + kHalf) >> kWeightBits;
}

std::uint32_t AddToChannels(std::uint32_t p, std::int32_t delta) {
  const auto channel = [delta](std::uint32_t c) {
    return static_cast<std::uint32_t>(std::clamp<std::int32_t>(static_cast<std::int32_t>(c) + delta, 0, 255));
  };
  return (p & 0xFF000000u) | channel((p >> 16) & 0xFF) << 16 | channel((p >> 8) & 0xFF) << 8 | channel(p & 0xFF);
}

}  // namespace

UnsharpMask UnsharpMaskFor(Sharpening level) {
  switch (level) {
    case Sharpening::Low:
      return {0.5, 0.5};
    case Sharpening::Medium:
      return {0.6, 0.9};
    case Sharpening::High:
      return {0.8, 1.5};
    case Sharpening::None:
      break;
  }
  return {};
}

void SharpenForScreen(QImage& picture, Sharpening level) {
  if (level == Sharpening::None || picture.isNull()) return;
  const int width = picture.width();
  const int height = picture.height();
  const FixedMask m = Fixed(UnsharpMaskFor(level));
  const auto w = static_cast<std::size_t>(width);
  // Three rows of luminance and of its horizontal blur, rolling: a row is changed only after the
  // row below it was read, so every pass sees the original pixels.
  std::vector<std::int32_t> luma(3 * w), blurred(3 * w);
  const auto rowOf = [&](int y) { return reinterpret_cast<std::uint32_t*>(picture.scanLine(y)); };
  const auto slot = [w](std::vector<std::int32_t>& v, int y) { return v.data() + static_cast<std::size_t>(y % 3) * w; };
  const auto load = [&](int y) {
    LumaRow(rowOf(y), width, slot(luma, y));
    BlurRow(slot(luma, y), width, m, slot(blurred, y));
  };
  constexpr std::int32_t kHalf = kWeightOne / 2;
  load(0);
  for (int y = 0; y < height; ++y) {
    if (y + 1 < height) load(y + 1);
    const std::int32_t* above = slot(blurred, y > 0 ? y - 1 : y);
    const std::int32_t* here = slot(blurred, y);
    const std::int32_t* below = slot(blurred, y + 1 < height ? y + 1 : y);
    const std::int32_t* own = slot(luma, y);
    std::uint32_t* row = rowOf(y);
    for (int x = 0; x < width; ++x) {
      const std::int32_t blur = (m.side * (above[x] + below[x]) + m.centre * here[x] + kHalf) >> kWeightBits;
      // Both in 1/256 of a level: the change in whole levels, rounded.
      const std::int32_t delta = (m.amount * (own[x] - blur) + (1 << 15)) >> 16;
      if (delta != 0) row[x] = AddToChannels(row[x], delta);
    }
  }
}

}  // namespace velmora
