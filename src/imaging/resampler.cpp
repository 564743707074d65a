#include "imaging/resampler.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <smmintrin.h>  // SSE4.1 and below, used behind run-time checks
#endif

#include "imaging/imagingerror.h"

namespace velmora {

namespace {

constexpr int kChannels = 4;

__extension__ typedef unsigned __int128 Uint128;

// The source pixels one target pixel takes, along one axis: first and last with their own weights and
// every pixel between them with the axis' common middle weight. The weights of a span add up to the
// axis total, so a constant row stays constant.
struct Span {
  int first;
  int last;
  std::uint32_t wFirst;
  std::uint32_t wLast;
};

struct AxisPlan {
  std::vector<Span> spans;
  std::uint32_t wMid = 0;
  std::uint32_t total = 1;
};

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

#if defined(__x86_64__)
// The horizontal pass in SIMD. A target pixel's taps are neighbouring source pixels; they go four at
// a time: one 16-byte load, two shuffles that spread pixels 0,1 and 2,3 into a0 b0 a1 b1 ... as
// 16-bit values, and two multiply-adds that weigh and sum them per channel in 32 bits.
struct TapQuad {
  std::int32_t x;           // the quad is source pixels x to x + 3
  std::int16_t weights[4];  // zero for a pixel outside the span
};

// Every target pixel gets the same number of quads (the most any needs, zero weights padding the
// rest), so the loop over a target's quads has a fixed count and unrolls.
struct QuadPlan {
  std::vector<TapQuad> quads;  // perTarget quads for each target pixel in turn
  int perTarget = 0;
};

// False when a weight does not fit the instruction's signed 16 bits or the row is narrower than a quad.
bool makeQuadPlan(const AxisPlan& plan, int srcWidth, QuadPlan& out) {
  if (srcWidth < 4) return false;
  for (const Span& s : plan.spans) out.perTarget = std::max(out.perTarget, (s.last - s.first) / 4 + 1);
  for (const Span& s : plan.spans) {
    int made = 0;
    for (int x = s.first; x <= s.last; x += 4, ++made) {
      TapQuad q{x, {0, 0, 0, 0}};
      for (int k = 0; k < 4 && x + k <= s.last; ++k) {
        const std::uint32_t w = x + k == s.first ? s.wFirst : x + k == s.last ? s.wLast : plan.wMid;
        if (w > 32767) return false;
        q.weights[k] = static_cast<std::int16_t>(w);
      }
      // A quad that would reach past the row's end moves left, its weights with it.
      const int over = q.x + 3 - (srcWidth - 1);
      if (over > 0) {
        for (int k = 3; k >= 0; --k) q.weights[k] = k >= over ? q.weights[k - over] : std::int16_t{0};
        q.x -= over;
      }
      out.quads.push_back(q);
    }
    for (; made < out.perTarget; ++made) out.quads.push_back({out.quads.back().x, {0, 0, 0, 0}});
  }
  return true;
}

// SSSE3 has been in every x86-64 processor for over fifteen years; without it the scalar pass runs.
template <bool kAdd, int kQuads>
__attribute__((target("ssse3"))) void horizontalQuads(const std::uint8_t* src, const TapQuad* quad, std::size_t n,
                                                      int perTarget, std::uint32_t* out) {
  const __m128i spread01 = _mm_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
  const __m128i spread23 = _mm_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
  const int count = kQuads > 0 ? kQuads : perTarget;
  for (std::size_t i = 0; i < n; ++i) {
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < count; ++k, ++quad) {
      const __m128i four =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + static_cast<std::size_t>(quad->x) * 4));
      const __m128i w = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(quad->weights));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_shuffle_epi8(four, spread01), _mm_shuffle_epi32(w, 0x00)));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_shuffle_epi8(four, spread23), _mm_shuffle_epi32(w, 0x55)));
    }
    auto* o = reinterpret_cast<__m128i*>(out + i * kChannels);
    if constexpr (kAdd) acc = _mm_add_epi32(acc, _mm_loadu_si128(o));
    _mm_storeu_si128(o, acc);
  }
}

