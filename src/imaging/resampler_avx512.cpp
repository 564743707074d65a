// The resampler's AVX-512 steps (F and BW): the AVX2 steps' arithmetic with two target pixels in each
// 64-byte register, one eight-pixel window in each half, so a step's shuffles and multiply-adds serve
// two targets and its store four. The table of weights is the AVX2 steps' own. As there, each function
// carries its own target attribute and runs only after the processor has been asked.

#include <utility>

#include "imaging/resampler.h"
#include "imaging/resampler_simd.h"

#if defined(__x86_64__)
// GCC 12 takes the headers' deliberately undefined upper halves (_mm512_undefined_*) for uninitialised reads.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#endif

namespace velmora::resample {

#if defined(__x86_64__)
namespace {

#define VELMORA_AVX512 __attribute__((target("avx512f,avx512bw")))

// Target a's window in the low half, b's in the high.
VELMORA_AVX512 __attribute__((always_inline)) inline __m512i loadPair(const std::uint8_t* row, std::size_t at,
                                                                      std::size_t bt) {
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + at))),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + bt)), 1);
}

// The four 16-byte lanes hold the pixels 0-3 and 4-7 of target a's window, then those of target b's;
// returns each lane's four channel sums, still split between the lanes.
template <int kOctets, int kRows>
VELMORA_AVX512 __attribute__((always_inline)) inline __m512i windowSums(const std::uint8_t* const* rows,
                                                                        const std::int32_t* xa, const std::int16_t* wa,
                                                                        const std::int32_t* xb, const std::int16_t* wb,
                                                                        int count) {
  const __m512i spread01 =
      _mm512_broadcast_i32x4(_mm_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1));
  const __m512i spread23 =
      _mm512_broadcast_i32x4(_mm_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1));
  // The weights of pixels 0,1 (lanes 0 and 2) and 4,5 (lanes 1 and 3) four times over; then of 2,3 and 6,7.
  const __m512i pairs01 = _mm512_broadcast_i64x4(_mm256_setr_epi8(0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 8, 9,
                                                                  10, 11, 8, 9, 10, 11, 8, 9, 10, 11, 8, 9, 10, 11));
  const __m512i pairs23 = _mm512_broadcast_i64x4(_mm256_setr_epi8(
      4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15));
  __m512i acc = _mm512_setzero_si512();
  for (int k = 0; k < (kOctets > 0 ? kOctets : count); ++k) {
    const std::size_t at = static_cast<std::size_t>(xa[k]) * 4, bt = static_cast<std::size_t>(xb[k]) * 4;
    __m512i eight = loadPair(rows[0], at, bt);
    __m512i p01 = _mm512_shuffle_epi8(eight, spread01);
    __m512i p23 = _mm512_shuffle_epi8(eight, spread23);
    for (int r = 1; r < kRows; ++r) {
      eight = loadPair(rows[r], at, bt);
      p01 = _mm512_add_epi16(p01, _mm512_shuffle_epi8(eight, spread01));
      p23 = _mm512_add_epi16(p23, _mm512_shuffle_epi8(eight, spread23));
    }
    // The eight weights of each window in every lane of its half.
    const __m512i weights = _mm512_inserti64x4(
        _mm512_castsi256_si512(
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(wa + 8 * k)))),
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(wb + 8 * k))), 1);
    acc = _mm512_add_epi32(acc, _mm512_madd_epi16(p01, _mm512_shuffle_epi8(weights, pairs01)));
    acc = _mm512_add_epi32(acc, _mm512_madd_epi16(p23, _mm512_shuffle_epi8(weights, pairs23)));
  }
  return acc;
}

