#include "imaging/resampler.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "imaging/imagingerror.h"
#include "imaging/resampler_simd.h"

namespace velmora {

namespace resample {

bool layTaps(const AxisPlan& plan, int srcWidth, int width, TapWindows& out) {
  if (srcWidth < width) return false;
  out.width = width;
  out.perTarget = 0;
  for (const Span& s : plan.spans) out.perTarget = std::max(out.perTarget, (s.last - s.first) / width + 1);
  const std::size_t windows = plan.spans.size() * static_cast<std::size_t>(out.perTarget);
  out.x.assign(windows, 0);
  out.weights.assign(windows * static_cast<std::size_t>(width), 0);
  std::size_t j = 0;
  for (const Span& s : plan.spans) {
    for (int k = 0; k < out.perTarget; ++k, ++j) {
      std::int16_t* w = out.weights.data() + j * static_cast<std::size_t>(width);
      const int x = s.first + k * width;
      if (x > s.last) {
        out.x[j] = out.x[j - 1];  // padding: all weights zero
        continue;
      }
      // A window that would reach past the row's end moves left, its weights with it.
      const int start = std::min(x, srcWidth - width);
      out.x[j] = start;
      for (int p = x; p <= s.last && p < x + width; ++p) {
        const std::uint32_t weight = p == s.first ? s.wFirst : p == s.last ? s.wLast : plan.wMid;
        if (weight > 32767) return false;
        w[p - start] = static_cast<std::int16_t>(weight);
      }
    }
  }
  return true;
}

}  // namespace resample

namespace {

using resample::AxisPlan;
using resample::kChannels;
using resample::Span;
using resample::VectorSteps;

__extension__ typedef unsigned __int128 Uint128;

AxisPlan planAxis(int src, int dst) {
  AxisPlan plan;
  plan.spans.resize(static_cast<std::size_t>(dst));
  if (src == dst) {
    for (int i = 0; i < dst; ++i) plan.spans[i] = {i, i, 1, 0};
  } else if (dst < src) {
    // On a line where a source pixel is a units long and a target pixel b units, the overlaps are whole
    // numbers: the area weights are exact.
    const std::uint64_t g = std::gcd(src, dst);
    const std::uint64_t a = static_cast<std::uint64_t>(dst) / g;
    const std::uint64_t b = static_cast<std::uint64_t>(src) / g;
    plan.wMid = static_cast<std::uint32_t>(a);
    plan.total = static_cast<std::uint32_t>(b);
    for (int i = 0; i < dst; ++i) {
      const std::uint64_t lo = static_cast<std::uint64_t>(i) * b;
      const std::uint64_t hi = lo + b;
      const std::uint64_t first = lo / a;
      const std::uint64_t last = (hi - 1) / a;
      // b > a, so a target pixel always reaches into at least two source pixels.
      plan.spans[i] = {static_cast<int>(first), static_cast<int>(last),
                       static_cast<std::uint32_t>((first + 1) * a - lo), static_cast<std::uint32_t>(hi - last * a)};
    }
  } else {
    // Linear interpolation between pixel centres: target centre i + 1/2 lies at source position
    // ((2i + 1) * src - dst) / (2 * dst), taken exactly; the edges repeat the outermost pixel.
    const std::int64_t den = 2 * static_cast<std::int64_t>(dst);
    plan.total = static_cast<std::uint32_t>(den);
    for (int i = 0; i < dst; ++i) {
      const std::int64_t num = (2 * static_cast<std::int64_t>(i) + 1) * src - dst;
      const std::int64_t x0 = num < 0 ? 0 : num / den;
      const std::int64_t frac = num < 0 ? 0 : num % den;
      if (x0 >= src - 1) {
        plan.spans[i] = {src - 1, src - 1, static_cast<std::uint32_t>(den), 0};
      } else {
        plan.spans[i] = {static_cast<int>(x0), static_cast<int>(x0 + 1), static_cast<std::uint32_t>(den - frac),
                         static_cast<std::uint32_t>(frac)};
      }
    }
  }
  return plan;
}

// Reduces one source row to the target width. Out holds kChannels values a pixel; with kAdd the row
// is added to it instead of stored. Each value is at most 255 times the horizontal total.
template <bool kAdd, typename Acc>
void horizontalPass(const std::uint8_t* src, const AxisPlan& plan, Acc* out) {
  const std::uint32_t wMid = plan.wMid;
  const Span* spans = plan.spans.data();
  const std::size_t n = plan.spans.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Span s = spans[i];
    const std::uint8_t* p = src + static_cast<std::size_t>(s.first) * kChannels;
    const std::uint8_t* l = src + static_cast<std::size_t>(s.last) * kChannels;
    std::uint32_t m0 = 0, m1 = 0, m2 = 0, m3 = 0;
    for (int x = s.first + 1; x < s.last; ++x) {
      const std::uint8_t* q = src + static_cast<std::size_t>(x) * kChannels;
      m0 += q[0];
      m1 += q[1];
      m2 += q[2];
      m3 += q[3];
    }
    const std::uint32_t v0 = s.wFirst * p[0] + wMid * m0 + s.wLast * l[0];
    const std::uint32_t v1 = s.wFirst * p[1] + wMid * m1 + s.wLast * l[1];
    const std::uint32_t v2 = s.wFirst * p[2] + wMid * m2 + s.wLast * l[2];
    const std::uint32_t v3 = s.wFirst * p[3] + wMid * m3 + s.wLast * l[3];
    Acc* o = out + i * kChannels;
    if constexpr (kAdd) {
      o[0] += v0;
      o[1] += v1;
      o[2] += v2;
      o[3] += v3;
    } else {
      o[0] = v0;
      o[1] = v1;
      o[2] = v2;
      o[3] = v3;
    }
  }
}

// Rounded division by the total weight T, as a multiplication: with 2^shift >= 256 T^2 and
// mul = ceil(2^shift / T), (n * mul) >> shift equals n / T for every n below 256 T.
struct Divider {
  std::uint64_t total;
  std::uint64_t mul;
  int shift;
  std::uint64_t half;
  explicit Divider(std::uint64_t t) : total(t) {
    const int bits = static_cast<int>(std::bit_width(total - 1));
    shift = 8 + 2 * bits;
    mul = static_cast<std::uint64_t>(((Uint128{1} << shift) + total - 1) / total);
    half = total / 2;
  }
};

// Vertical pass and row bookkeeping. Acc is std::uint32_t when 256 T fits in it, else std::uint64_t.
template <typename Acc>
class Resampler {
 public:
  // The vector steps serve only the 32-bit accumulators.
  Resampler(RowSource& source, int srcWidth, const AxisPlan& xPlan, const AxisPlan& yPlan, const VectorSteps& steps)
      : source_(source),
        xPlan_(xPlan),
        yPlan_(yPlan),
        lanes_(xPlan.spans.size() * kChannels),
        div_(static_cast<std::uint64_t>(xPlan.total) * yPlan.total),
        mid_(lanes_) {
    for (auto& slot : cache_) slot.values.resize(lanes_);
    if constexpr (sizeof(Acc) == 4) {
      if (steps.prepareRows) vectorRows_ = steps.prepareRows(xPlan, srcWidth);
      vectorCombine_ = steps.combine;
    }
  }

