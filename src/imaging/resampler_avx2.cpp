// The resampler's AVX2 steps: the arithmetic of the SSE steps on 32-byte registers. As there, each
// function carries its own target attribute instead of the file being built with -mavx2, which would
// also compile with AVX2 the inline library code this file instantiates, and the linker may keep that
// copy for the whole program.

#include <utility>

#include "imaging/resampler.h"
#include "imaging/resampler_simd.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velmora::resample {

#if defined(__x86_64__)
namespace {

// A window of eight source pixels a load: each 16-byte lane spreads its pixels 0,1 and 2,3 as the SSE
// step does. The window's eight weights (16 bytes, from layTaps) go into both lanes with one load and
// are spread there by shuffles, so the table stays as small as the SSE step's: in the streamed decode
// the decoder's work between two rows pushes it out of the nearest caches, and a larger table costs
// more in fetching than the wider arithmetic saves. With several rows, their spread pixels are added
// in 16 bits first (at most 4 x 255), so each window is weighed once for all of them.
template <int kOctets, int kRows>
__attribute__((target("avx2"), always_inline)) inline __m256i octetSums(const std::uint8_t* const* rows,
                                                                        const std::int32_t* x, const std::int16_t* w,
                                                                        int count) {
  const __m256i spread01 = _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1, 0, -1, 4, -1, 1, -1,
                                            5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
  const __m256i spread23 = _mm256_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1, 8, -1, 12, -1,
                                            9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
  // The weights of pixels 0,1 (low lane) and 4,5 (high lane) four times over; then of 2,3 and 6,7.
  const __m256i pairs01 = _mm256_setr_epi8(0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 8, 9, 10, 11, 8, 9, 10, 11,
                                           8, 9, 10, 11, 8, 9, 10, 11);
  const __m256i pairs23 = _mm256_setr_epi8(4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 12, 13, 14, 15, 12, 13, 14,
                                           15, 12, 13, 14, 15, 12, 13, 14, 15);
  __m256i acc = _mm256_setzero_si256();
  for (int k = 0; k < (kOctets > 0 ? kOctets : count); ++k) {
    const std::size_t at = static_cast<std::size_t>(x[k]) * 4;
    __m256i eight = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[0] + at));
    __m256i p01 = _mm256_shuffle_epi8(eight, spread01);
    __m256i p23 = _mm256_shuffle_epi8(eight, spread23);
    for (int r = 1; r < kRows; ++r) {
      eight = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + at));
      p01 = _mm256_add_epi16(p01, _mm256_shuffle_epi8(eight, spread01));
      p23 = _mm256_add_epi16(p23, _mm256_shuffle_epi8(eight, spread23));
    }
    const __m256i weights = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 8 * k)));
    acc = _mm256_add_epi32(acc, _mm256_madd_epi16(p01, _mm256_shuffle_epi8(weights, pairs01)));
    acc = _mm256_add_epi32(acc, _mm256_madd_epi16(p23, _mm256_shuffle_epi8(weights, pairs23)));
  }
  return acc;
}

template <bool kAdd, int kOctets, int kRows>
__attribute__((target("avx2"))) void horizontalOctets(const std::uint8_t* const* rows, const TapWindows& taps,
                                                      std::uint32_t* out) {
  const int count = kOctets > 0 ? kOctets : taps.perTarget;
  const std::int32_t* x = taps.x.data();
  const std::int16_t* w = taps.weights.data();
  const std::size_t n = taps.x.size() / static_cast<std::size_t>(count);
  std::size_t i = 0;
  // Two targets a step, their lanes added across so both land in one store.
  for (; i + 2 <= n; i += 2, x += 2 * count, w += 16 * count) {
    const __m256i a = octetSums<kOctets, kRows>(rows, x, w, count);
    const __m256i b = octetSums<kOctets, kRows>(rows, x + count, w + 8 * count, count);
    __m256i sum = _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x21), _mm256_blend_epi32(a, b, 0xF0));
    auto* o = reinterpret_cast<__m256i*>(out + i * kChannels);
    if constexpr (kAdd) sum = _mm256_add_epi32(sum, _mm256_loadu_si256(o));
    _mm256_storeu_si256(o, sum);
  }
  if (i < n) {
    const __m256i a = octetSums<kOctets, kRows>(rows, x, w, count);
    __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
    auto* o = reinterpret_cast<__m128i*>(out + i * kChannels);
    if constexpr (kAdd) sum = _mm_add_epi32(sum, _mm_loadu_si128(o));
    _mm_storeu_si128(o, sum);
  }
}

using OctetPass = void (*)(const std::uint8_t* const*, const TapWindows&, std::uint32_t*);