// The targets from `first` on.
template <bool kAdd, int kOctets, int kRows>
VELMORA_AVX512 __attribute__((always_inline)) inline void pairsFrom(const std::uint8_t* const* rows,
                                                                    const TapWindows& taps, std::uint32_t* out,
                                                                    std::size_t first) {
  const int count = kOctets > 0 ? kOctets : taps.perTarget;
  const std::int32_t* x = taps.x.data() + first * count;
  const std::int16_t* w = taps.weights.data() + first * 8 * count;
  const std::size_t n = taps.x.size() / static_cast<std::size_t>(count);
  std::size_t i = first;
  // Four targets a step: the two halves of each target's lanes added, so all four land in one store.
  for (; i + 4 <= n; i += 4, x += 4 * count, w += 32 * count) {
    const __m512i ab = windowSums<kOctets, kRows>(rows, x, w, x + count, w + 8 * count, count);
    const __m512i cd =
        windowSums<kOctets, kRows>(rows, x + 2 * count, w + 16 * count, x + 3 * count, w + 24 * count, count);
    __m512i sum = _mm512_add_epi32(_mm512_shuffle_i64x2(ab, cd, 0x88), _mm512_shuffle_i64x2(ab, cd, 0xDD));
    auto* o = out + i * kChannels;
    if constexpr (kAdd) sum = _mm512_add_epi32(sum, _mm512_loadu_si512(o));
    _mm512_storeu_si512(o, sum);
  }
  // The last one to three: a pair, then a lone target, summed twice and stored once.
  if (i + 2 <= n) {
    const __m512i ab = windowSums<kOctets, kRows>(rows, x, w, x + count, w + 8 * count, count);
    const __m512i folded = _mm512_add_epi32(_mm512_shuffle_i64x2(ab, ab, 0x88), _mm512_shuffle_i64x2(ab, ab, 0xDD));
    auto* o = reinterpret_cast<__m256i*>(out + i * kChannels);
    __m256i sum = _mm512_castsi512_si256(folded);
    if constexpr (kAdd) sum = _mm256_add_epi32(sum, _mm256_loadu_si256(o));
    _mm256_storeu_si256(o, sum);
    i += 2;
    x += 2 * count;
    w += 16 * count;
  }
  if (i < n) {
    const __m512i aa = windowSums<kOctets, kRows>(rows, x, w, x, w, count);
    auto* o = reinterpret_cast<__m128i*>(out + i * kChannels);
    __m128i sum = _mm_add_epi32(_mm512_castsi512_si128(aa), _mm512_extracti32x4_epi32(aa, 1));
    if constexpr (kAdd) sum = _mm_add_epi32(sum, _mm_loadu_si128(o));
    _mm_storeu_si128(o, sum);
  }
}

template <bool kAdd, int kOctets, int kRows>
VELMORA_AVX512 void horizontalPairs(const std::uint8_t* const* rows, const TapWindows& taps, std::uint32_t* out) {
  pairsFrom<kAdd, kOctets, kRows>(rows, taps, out, 0);
}

// The weighed sum of a target row's sixteen lanes, bottom given, divided and rounded as the SSE step
// does it (see there why the quotient through a double is exact).
struct Weights {
  __m512i wTop, wBottom, wMid, half;
  __m512d inverse;
};

VELMORA_AVX512 __attribute__((always_inline)) inline Weights weightsOf(const CombineRows& rows) {
  return {_mm512_set1_epi32(static_cast<int>(rows.wTop)), _mm512_set1_epi32(static_cast<int>(rows.wBottom)),
          _mm512_set1_epi32(static_cast<int>(rows.wMid)), _mm512_set1_epi32(static_cast<int>(rows.half)),
          _mm512_set1_pd(1.0 / static_cast<double>(rows.total) * (1.0 + 0x1p-40))};
}

template <bool kMid>
VELMORA_AVX512 __attribute__((always_inline)) inline __m128i combine16(const CombineRows& rows, const Weights& c,
                                                                       __m512i bottom, __m512i mid, std::size_t k) {
  __m512i n = _mm512_add_epi32(_mm512_mullo_epi32(_mm512_loadu_si512(rows.top + k), c.wTop),
                               _mm512_mullo_epi32(bottom, c.wBottom));
  n = _mm512_add_epi32(n, c.half);
  if constexpr (kMid) n = _mm512_add_epi32(n, _mm512_mullo_epi32(mid, c.wMid));
  const __m256i q0 = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(n)), c.inverse));
  const __m256i q1 = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(n, 1)), c.inverse));
  // Every quotient is at most 255: the narrowing keeps it whole.
  return _mm512_cvtepi32_epi8(_mm512_inserti64x4(_mm512_castsi256_si512(q0), q1, 1));
}