// The pass for the plan's quad count, unrolled for the usual counts (up to a reduction by about 12).
template <bool kAdd>
void horizontalQuads(const std::uint8_t* src, const QuadPlan& plan, std::uint32_t* out) {
  const std::size_t n = plan.quads.size() / static_cast<std::size_t>(plan.perTarget);
  switch (plan.perTarget) {
    case 1:
      return horizontalQuads<kAdd, 1>(src, plan.quads.data(), n, 1, out);
    case 2:
      return horizontalQuads<kAdd, 2>(src, plan.quads.data(), n, 2, out);
    case 3:
      return horizontalQuads<kAdd, 3>(src, plan.quads.data(), n, 3, out);
    default:
      return horizontalQuads<kAdd, 0>(src, plan.quads.data(), n, plan.perTarget, out);
  }
}
#endif

#if defined(__x86_64__)
// The vertical sum and the rounded division for 8 lanes at a time: 32-bit products, then the quotient
// through a double. With T <= 2^23 and n < 2^31, multiplying by 1/T raised by 2^-40 lands above n / T
// by far less than 1/T, so truncation gives exactly floor(n / T). Returns the lanes done.
struct CombineArgs {
  const std::uint32_t* top;
  const std::uint32_t* bottom;
  const std::uint32_t* mid;
  __m128i wTop, wBottom, wMid, half;
  __m128d inverse;
};

template <bool kMid>
__attribute__((target("sse4.1"))) inline __m128i quotient4(const CombineArgs& a, std::size_t k) {
  const auto at = [k](const std::uint32_t* p) { return reinterpret_cast<const __m128i*>(p + k); };
  __m128i n = _mm_add_epi32(_mm_mullo_epi32(_mm_loadu_si128(at(a.top)), a.wTop),
                            _mm_mullo_epi32(_mm_loadu_si128(at(a.bottom)), a.wBottom));
  n = _mm_add_epi32(n, a.half);
  if constexpr (kMid) n = _mm_add_epi32(n, _mm_mullo_epi32(_mm_loadu_si128(at(a.mid)), a.wMid));
  const __m128i lo = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(n), a.inverse));
  const __m128i hi = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(n, n)), a.inverse));
  return _mm_unpacklo_epi64(lo, hi);
}

template <bool kMid>
__attribute__((target("sse4.1"))) std::size_t combineSse41(const std::uint32_t* top, const std::uint32_t* bottom,
                                                           const std::uint32_t* mid, std::uint32_t wTop,
                                                           std::uint32_t wBottom, std::uint32_t wMid,
                                                           std::uint32_t half, double inverse, std::uint8_t* out,
                                                           std::size_t lanes) {
  const CombineArgs args{top,
                         bottom,
                         mid,
                         _mm_set1_epi32(static_cast<int>(wTop)),
                         _mm_set1_epi32(static_cast<int>(wBottom)),
                         _mm_set1_epi32(static_cast<int>(wMid)),
                         _mm_set1_epi32(static_cast<int>(half)),
                         _mm_set1_pd(inverse)};
  std::size_t k = 0;
  for (; k + 8 <= lanes; k += 8) {
    const __m128i words = _mm_packs_epi32(quotient4<kMid>(args, k), quotient4<kMid>(args, k + 4));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words));
  }
  return k;
}
#endif

