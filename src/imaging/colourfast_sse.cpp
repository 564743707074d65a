// The fast matrix-shaper path's vector loop: a pixel's three sums are three 16-byte table rows added
// in one register, narrowed to 16 bits with saturation and clamped there, which is the plain loop's
// clamp to 0..1.0 exactly. SSE2 only, which every x86-64 processor has: half the plain loop's loads.

#include "imaging/colourfast_simd.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace velmora::colourfast {

#if defined(__x86_64__)
namespace {

template <int kR, int kG, int kB>
void rowsAs(const Tables& t, const void* input, void* output, cmsUInt32Number width, cmsUInt32Number lines,
            const cmsStride* stride) {
  const auto* inR = t.in[0].data();
  const auto* inG = t.in[1].data();
  const auto* inB = t.in[2].data();
  const std::uint8_t *outR = t.out[0], *outG = t.out[1], *outB = t.out[2];
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(kOne);
  const auto row = [](const std::array<std::int32_t, 4>& entry) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(entry.data()));
  };
  for (cmsUInt32Number y = 0; y < lines; ++y) {
    const std::uint8_t* s = static_cast<const std::uint8_t*>(input) + std::size_t{y} * stride->BytesPerLineIn;
    std::uint8_t* d = static_cast<std::uint8_t*>(output) + std::size_t{y} * stride->BytesPerLineOut;
    for (cmsUInt32Number x = 0; x < width; ++x, s += 4, d += 4) {
      const __m128i sums = _mm_add_epi32(_mm_add_epi32(row(inR[s[kR]]), row(inG[s[kG]])), row(inB[s[kB]]));
      const __m128i narrow = _mm_packs_epi32(_mm_srai_epi32(sums, kFractionBits), zero);
      const __m128i at = _mm_min_epi16(_mm_max_epi16(narrow, zero), one);
      d[kR] = outR[_mm_extract_epi16(at, 0)];
      d[kG] = outG[_mm_extract_epi16(at, 1)];
      d[kB] = outB[_mm_extract_epi16(at, 2)];
    }
  }
}

}  // namespace

RowsFn sseRows(const Layout& layout) {
  if (layout == kBgra) return rowsAs<kBgra.at[0], kBgra.at[1], kBgra.at[2]>;
  if (layout == kArgb) return rowsAs<kArgb.at[0], kArgb.at[1], kArgb.at[2]>;
  return nullptr;
}
#else
RowsFn sseRows(const Layout&) { return nullptr; }
#endif

}  // namespace velmora::colourfast