  void run(std::uint8_t* dst, std::ptrdiff_t dstStride) {
    for (std::size_t i = 0; i < yPlan_.spans.size(); ++i) {
      const Span s = yPlan_.spans[i];
      const std::uint32_t* top = horizontalRow(s.first);
      const bool hasMid = s.last - s.first > 1;
      // Where the vector code has it, the bottom row goes in the sweep that writes the target row, and
      // with it the middle rows a full group leaves over (they stay readable with the bottom row).
      const bool fused = fuses(s);
      const int kept = fused ? (s.last - s.first - 1) % kHeldRows : 0;
      // The middle rows go in groups the source keeps readable together, their pixels summed before
      // they are weighed; the first group is stored, the others added.
      for (int y = s.first + 1; y < s.last - kept;) {
        const std::uint8_t* rows[kHeldRows];
        int count = 0;
        for (; count < kHeldRows && y < s.last - kept; ++count, ++y) rows[count] = source_.row(y);
        horizontalSum(rows, count, y - count > s.first + 1, mid_.data());
      }
      std::uint8_t* out = dst + static_cast<std::ptrdiff_t>(i) * dstStride;
      if (fused) {
        sweepEnd(s, top, kept, s.last - kept > s.first + 1, out);
        continue;
      }
      const std::uint32_t* bottom = horizontalRow(s.last);
      if (hasMid) {
        combine<true>(top, bottom, s.wFirst, s.wLast, out);
      } else {
        combine<false>(top, bottom, s.wFirst, s.wLast, out);
      }
    }
  }

