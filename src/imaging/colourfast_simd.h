#pragma once

// What the fast matrix-shaper path (colourfast.cpp) shares with its vector loop (colourfast_sse.cpp):
// the tables and the pixel layouts. The vector loop gives exactly the bytes of the plain one.

#include <lcms2_plugin.h>

#include <array>
#include <cstdint>
#include <optional>

namespace velmora::colourfast {

constexpr int kFractionBits = 14;  // 1.14 fixed point, as LittleCMS's 8-bit matrix-shaper
constexpr std::int32_t kOne = 1 << kFractionBits;
constexpr int kOutputEntries = kOne + 1;

// Where a format keeps R, G and B within its pixel, LittleCMS's way of reading the format's bits.
struct Layout {
  int at[3];
  int step;
  bool operator==(const Layout&) const = default;
};

constexpr std::optional<Layout> layoutOf(cmsUInt32Number format) {
  if (T_BYTES(format) != 1 || T_CHANNELS(format) != 3 || T_COLORSPACE(format) != PT_RGB || T_PLANAR(format) ||
      T_FLOAT(format) || T_FLAVOR(format) || T_PREMUL(format) || T_EXTRA(format) > 1)
    return std::nullopt;
  const int extra = static_cast<int>(T_EXTRA(format));
  // Without an extra byte "swap first" rotates the channels: rare enough to leave to LittleCMS.
  if (extra == 0 && T_SWAPFIRST(format)) return std::nullopt;
  const bool swap = T_DOSWAP(format) != 0;
  const int first = (swap != (T_SWAPFIRST(format) != 0)) ? extra : 0;
  Layout layout{{}, 3 + extra};
  for (int k = 0; k < 3; ++k) layout.at[k] = first + (swap ? 2 - k : k);
  return layout;
}

struct Tables;
using RowsFn = void (*)(const Tables&, const void* input, void* output, cmsUInt32Number width, cmsUInt32Number lines,
                        const cmsStride* stride);

// The matrix is in the input tables: in[c][code] holds the input curve's value at the code (1.14)
// times the matrix's column c (1.14), so a pixel's sums are three table rows added, no multiplying
// (the same integers as multiplying). Red's rows also carry the offset and the rounding half (2.28).
struct Tables {
  alignas(16) std::array<std::array<std::array<std::int32_t, 4>, 256>, 3> in;
  std::array<std::array<std::uint8_t, kOutputEntries>, 3> outTables;
  const std::uint8_t* out[3];  // equal curves share one table, which keeps sRGB's in the L1 cache
  Layout source;
  Layout target;
  RowsFn rows;  // the loop for these layouts
};

constexpr Layout kBgra = *layoutOf(TYPE_BGRA_8);
constexpr Layout kArgb = *layoutOf(TYPE_ARGB_8);

// The vector loop for pictures of this layout in and out, or null (a layout it does not know, no SSE2).
RowsFn sseRows(const Layout& layout);

}  // namespace velmora::colourfast