// Four targets' sums of the rows, their two halves added.
template <int kOctets, int kRows>
VELMORA_AVX512 __attribute__((always_inline)) inline __m512i fourSums(const std::uint8_t* const* rows,
                                                                      const std::int32_t* x, const std::int16_t* w,
                                                                      int count) {
  const __m512i ab = windowSums<kOctets, kRows>(rows, x, w, x + count, w + 8 * count, count);
  const __m512i cd =
      windowSums<kOctets, kRows>(rows, x + 2 * count, w + 16 * count, x + 3 * count, w + 24 * count, count);
  return _mm512_add_epi32(_mm512_shuffle_i64x2(ab, cd, 0x88), _mm512_shuffle_i64x2(ab, cd, 0xDD));
}

// The sweep that ends a target row: rows[0] to rows[kMidRows - 1] are middle rows, their sums added to
// the stored ones (kStored) in the register; rows[kMidRows] ends the target row, and its sums are stored
// in row for the next target row. Each four targets are combined with top while still in the registers.
template <int kOctets, int kMidRows, bool kStored>
VELMORA_AVX512 void sweepCombined(const std::uint8_t* const* rows, const TapWindows& taps, std::uint32_t* row,
                                  const CombineRows& c, std::uint8_t* out) {
  constexpr bool kMid = kMidRows > 0 || kStored;
  const int count = kOctets > 0 ? kOctets : taps.perTarget;
  const std::int32_t* x = taps.x.data();
  const std::int16_t* w = taps.weights.data();
  const std::size_t n = taps.x.size() / static_cast<std::size_t>(count);
  const Weights weights = weightsOf(c);
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4, x += 4 * count, w += 32 * count) {
    const std::size_t k = i * kChannels;
    const __m512i bottom = fourSums<kOctets, 1>(rows + kMidRows, x, w, count);
    __m512i mid = _mm512_setzero_si512();
    if constexpr (kMidRows > 0) mid = fourSums<kOctets, (kMidRows > 0 ? kMidRows : 1)>(rows, x, w, count);
    if constexpr (kStored) mid = _mm512_add_epi32(mid, _mm512_loadu_si512(c.mid + k));
    _mm512_storeu_si512(row + k, bottom);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), combine16<kMid>(c, weights, bottom, mid, k));
  }
  // The last one to three targets lane by lane, from the same windows.
  for (; i < n; ++i) {
    for (std::size_t ch = 0; ch < kChannels; ++ch) {
      std::uint32_t b = 0, m = 0;
      for (int j = 0; j < count; ++j) {
        const std::size_t window = i * static_cast<std::size_t>(count) + static_cast<std::size_t>(j);
        const std::int16_t* wj = taps.weights.data() + window * 8;
        for (std::size_t p = 0; p < 8; ++p) {
          const std::size_t at = (static_cast<std::size_t>(taps.x[window]) + p) * kChannels + ch;
          const auto weight = static_cast<std::uint32_t>(wj[p]);
          b += weight * rows[kMidRows][at];
          for (int r = 0; r < kMidRows; ++r) m += weight * rows[r][at];
        }
      }
      const std::size_t lane = i * kChannels + ch;
      row[lane] = b;
      if constexpr (kStored) m += c.mid[lane];
      std::uint64_t v = std::uint64_t{c.wTop} * c.top[lane] + std::uint64_t{c.wBottom} * b + c.half;
      if constexpr (kMid) v += std::uint64_t{c.wMid} * m;
      out[lane] = static_cast<std::uint8_t>(v / c.total);
    }
  }
}

using CombinedPass = void (*)(const std::uint8_t* const*, const TapWindows&, std::uint32_t*, const CombineRows&,
                              std::uint8_t*);

template <int kOctets, bool kStored>
CombinedPass sweepFor(int midRows) {
  switch (midRows) {
    case 0:
      return sweepCombined<kOctets, 0, kStored>;
    case 1:
      return sweepCombined<kOctets, 1, kStored>;
    case 2:
      return sweepCombined<kOctets, 2, kStored>;
    default:
      return sweepCombined<kOctets, 3, kStored>;
  }
}