// Unrolled for spans of up to 16 pixels (a reduction by up to about 15).
template <bool kAdd, int kRows>
OctetPass octetPassFor(int perTarget) {
  switch (perTarget) {
    case 1:
      return horizontalOctets<kAdd, 1, kRows>;
    case 2:
      return horizontalOctets<kAdd, 2, kRows>;
    default:
      return horizontalOctets<kAdd, 0, kRows>;
  }
}

static_assert(kHeldRows == 4, "the passes below are made for one to four rows");

class OctetRows : public VectorRows {
 public:
  explicit OctetRows(TapWindows taps)
      : taps_(std::move(taps)),
        passes_{{octetPassFor<false, 1>(taps_.perTarget), octetPassFor<false, 2>(taps_.perTarget),
                 octetPassFor<false, 3>(taps_.perTarget), octetPassFor<false, 4>(taps_.perTarget)},
                {octetPassFor<true, 1>(taps_.perTarget), octetPassFor<true, 2>(taps_.perTarget),
                 octetPassFor<true, 3>(taps_.perTarget), octetPassFor<true, 4>(taps_.perTarget)}} {}

  void reduce(const std::uint8_t* src, bool add, std::uint32_t* out) const override {
    passes_[add][0](&src, taps_, out);
  }
  void reduceSum(const std::uint8_t* const* rows, int count, bool add, std::uint32_t* out) const override {
    passes_[add][count - 1](rows, taps_, out);
  }

 private:
  TapWindows taps_;
  OctetPass passes_[2][kHeldRows];
};

std::unique_ptr<VectorRows> prepareOctetRows(const AxisPlan& plan, int srcWidth) {
  TapWindows taps;
  if (!layTaps(plan, srcWidth, 8, taps)) return nullptr;
  return std::make_unique<OctetRows>(std::move(taps));
}

// The vertical sum and the rounded division as the SSE step does them (see there why the quotient
// through a double is exact), 16 lanes a step.
struct CombineArgs {
  const std::uint32_t* top;
  const std::uint32_t* bottom;
  const std::uint32_t* mid;
  __m256i wTop, wBottom, wMid, half;
  __m256d inverse;
};

template <bool kMid>
__attribute__((target("avx2"), always_inline)) inline __m256i sums8(const CombineArgs& a, std::size_t k) {
  const auto at = [k](const std::uint32_t* p) { return reinterpret_cast<const __m256i*>(p + k); };
  __m256i n = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_loadu_si256(at(a.top)), a.wTop),
                               _mm256_mullo_epi32(_mm256_loadu_si256(at(a.bottom)), a.wBottom));
  n = _mm256_add_epi32(n, a.half);
  if constexpr (kMid) n = _mm256_add_epi32(n, _mm256_mullo_epi32(_mm256_loadu_si256(at(a.mid)), a.wMid));
  return n;
}

__attribute__((target("avx2"), always_inline)) inline __m128i quotient4(__m128i n, __m256d inverse) {
  return _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(n), inverse));
}

template <bool kMid>
__attribute__((target("avx2"))) std::size_t combineLanes(const CombineArgs& args, std::uint8_t* out,
                                                         std::size_t lanes) {
  std::size_t k = 0;
  for (; k + 16 <= lanes; k += 16) {
    const __m256i n0 = sums8<kMid>(args, k);
    const __m256i n1 = sums8<kMid>(args, k + 8);
    const __m128i q0 = quotient4(_mm256_castsi256_si128(n0), args.inverse);
    const __m128i q1 = quotient4(_mm256_extracti128_si256(n0, 1), args.inverse);
    const __m128i q2 = quotient4(_mm256_castsi256_si128(n1), args.inverse);
    const __m128i q3 = quotient4(_mm256_extracti128_si256(n1, 1), args.inverse);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                     _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_packs_epi32(q2, q3)));
  }
  return k;
}

__attribute__((target("avx2"))) std::size_t combineAvx2(const CombineRows& rows, std::uint8_t* out, std::size_t lanes) {
  const CombineArgs args{rows.top,
                         rows.bottom,
                         rows.mid,
                         _mm256_set1_epi32(static_cast<int>(rows.wTop)),
                         _mm256_set1_epi32(static_cast<int>(rows.wBottom)),
                         _mm256_set1_epi32(static_cast<int>(rows.wMid)),
                         _mm256_set1_epi32(static_cast<int>(rows.half)),
                         _mm256_set1_pd(1.0 / static_cast<double>(rows.total) * (1.0 + 0x1p-40))};
  return rows.mid ? combineLanes<true>(args, out, lanes) : combineLanes<false>(args, out, lanes);
}

}  // namespace

VectorSteps avx2Steps() {
  VectorSteps steps;
  if (__builtin_cpu_supports("avx2")) {
    steps.prepareRows = prepareOctetRows;
    steps.combine = combineAvx2;
  }
  return steps;
}
#else
VectorSteps avx2Steps() { return {}; }
#endif

}  // namespace velmora::resample
