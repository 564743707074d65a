// The resampler's SSE steps. Each function carries its own target attribute and runs only after the
// processor has been asked, so the rest of the program keeps the baseline instruction set.

#include <utility>

#include "imaging/resampler_simd.h"

#if defined(__x86_64__)
#include <smmintrin.h>  // SSE4.1 and below
#endif

namespace velmora::resample {

#if defined(__x86_64__)
namespace {

// A target pixel's taps are neighbouring source pixels; they go four at a time (a window of layTaps):
// one 16-byte load, two shuffles that spread pixels 0,1 and 2,3 into a0 b0 a1 b1 ... as 16-bit values,
// and two multiply-adds that weigh and sum them per channel in 32 bits.
template <bool kAdd, int kQuads>
__attribute__((target("ssse3"))) void horizontalQuads(const std::uint8_t* src, const TapWindows& taps,
                                                      std::uint32_t* out) {
  const __m128i spread01 = _mm_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
  const __m128i spread23 = _mm_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
  const int count = kQuads > 0 ? kQuads : taps.perTarget;
  const std::int32_t* x = taps.x.data();
  const std::int16_t* weights = taps.weights.data();
  const std::size_t n = taps.x.size() / static_cast<std::size_t>(count);
  for (std::size_t i = 0; i < n; ++i) {
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < count; ++k, ++x, weights += 4) {
      const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + static_cast<std::size_t>(*x) * 4));
      const __m128i w = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(weights));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_shuffle_epi8(four, spread01), _mm_shuffle_epi32(w, 0x00)));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_shuffle_epi8(four, spread23), _mm_shuffle_epi32(w, 0x55)));
    }
    auto* o = reinterpret_cast<__m128i*>(out + i * kChannels);
    if constexpr (kAdd) acc = _mm_add_epi32(acc, _mm_loadu_si128(o));
    _mm_storeu_si128(o, acc);
  }
}

using QuadPass = void (*)(const std::uint8_t*, const TapWindows&, std::uint32_t*);

// The pass for the plan's quad count, unrolled for the usual counts (up to a reduction by about 12).
template <bool kAdd>
QuadPass quadPassFor(int perTarget) {
  switch (perTarget) {
    case 1:
      return horizontalQuads<kAdd, 1>;
    case 2:
      return horizontalQuads<kAdd, 2>;
    case 3:
      return horizontalQuads<kAdd, 3>;
    default:
      return horizontalQuads<kAdd, 0>;
  }
}

class QuadRows : public VectorRows {
 public:
  explicit QuadRows(TapWindows taps)
      : taps_(std::move(taps)), store_(quadPassFor<false>(taps_.perTarget)), add_(quadPassFor<true>(taps_.perTarget)) {}

  void reduce(const std::uint8_t* src, bool add, std::uint32_t* out) const override {
    (add ? add_ : store_)(src, taps_, out);
  }

 private:
  TapWindows taps_;
  QuadPass store_;
  QuadPass add_;
};

std::unique_ptr<VectorRows> prepareQuadRows(const AxisPlan& plan, int srcWidth) {
  TapWindows quads;
  if (!layTaps(plan, srcWidth, 4, quads)) return nullptr;
  return std::make_unique<QuadRows>(std::move(quads));
}

// The vertical sum and the rounded division for 8 lanes at a time: 32-bit products, then the quotient
// through a double. With T <= 2^23 and n < 2^31, multiplying by 1/T raised by 2^-40 lands above n / T
// by far less than 1/T, so truncation gives exactly floor(n / T).
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
__attribute__((target("sse4.1"))) std::size_t combineLanes(const CombineArgs& args, std::uint8_t* out,
                                                           std::size_t lanes) {
  std::size_t k = 0;
  for (; k + 8 <= lanes; k += 8) {
    const __m128i words = _mm_packs_epi32(quotient4<kMid>(args, k), quotient4<kMid>(args, k + 4));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words));
  }
  return k;
}

__attribute__((target("sse4.1"))) std::size_t combineSse41(const CombineRows& rows, std::uint8_t* out,
                                                           std::size_t lanes) {
  const CombineArgs args{rows.top,
                         rows.bottom,
                         rows.mid,
                         _mm_set1_epi32(static_cast<int>(rows.wTop)),
                         _mm_set1_epi32(static_cast<int>(rows.wBottom)),
                         _mm_set1_epi32(static_cast<int>(rows.wMid)),
                         _mm_set1_epi32(static_cast<int>(rows.half)),
                         _mm_set1_pd(1.0 / static_cast<double>(rows.total) * (1.0 + 0x1p-40))};
  return rows.mid ? combineLanes<true>(args, out, lanes) : combineLanes<false>(args, out, lanes);
}

}  // namespace

// SSSE3 has been in every x86-64 processor for over fifteen years; without it the plain loops run.
VectorSteps sseSteps() {
  VectorSteps steps;
  if (__builtin_cpu_supports("ssse3")) steps.prepareRows = prepareQuadRows;
  if (__builtin_cpu_supports("sse4.1")) steps.combine = combineSse41;
  return steps;
}
#else
VectorSteps sseSteps() { return {}; }
#endif

}  // namespace velmora::resample