template <bool kStored>
CombinedPass combinedPassFor(int perTarget, int midRows) {
  switch (perTarget) {
    case 1:
      return sweepFor<1, kStored>(midRows);
    case 2:
      return sweepFor<2, kStored>(midRows);
    default:
      return sweepFor<0, kStored>(midRows);
  }
}

using PairPass = void (*)(const std::uint8_t* const*, const TapWindows&, std::uint32_t*);

template <bool kAdd, int kRows>
PairPass pairPassFor(int perTarget) {
  switch (perTarget) {
    case 1:
      return horizontalPairs<kAdd, 1, kRows>;
    case 2:
      return horizontalPairs<kAdd, 2, kRows>;
    default:
      return horizontalPairs<kAdd, 0, kRows>;
  }
}

static_assert(kHeldRows == 4, "the passes below are made for one to four rows");

class PairRows : public VectorRows {
 public:
  explicit PairRows(TapWindows taps)
      : taps_(std::move(taps)),
        passes_{{pairPassFor<false, 1>(taps_.perTarget), pairPassFor<false, 2>(taps_.perTarget),
                 pairPassFor<false, 3>(taps_.perTarget), pairPassFor<false, 4>(taps_.perTarget)},
                {pairPassFor<true, 1>(taps_.perTarget), pairPassFor<true, 2>(taps_.perTarget),
                 pairPassFor<true, 3>(taps_.perTarget), pairPassFor<true, 4>(taps_.perTarget)}},
        combined_{{combinedPassFor<false>(taps_.perTarget, 0), combinedPassFor<false>(taps_.perTarget, 1),
                   combinedPassFor<false>(taps_.perTarget, 2), combinedPassFor<false>(taps_.perTarget, 3)},
                  {combinedPassFor<true>(taps_.perTarget, 0), combinedPassFor<true>(taps_.perTarget, 1),
                   combinedPassFor<true>(taps_.perTarget, 2), combinedPassFor<true>(taps_.perTarget, 3)}} {}

  void reduce(const std::uint8_t* src, bool add, std::uint32_t* out) const override {
    passes_[add][0](&src, taps_, out);
  }
  void reduceSum(const std::uint8_t* const* rows, int count, bool add, std::uint32_t* out) const override {
    passes_[add][count - 1](rows, taps_, out);
  }
  bool fuses() const override { return true; }
  void sweepEnd(const std::uint8_t* const* rows, int midRows, bool midStored, std::uint32_t* row, const CombineRows& c,
                std::uint8_t* out) const override {
    combined_[midStored][midRows](rows, taps_, row, c, out);
  }

 private:
  TapWindows taps_;
  PairPass passes_[2][kHeldRows];
  CombinedPass combined_[2][kHeldRows];
};

std::unique_ptr<VectorRows> preparePairRows(const AxisPlan& plan, int srcWidth) {
  TapWindows taps;
  if (!layTaps(plan, srcWidth, 8, taps)) return nullptr;
  return std::make_unique<PairRows>(std::move(taps));
}

// The combine step alone, 16 lanes a step.
template <bool kMid>
VELMORA_AVX512 std::size_t combineLanes(const CombineRows& rows, std::uint8_t* out, std::size_t lanes) {
  const Weights c = weightsOf(rows);
  std::size_t k = 0;
  for (; k + 16 <= lanes; k += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                     combine16<kMid>(rows, c, _mm512_loadu_si512(rows.bottom + k),
                                     kMid ? _mm512_loadu_si512(rows.mid + k) : _mm512_setzero_si512(), k));
  return k;
}

std::size_t combineAvx512(const CombineRows& rows, std::uint8_t* out, std::size_t lanes) {
  return rows.mid ? combineLanes<true>(rows, out, lanes) : combineLanes<false>(rows, out, lanes);
}

#undef VELMORA_AVX512

}  // namespace

VectorSteps avx512Steps() {
  VectorSteps steps;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
    steps.prepareRows = preparePairRows;
    steps.combine = combineAvx512;
  }
  return steps;
}
#else
VectorSteps avx512Steps() { return {}; }
#endif

}  // namespace velmora::resample