 private:
  struct CachedRow {
    int y = -1;
    std::vector<std::uint32_t> values;
  };

  // Rows that start or end a target row are shared with its neighbour; two slots hold the last two.
  const std::uint32_t* horizontalRow(int y) {
    for (auto& slot : cache_) {
      if (slot.y == y) return slot.values.data();
    }
    CachedRow& slot = cache_[0].y < cache_[1].y ? cache_[0] : cache_[1];
    horizontal<false>(source_.row(y), slot.values.data());
    slot.y = y;
    return slot.values.data();
  }

  bool fuses(const Span& s) const {
    if constexpr (sizeof(Acc) != 4) {
      return false;
    } else {
      return vectorRows_ && vectorRows_->fuses() && cache_[0].y != s.last && cache_[1].y != s.last;
    }
  }

  // The last middle rows and the bottom row reduced and the target row written in one sweep: no
  // second pass over the rows of sums.
  void sweepEnd(const Span& s, const std::uint32_t* top, int midRows, bool midStored, std::uint8_t* out) {
    if constexpr (sizeof(Acc) == 4) {
      const std::uint8_t* rows[kHeldRows];
      for (int k = 0; k < midRows; ++k) rows[k] = source_.row(s.last - midRows + k);
      rows[midRows] = source_.row(s.last);
      // The slot horizontalRow would take: never the one holding top.
      CachedRow& slot = cache_[0].y < cache_[1].y ? cache_[0] : cache_[1];
      const bool hasMid = s.last - s.first > 1;
      const resample::CombineRows c{top,     slot.values.data(), hasMid ? mid_.data() : nullptr,        s.wFirst,
                                    s.wLast, yPlan_.wMid,        static_cast<std::uint32_t>(div_.half), div_.total};
      vectorRows_->sweepEnd(rows, midRows, midStored, slot.values.data(), c, out);
      slot.y = s.last;
    }
  }

  template <bool kAdd, typename Out>
  void horizontal(const std::uint8_t* src, Out* out) {
    if constexpr (sizeof(Out) == 4) {
      if (vectorRows_) return vectorRows_->reduce(src, kAdd, out);
    }
    horizontalPass<kAdd>(src, xPlan_, out);
  }

  void horizontalSum(const std::uint8_t* const* rows, int count, bool add, Acc* out) {
    if constexpr (sizeof(Acc) == 4) {
      if (vectorRows_) return vectorRows_->reduceSum(rows, count, add, out);
    }
    for (int i = 0; i < count; ++i) {
      if (add || i > 0) {
        horizontalPass<true>(rows[i], xPlan_, out);
      } else {
        horizontalPass<false>(rows[i], xPlan_, out);
      }
    }
  }

  template <bool kMid>
  void combine(const std::uint32_t* top, const std::uint32_t* bottom, Acc wTop, Acc wBottom, std::uint8_t* out) {
    const Acc wMid = yPlan_.wMid;
    const Acc* mid = mid_.data();
    const std::uint64_t half = div_.half;
    const std::uint64_t mul = div_.mul;
    const int shift = div_.shift;
    std::size_t k = 0;
    if constexpr (sizeof(Acc) == 4) {
      if (vectorCombine_) {
        const resample::CombineRows rows{
            top, bottom, kMid ? mid : nullptr, wTop, wBottom, wMid, static_cast<std::uint32_t>(half), div_.total};
        k = vectorCombine_(rows, out, lanes_);
      }
    }
    for (; k < lanes_; ++k) {
      Acc n = wTop * top[k] + wBottom * bottom[k];
      if constexpr (kMid) n += wMid * mid[k];
      if constexpr (sizeof(Acc) == 4) {
        out[k] = static_cast<std::uint8_t>((static_cast<std::uint64_t>(n) + half) * mul >> shift);
      } else {
        out[k] = static_cast<std::uint8_t>(static_cast<Uint128>(n + half) * mul >> shift);
      }
    }
  }