// Rounded division by the total weight T, as a multiplication: with 2^shift >= 256 T^2 and
// mul = ceil(2^shift / T), (n * mul) >> shift equals n / T for every n below 256 T.
struct Divider {
  std::uint64_t mul;
  int shift;
  std::uint64_t half;
  explicit Divider(std::uint64_t total) {
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
  Resampler(RowSource& source, int srcWidth, const AxisPlan& xPlan, const AxisPlan& yPlan)
      : source_(source),
        xPlan_(xPlan),
        yPlan_(yPlan),
        lanes_(xPlan.spans.size() * kChannels),
        div_(static_cast<std::uint64_t>(xPlan.total) * yPlan.total),
        mid_(lanes_) {
    for (auto& slot : cache_) slot.values.resize(lanes_);
#if defined(__x86_64__)
    sse41_ = __builtin_cpu_supports("sse4.1");
    inverse_ = 1.0 / static_cast<double>(static_cast<std::uint64_t>(xPlan.total) * yPlan.total) * (1.0 + 0x1p-40);
    if constexpr (sizeof(Acc) == 4)
      useQuads_ = __builtin_cpu_supports("ssse3") && makeQuadPlan(xPlan, srcWidth, quads_);
#else
    (void)srcWidth;
#endif
  }

  void run(std::uint8_t* dst, std::ptrdiff_t dstStride) {
    for (std::size_t i = 0; i < yPlan_.spans.size(); ++i) {
      const Span s = yPlan_.spans[i];
      const std::uint32_t* top = horizontalRow(s.first);
      const bool hasMid = s.last - s.first > 1;
      if (hasMid) {
        // The first middle row is stored, the others added.
        horizontal<false>(source_.row(s.first + 1), mid_.data());
        for (int y = s.first + 2; y < s.last; ++y) horizontal<true>(source_.row(y), mid_.data());
      }
      const std::uint32_t* bottom = horizontalRow(s.last);
      std::uint8_t* out = dst + static_cast<std::ptrdiff_t>(i) * dstStride;
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

  template <bool kAdd, typename Out>
  void horizontal(const std::uint8_t* src, Out* out) {
#if defined(__x86_64__)
    if constexpr (sizeof(Out) == 4) {
      if (useQuads_) return horizontalQuads<kAdd>(src, quads_, reinterpret_cast<std::uint32_t*>(out));
    }
#endif
    horizontalPass<kAdd>(src, xPlan_, out);
  }

  template <bool kMid>
  void combine(const std::uint32_t* top, const std::uint32_t* bottom, Acc wTop, Acc wBottom, std::uint8_t* out) {
    const Acc wMid = yPlan_.wMid;
    const Acc* mid = mid_.data();
    const std::uint64_t half = div_.half;
    const std::uint64_t mul = div_.mul;
    const int shift = div_.shift;
    std::size_t k = 0;
#if defined(__x86_64__)
    if constexpr (sizeof(Acc) == 4) {
      if (sse41_) {
        k = combineSse41<kMid>(top, bottom, mid, wTop, wBottom, wMid, static_cast<std::uint32_t>(half), inverse_, out,
                               lanes_);
      }
    }
#endif
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
#if defined(__x86_64__)
  QuadPlan quads_;
  bool useQuads_ = false;
  bool sse41_ = false;
  double inverse_ = 0;
#endif
};

class MemoryRows : public RowSource {
 public:
  MemoryRows(const std::uint8_t* data, std::ptrdiff_t stride) : data_(data), stride_(stride) {}
  const std::uint8_t* row(int y) override { return data_ + static_cast<std::ptrdiff_t>(y) * stride_; }

 private:
  const std::uint8_t* data_;
  std::ptrdiff_t stride_;
};

void checkSide(int side) {
  if (side < 1 || side > kMaxResampleSide) {
    throw ImagingError("Nieprawidłowy rozmiar obrazu: " + std::to_string(side) + " pikseli");
  }
}

}  // namespace

void resampleHalftone(RowSource& source, int srcWidth, int srcHeight, std::uint8_t* dst, std::ptrdiff_t dstStride,
                      int dstWidth, int dstHeight) {
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
  if (total <= (std::uint64_t{1} << 23)) {
    Resampler<std::uint32_t>(source, srcWidth, xPlan, yPlan).run(dst, dstStride);
  } else {
    Resampler<std::uint64_t>(source, srcWidth, xPlan, yPlan).run(dst, dstStride);
  }
}

void resampleHalftone(const std::uint8_t* src, std::ptrdiff_t srcStride, int srcWidth, int srcHeight, std::uint8_t* dst,
                      std::ptrdiff_t dstStride, int dstWidth, int dstHeight) {
  MemoryRows rows(src, srcStride);
  resampleHalftone(rows, srcWidth, srcHeight, dst, dstStride, dstWidth, dstHeight);
}

QImage scaleHalftone(const QImage& picture, QSize size) {
  if (picture.isNull() || size.isEmpty()) {
    throw ImagingError("Nieprawidłowy rozmiar obrazu: " + std::to_string(size.width()) + " x " +
                       std::to_string(size.height()) + " pikseli");
  }
  const QImage src = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
  QImage out(size, QImage::Format_RGB32);
  if (out.isNull() || src.isNull()) {
    throw ImagingError("Brak pamięci na obraz " + std::to_string(size.width()) + " x " + std::to_string(size.height()) +
                       " pikseli");
  }
  resampleHalftone(src.constBits(), src.bytesPerLine(), src.width(), src.height(), out.bits(), out.bytesPerLine(),
                   size.width(), size.height());
  return out;
}

}  // namespace velmora