  RowSource& source_;
  const AxisPlan& xPlan_;
  const AxisPlan& yPlan_;
  std::size_t lanes_;
  Divider div_;
  std::vector<Acc> mid_;
  CachedRow cache_[2];
  std::unique_ptr<resample::VectorRows> vectorRows_;
  decltype(VectorSteps::combine) vectorCombine_ = nullptr;
};

class MemoryRows : public RowSource {
 public:
  MemoryRows(const std::uint8_t* data, std::ptrdiff_t stride) : data_(data), stride_(stride) {}
  const std::uint8_t* row(int y) override { return data_ + static_cast<std::ptrdiff_t>(y) * stride_; }

 private:
  const std::uint8_t* data_;
  std::ptrdiff_t stride_;
};

// The steps of a path; the processor is asked, and the process' own choice made, once.
const VectorSteps& stepsFor(ResamplePath path) {
  static const VectorSteps none;
  static const VectorSteps sse = resample::sseSteps();
  static const VectorSteps avx2 = resample::avx2Steps();
  static const VectorSteps avx512 = resample::avx512Steps();
  static const VectorSteps widest{avx512.prepareRows ? avx512.prepareRows
                                  : avx2.prepareRows ? avx2.prepareRows
                                                     : sse.prepareRows,
                                  avx512.combine ? avx512.combine
                                  : avx2.combine ? avx2.combine
                                                 : sse.combine};
  static const ResamplePath chosen = resamplePathFor(std::getenv("VELMORA_NO_SIMD"));
  switch (path == ResamplePath::kChosen ? chosen : path) {
    case ResamplePath::kSimd:
      return widest;
    case ResamplePath::kSse:
      return sse;
    case ResamplePath::kAvx2:
      return avx2;
    case ResamplePath::kAvx512:
      return avx512;
    default:
      return none;
  }
}

void checkSide(int side) {
  if (side < 1 || side > kMaxResampleSide) {
    throw ImagingError("Nieprawidłowy rozmiar obrazu: " + std::to_string(side) + " pikseli");
  }
}

}  // namespace

ResamplePath resamplePathFor(const char* noSimd) {
  const bool off = noSimd != nullptr && noSimd[0] != '\0' && std::strcmp(noSimd, "0") != 0;
  return off ? ResamplePath::kScalar : ResamplePath::kSimd;
}

bool resamplePathRuns(ResamplePath path) {
  const VectorSteps& steps = stepsFor(path);
  return path == ResamplePath::kChosen || path == ResamplePath::kScalar || steps.prepareRows || steps.combine;
}

void resampleHalftone(RowSource& source, int srcWidth, int srcHeight, std::uint8_t* dst, std::ptrdiff_t dstStride,
                      int dstWidth, int dstHeight, ResamplePath path) {
  for (int side : {srcWidth, srcHeight, dstWidth, dstHeight}) checkSide(side);
  if (srcWidth == dstWidth && srcHeight == dstHeight) {
    const std::size_t rowBytes = static_cast<std::size_t>(dstWidth) * kChannels;
    for (int y = 0; y < dstHeight; ++y)
      std::memcpy(dst + static_cast<std::ptrdiff_t>(y) * dstStride, source.row(y), rowBytes);
    return;
  }
  const AxisPlan xPlan = planAxis(srcWidth, dstWidth);
  const AxisPlan yPlan = planAxis(srcHeight, dstHeight);
  // A mid sum never exceeds 255 T, so 32-bit accumulators do whenever the divider's product fits in 64 bits.
  const std::uint64_t total = static_cast<std::uint64_t>(xPlan.total) * yPlan.total;
  const VectorSteps& steps = stepsFor(path);
  if (total <= (std::uint64_t{1} << 23)) {
    Resampler<std::uint32_t>(source, srcWidth, xPlan, yPlan, steps).run(dst, dstStride);
  } else {
    Resampler<std::uint64_t>(source, srcWidth, xPlan, yPlan, steps).run(dst, dstStride);
  }
}

void resampleHalftone(const std::uint8_t* src, std::ptrdiff_t srcStride, int srcWidth, int srcHeight, std::uint8_t* dst,
                      std::ptrdiff_t dstStride, int dstWidth, int dstHeight, ResamplePath path) {
  MemoryRows rows(src, srcStride);
  resampleHalftone(rows, srcWidth, srcHeight, dst, dstStride, dstWidth, dstHeight, path);
}

namespace {

bool isSixteenBit(const QImage& picture) {
  const QImage::Format f = picture.format();
  return f == QImage::Format_RGBA64 || f == QImage::Format_RGBX64 || f == QImage::Format_RGBA64_Premultiplied;
}

// The halftone rule on 16-bit channels, each result rounded to 8 bits once, at the end. Plain loops: a
// 16-bit source is a PNG or TIFF, rarely large; the 8-bit path keeps the speed of the JPEG pictures.
QImage scaleSixteenBit(const QImage& src, QSize size) {
  QImage out(size, QImage::Format_RGB32);
  if (out.isNull()) throw ImagingError(noMemoryForImageText(size.width(), size.height()));
  const AxisPlan px = planAxis(src.width(), size.width()), py = planAxis(src.height(), size.height());
  const auto dw = static_cast<std::size_t>(size.width());
  std::vector<std::uint64_t> row(dw * kChannels);  // one source row reduced across
  std::vector<Uint128> acc(dw * kChannels);
  // A value v of n weight units in 16 bits is round(v * 255 / (65535 * n)) in 8.
  const Uint128 units = Uint128{65535} * px.total * py.total;
  const auto across = [&](int y) {
    const auto* p = reinterpret_cast<const std::uint16_t*>(src.constScanLine(y));
    for (std::size_t i = 0; i < dw; ++i) {
      const Span& s = px.spans[i];
      for (std::size_t c = 0; c < kChannels; ++c) {
        std::uint64_t v = std::uint64_t{s.wFirst} * p[std::size_t(s.first) * 4 + c] +
                          std::uint64_t{s.wLast} * p[std::size_t(s.last) * 4 + c];
        for (int x = s.first + 1; x < s.last; ++x) v += std::uint64_t{px.wMid} * p[std::size_t(x) * 4 + c];
        row[i * kChannels + c] = v;
      }
    }
  };
  const auto add = [&](std::uint32_t weight) {
    for (std::size_t i = 0; i < acc.size(); ++i) acc[i] += Uint128{weight} * row[i];
  };
  for (int y = 0; y < size.height(); ++y) {
    const Span& s = py.spans[static_cast<std::size_t>(y)];
    std::fill(acc.begin(), acc.end(), Uint128{0});
    across(s.first);
    add(s.wFirst);
    for (int r = s.first + 1; r < s.last; ++r) {
      across(r);
      add(py.wMid);
    }
    across(s.last);
    add(s.wLast);
    std::uint8_t* o = out.scanLine(y);
    // RGBA64 holds R, G, B, A; Format_RGB32 is B, G, R, X in memory.
    for (std::size_t i = 0; i < dw; ++i) {
      for (std::size_t c = 0; c < 3; ++c)
        o[i * 4 + (2 - c)] = static_cast<std::uint8_t>((acc[i * kChannels + c] * 510 + units) / (units * 2));
      o[i * 4 + 3] = 0xFF;
    }
  }
  return out;
}

}  // namespace

QImage scaleHalftone(const QImage& picture, QSize size) {
  if (picture.isNull() || size.isEmpty()) {
    throw ImagingError("Nieprawidłowy rozmiar obrazu: " + std::to_string(size.width()) + " x " +
                       std::to_string(size.height()) + " pikseli");
  }
  if (isSixteenBit(picture)) {
    if (picture.format() != QImage::Format_RGBA64 && picture.format() != QImage::Format_RGBX64)
      return scaleSixteenBit(picture.convertToFormat(QImage::Format_RGBA64), size);
    return scaleSixteenBit(picture, size);
  }
  const QImage src = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
  QImage out(size, QImage::Format_RGB32);
  if (out.isNull() || src.isNull()) {
    throw ImagingError(noMemoryForImageText(size.width(), size.height()));
  }
  resampleHalftone(src.constBits(), src.bytesPerLine(), src.width(), src.height(), out.bits(), out.bytesPerLine(),
                   size.width(), size.height());
  return out;
}

}  // namespace velmora
